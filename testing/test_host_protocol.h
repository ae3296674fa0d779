#pragma once
// The exchange between a test process and its test host: each message is a
// 32-bit length followed by that many bytes of fields, written one after the
// other. A request starts with its operation; a reply with 1 (done) or 0.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testing/http_exchange.h"

namespace testing_support {
namespace host {

enum class Op : uint32_t {
    NewServer = 1,   // port, flags -> id, port
    NewShop,         // root, port, flags -> id, port
    Delete,          // id (a server, a shop or a box answerer)
    Answer,          // id, path, answer
    Enqueue,         // id, path, answer
    ServeFile,       // id, path, file
    Requests,        // id -> count, records
    Count,           // id, path -> count
    ClearRequests,   // id
    Connections,     // id -> count
    CartFailures,    // id, failures
    PackageDelay,    // id, milliseconds
    CartRequests,    // id -> count, targets
    NewBoxAnswerer,  // process id (0: any process), count, buttons -> id
    BoxCount,        // id -> count
    BoxTexts,        // id -> count, texts
    Cuts,            // id, kind, count, reset
};

// Flags of a new server.
constexpr uint32_t kCloseOnAccept = 1;
constexpr uint32_t kNoKeepAlive = 2;

class Message {
public:
    void PutU32(uint32_t value);
    void PutU64(uint64_t value);
    void PutBytes(const std::string& bytes);
    void PutWide(const std::wstring& text);
    void PutAnswer(const HttpAnswer& answer);
    void PutRecord(const HttpRequestRecord& record);

    // Each Get fails (and every later one too) once the fields run out.
    bool GetU32(uint32_t* value);
    bool GetU64(uint64_t* value);
    bool GetBytes(std::string* bytes);
    bool GetWide(std::wstring* text);
    bool GetAnswer(HttpAnswer* answer);
    bool GetRecord(HttpRequestRecord* record);

    std::string& bytes() { return m_bytes; }

private:
    bool Take(void* out, size_t size);
    std::string m_bytes;
    size_t m_read = 0;
};

// Whole messages over a pipe; false when the other side has gone.
bool WriteMessage(HANDLE pipe, Message& message);
bool ReadMessage(HANDLE pipe, Message* message);

}  // namespace host
}  // namespace testing_support
