#pragma once
// A small HTTP/1.1 server on 127.0.0.1 and an ephemeral port, answering from
// a script per path and recording every request for assertions. It runs in
// the test host (see test_host_client.h), so the test process needs no
// thread for it; the script and the record travel over the host's pipe.

#include <windows.h>

#include <string>

#include "testing/http_exchange.h"
#include "testing/test_host_client.h"

namespace testing_support {

class HttpTestServer : public HostedServer {
public:
    // Starts listening at once, on an ephemeral port unless one is asked for;
    // port() is 0 when that failed.
    explicit HttpTestServer(int port = 0);
    // A listener that closes every connection as soon as it accepts it.
    enum CloseOnAccept { kCloseOnAccept };
    explicit HttpTestServer(CloseOnAccept);
    // A server that keeps connections alive everywhere, emulated 32-bit Wine
    // included, for tests that talk to it over a raw socket (WinInet must not
    // meet it there: see ServerFlags).
    enum KeepAlive { kKeepAlive };
    explicit HttpTestServer(KeepAlive);

    // http://127.0.0.1:port/path (path without its leading slash is fine too).
    std::wstring url(const std::string& path) const;
    std::string url_narrow(const std::string& path) const;

    // The path "*" scripts every path that has nothing of its own.
    static constexpr const char* kAnyPath = "*";

    // The default answer for a path (used once the queue is empty).
    void answer(const std::string& path, const HttpAnswer& a);
    // A one-shot answer, used before the default, in queue order.
    void enqueue(const std::string& path, const HttpAnswer& a);
    // Serves a file from disk (streamed) as the default answer of the path.
    void serve_file(const std::string& path, const std::wstring& file);

private:
    void Listen(int port, uint32_t flags);
    void Script(host::Op op, const std::string& path, const HttpAnswer& a);
};

}  // namespace testing_support
