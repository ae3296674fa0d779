#pragma once
// The request engine shared by get and get_file, and its parts: the split URL,
// the body sinks, the header parser and the speed rule.

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "inet/internet_session.h"
#include "inet/rest/rest.h"

namespace inet {
namespace rest {

constexpr UINT kReadChunk = 8096;

// Takes (bytes, item size, item count, target) and returns the bytes it took.
// A result short of size * count means the bytes are lost: the engine then
// ends the request as failed rather than report a body with a hole.
using write_function = size_t (*)(const void* data, size_t size, size_t count, void* target);

// Target: the _response; appends to body/body_size, growing body only when a
// chunk does not fit, and then exactly to the new size.
size_t memory_write(const void* data, size_t size, size_t count, void* target);
// Target: a std::ofstream opened unbuffered, so a failed write shows at once.
size_t file_write(const void* data, size_t size, size_t count, void* target);

// For tests: the memory sink fails as if allocation had failed once the body
// would grow beyond this many bytes; the file sink fails as a full disk would
// once the file would grow beyond its limit.
extern std::atomic<size_t> g_memory_sink_limit;
extern std::atomic<size_t> g_file_sink_limit;

struct url_parts {
    std::wstring url;
    std::wstring host;
    std::wstring object;
    DWORD service = 0;
    INTERNET_PORT port = 0;
    bool valid = false;
};
url_parts split_url(const std::wstring& url);

// One header line into the map: "name: value" trimmed, or a line without a
// colon stored as "present"; a later line of the same name wins.
void parse_header_line(const std::string& line, std::map<std::string, std::string>& headers);
// Bytes per second since `start` (GetTickCount), a whole number.
double speed_of(uint32_t bytes, DWORD start);

// Sends the request on `file` and reads status, headers and body into the
// response and the sink. Throws CInternetException and standard exceptions.
void perform(write_function write, void* target, const url_parts& url, const _request& request,
             const std::shared_ptr<CHttpFile>& file, const std::shared_ptr<_response>& response);

}  // namespace rest
}  // namespace inet
