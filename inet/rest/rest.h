#pragma once
// Blocking HTTP GET requests over WinInet: the request options record, the
// response record and the two operations. Neither operation throws; every
// failure ends up in the response as status -1 and an error text.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace inet {
namespace rest {

// Receives the transfer's progress: download total (0 when unknown), downloaded
// so far, upload total and uploaded so far (always 0: nothing is uploaded).
class progress_listener {
public:
    virtual ~progress_listener() = default;
    virtual int on_progress(int32_t dltotal, int32_t dlnow, int32_t ultotal, int32_t ulnow) = 0;
};

// The browser's legacy user-agent string without " MSIE 7.0;", a space and
// the product token.
std::string make_user_agent(const std::string& product);

struct _request {
    _request();

    int32_t connect_timeout = 60;    // seconds
    int32_t transfer_timeout = 600;  // seconds, send and receive
    bool keep_alive = true;          // false: "Connection: close"
    bool follow_redirects = true;
    bool trace_status = true;  // fill the response's trace from the status callback
    bool verify_certificate = false;
    uint32_t max_recv_speed = 0;  // bytes per second; 0: no limit
    bool keep_connection = true;
    uint32_t max_connections = 0;             // per server; 0 means 10
    progress_listener* progress = nullptr;    // not owned
    std::vector<std::wstring> headers;        // whole header lines
    std::vector<std::wstring> extra_headers;  // added after headers
    std::wstring user_agent;
    std::wstring referer;
    std::wstring accept = L"*/*";
};

struct _response {
    int32_t status = -1;
    double content_length = 0;  // -1 when the answer has none
    bool chunked = false;       // no announced length: read until the server ends it
    std::map<std::string, std::string> headers;
    std::vector<unsigned char> body;  // may be longer than body_size
    uint32_t body_size = 0;
    double size_download = 0;
    double speed_download = 0;  // bytes per second, whole number
    char error[256] = {};       // ANSI code page; empty unless something failed
    std::vector<std::string> trace;

    // Stores a failure text, cut to 255 bytes.
    void set_error(const std::string& text);
};

// Both range bounds >= 0 ask for "Range: bytes=start-end".
std::shared_ptr<_response> get(const std::wstring& url, const _request& request, int range_start,
                               int range_end);
// Writes the body to path (created or emptied first, whatever happens next).
std::shared_ptr<_response> get_file(const std::wstring& url, const _request& request,
                                    const std::wstring& path, int range_start, int range_end);

}  // namespace rest
}  // namespace inet
