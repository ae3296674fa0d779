#pragma once
// What the test HTTP server answers and what it records of each request:
// plain values, so that a script can be handed to a server in another
// process and its record read back.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpAnswer {
    int status = 200;
    std::string reason;  // empty: the usual phrase for the status
    HttpHeaders
        headers;  // sent as given; a Content-Length or Transfer-Encoding here replaces the server's own
    std::string body;
    // Large bodies without a copy per request: a shared buffer, or a file
    // streamed from disk. The first one set wins over `body`.
    std::shared_ptr<const std::string> shared_body;
    std::wstring body_file;
    bool content_length = true;  // false (and not chunked): the body ends when the server closes
    bool chunked = false;
    size_t chunk_size = 0;                   // bytes per chunk when chunked; 0: the whole body in one chunk
    size_t close_after = std::string::npos;  // body bytes sent before the connection is dropped
    bool reset = true;           // the drop of close_after is abortive (RST), else an orderly close (FIN)
    uint32_t drop_delay_ms = 0;  // wait between the last body byte sent and the drop
    bool close = false;          // close the connection after this answer
    uint32_t delay_ms = 0;       // wait before the status line
    uint32_t body_delay_ms = 0;  // wait between the header block and the body

    static HttpAnswer Text(int status, const std::string& body);
    static HttpAnswer Redirect(const std::string& location, int status = 302);
};

// Which answers of the shop server break off on purpose (ShopServer::set_cuts).
enum class ShopCut : uint32_t { packages = 0, manifest = 1, startup = 2 };
constexpr uint32_t kCutEveryAnswer = 0xFFFFFFFFu;

struct HttpRequestRecord {
    std::string method;
    std::string target;  // path?query as sent, still percent-encoded
    std::string path;
    std::string query;
    std::string version;
    HttpHeaders headers;
    // The value of the first header of that name (case-insensitive), or empty.
    std::string header(const std::string& name) const;
    bool has_header(const std::string& name) const;
};

bool EqualsNoCase(const std::string& a, const std::string& b);
// The value of the first header of that name (case-insensitive), or null.
const std::string* FindHeader(const HttpHeaders& headers, const std::string& name);

}  // namespace testing_support
