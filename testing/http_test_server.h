#pragma once
// A small HTTP/1.1 server inside the test process, on 127.0.0.1 and an
// ephemeral port, answering from a script per path. Each connection runs on
// its own thread (WinInet keeps connections alive and opens new ones while an
// old one idles), every socket wait is bounded, and the destructor stops all
// of them. Every request is recorded for assertions. Winsock stays inside the
// implementation, so this header may follow <windows.h> anywhere.

#include <windows.h>

#include <cstdint>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
    bool reset = true;        // the drop of close_after is abortive (RST), else an orderly close (FIN)
    DWORD drop_delay_ms = 0;  // wait between the last body byte sent and the drop
    bool close = false;       // close the connection after this answer
    DWORD delay_ms = 0;       // wait before the status line
    DWORD body_delay_ms = 0;  // wait between the header block and the body

    static HttpAnswer Text(int status, const std::string& body);
    static HttpAnswer Redirect(const std::string& location, int status = 302);
};

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

class HttpTestServer {
public:
    // Starts listening at once, on an ephemeral port unless one is asked for;
    // port() is 0 when that failed.
    explicit HttpTestServer(int port = 0);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return m_port; }
    // http://127.0.0.1:port/path (path without its leading slash is fine too).
    std::wstring url(const std::string& path) const;
    std::string url_narrow(const std::string& path) const;

    // The path "*" scripts every path that has nothing of its own.
    static constexpr const char* kAnyPath = "*";

    // The default answer for a path (used once the queue is empty).
    void answer(const std::string& path, HttpAnswer a);
    // A one-shot answer, used before the default, in queue order.
    void enqueue(const std::string& path, HttpAnswer a);
    // Dynamic answers for paths that have no queue or default of their own.
    void handler(std::function<HttpAnswer(const HttpRequestRecord&)> h);
    // Serves a file from disk (streamed) as the default answer of the path.
    void serve_file(const std::string& path, const std::wstring& file);

    std::vector<HttpRequestRecord> requests() const;
    size_t count(const std::string& path) const;
    void clear_requests();
    // Connections accepted so far.
    size_t connections() const { return m_connections.load(); }

private:
    struct Connection {
        uintptr_t socket = 0;  // a SOCKET
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void AcceptLoop();
    void Serve(Connection* connection);
    HttpAnswer Choose(const HttpRequestRecord& request);
    bool SendAnswer(uintptr_t s, const HttpRequestRecord& request, const HttpAnswer& a, bool* keepOpen);
    bool SendAll(uintptr_t s, const char* data, size_t size);
    bool Wait(DWORD ms);  // false when the server is stopping
    void ReapFinished();

    uintptr_t m_listen = ~uintptr_t(0);  // a SOCKET, INVALID_SOCKET when not listening
    int m_port = 0;
    bool m_winsock = false;
    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_connections{0};
    std::thread m_acceptThread;

    mutable std::mutex m_lock;
    std::map<std::string, std::deque<HttpAnswer>> m_queues;
    std::map<std::string, HttpAnswer> m_defaults;
    std::function<HttpAnswer(const HttpRequestRecord&)> m_handler;
    std::vector<HttpRequestRecord> m_requests;
    std::vector<std::unique_ptr<Connection>> m_clients;
};

}  // namespace testing_support
