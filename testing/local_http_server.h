#pragma once
// A small HTTP/1.1 server in this process, on 127.0.0.1 and an ephemeral
// port, answering from a script per path. Tests reach it through the test
// host (HttpTestServer), so that the process under test needs no threads. Each connection runs on
// its own thread (WinInet keeps connections alive and opens new ones while an
// old one idles), every socket wait is bounded, and the destructor stops all
// of them. Every request is recorded for assertions. Winsock stays inside the
// implementation, so this header may follow <windows.h> anywhere.

#include <windows.h>

#include "testing/http_exchange.h"

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

class LocalHttpServer {
public:
    // Starts listening at once, on an ephemeral port unless one is asked for;
    // port() is 0 when that failed. closeOnAccept: every connection is
    // closed as soon as it is accepted, before anything is read or sent.
    explicit LocalHttpServer(int port = 0, bool closeOnAccept = false);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    int port() const { return m_port; }
    // false: every answer says "Connection: close" and ends its connection,
    // so that a client never keeps one idle.
    void set_keep_alive(bool keepAlive) { m_keepAlive = keepAlive; }

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
    bool m_closeOnAccept = false;
    std::atomic<bool> m_keepAlive{true};
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
