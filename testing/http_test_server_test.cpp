// The loopback test server, driven by a plain socket client so that what it
// puts on the wire is checked byte by byte.

#include <winsock2.h>
#include <ws2tcpip.h>

#include "testing/http_test_server.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "testing/test_support.h"

using testing_support::HttpAnswer;
using testing_support::HttpTestServer;

namespace {

class RawClient {
public:
    explicit RawClient(int port) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        DWORD timeout = 5000;
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof(timeout));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        m_connected = connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient() {
        closesocket(m_socket);
        WSACleanup();
    }
    bool connected() const { return m_connected; }
    bool Send(const std::string& text) {
        return send(m_socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
    }
    // Reads until the server closes (or fails: *reset tells which).
    std::string ReadToEnd(bool* reset = nullptr) {
        std::string all;
        char buffer[65536];
        for (;;) {
            int got = recv(m_socket, buffer, sizeof(buffer), 0);
            if (got == 0) break;
            if (got < 0) {
                if (reset) *reset = WSAGetLastError() == WSAECONNRESET;
                break;
            }
            all.append(buffer, static_cast<size_t>(got));
        }
        return all;
    }
    // Reads exactly until `count` bytes have arrived after the header block.
    std::string ReadAnswer(size_t bodyBytes) {
        std::string all;
        char buffer[4096];
        for (;;) {
            size_t end = all.find("\r\n\r\n");
            if (end != std::string::npos && all.size() >= end + 4 + bodyBytes) break;
            int got = recv(m_socket, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            all.append(buffer, static_cast<size_t>(got));
        }
        return all;
    }

private:
    SOCKET m_socket = INVALID_SOCKET;
    bool m_connected = false;
};

std::string Get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "Connection: close\r\n\r\n";
}

TEST(HttpTestServer, ListensOnAnEphemeralLoopbackPort) {
    HttpTestServer server;
    EXPECT_GT(server.port(), 0);
    EXPECT_EQ(L"http://127.0.0.1:" + std::to_wstring(server.port()) + L"/a/b", server.url("/a/b"));
    EXPECT_EQ(server.url("/x"), server.url("x"));
}

TEST(HttpTestServer, UnscriptedPathIs404WithABody) {
    HttpTestServer server;
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(Get("/nothing")));
    std::string answer = client.ReadToEnd();
    EXPECT_EQ(0u, answer.find("HTTP/1.1 404 Not Found\r\n"));
    EXPECT_NE(std::string::npos, answer.find("Content-Length: 10\r\n"));
    EXPECT_EQ("not found\n", answer.substr(answer.size() - 10));
}

TEST(HttpTestServer, RecordsRequestLineQueryAndHeadersAsSent) {
    HttpTestServer server;
    server.answer("/doc", HttpAnswer::Text(200, "hello"));
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(Get("/doc?key=%ED%95%9C&x=1", "X-Thing:   spaced value  \r\n")));
    std::string answer = client.ReadToEnd();
    EXPECT_EQ(0u, answer.find("HTTP/1.1 200 OK\r\n"));
    EXPECT_EQ("hello", answer.substr(answer.size() - 5));
    auto requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/doc?key=%ED%95%9C&x=1", requests[0].target);
    EXPECT_EQ("/doc", requests[0].path);
    EXPECT_EQ("key=%ED%95%9C&x=1", requests[0].query);
    EXPECT_EQ("spaced value", requests[0].header("x-thing"));
    EXPECT_TRUE(requests[0].has_header("HOST"));
    EXPECT_FALSE(requests[0].has_header("Range"));
    EXPECT_EQ(1u, server.count("/doc"));
    server.clear_requests();
    EXPECT_EQ(0u, server.count("/doc"));
}

TEST(HttpTestServer, QueueComesBeforeTheDefaultInOrder) {
    HttpTestServer server;
    server.answer("/q", HttpAnswer::Text(200, "default"));
    server.enqueue("/q", HttpAnswer::Text(404, "one"));
    server.enqueue("/q", HttpAnswer::Text(503, "two"));
    const char* expected[] = {"HTTP/1.1 404", "HTTP/1.1 503", "HTTP/1.1 200", "HTTP/1.1 200"};
    for (const char* status : expected) {
        RawClient client(server.port());
        ASSERT_TRUE(client.Send(Get("/q")));
        EXPECT_EQ(0u, client.ReadToEnd().find(status)) << status;
    }
    EXPECT_EQ(4u, server.count("/q"));
}

TEST(HttpTestServer, AnyPathFallback) {
    HttpTestServer server;
    server.answer("/fixed", HttpAnswer::Text(201, "fixed"));
    server.answer(HttpTestServer::kAnyPath, HttpAnswer::Text(200, "anything"));
    {
        RawClient client(server.port());
        ASSERT_TRUE(client.Send(Get("/fixed")));
        EXPECT_EQ(0u, client.ReadToEnd().find("HTTP/1.1 201 Created"));
    }
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(Get("/whatever/path")));
    std::string answer = client.ReadToEnd();
    EXPECT_EQ("anything", answer.substr(answer.size() - 8));
}

// The servers and box answerers live in the test host: a test process that
// uses them starts no thread of its own (32-bit Wine under emulation cannot
// be trusted with threads).
size_t ThreadsOfThisProcess() {
    size_t count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    CloseHandle(snapshot);
    return count;
}

TEST(HttpTestServer, RunsOutsideTheTestProcess) {
    { HttpTestServer warm; }  // the host is started once per test process
    const size_t before = ThreadsOfThisProcess();
    HttpTestServer server;
    HttpTestServer closing(HttpTestServer::kCloseOnAccept);
    testing_support::BoxAnswerer boxes(IDOK);
    server.answer("/x", HttpAnswer::Text(200, "x"));
    {
        RawClient client(server.port());
        ASSERT_TRUE(client.Send(Get("/x")));
        EXPECT_NE(std::string::npos, client.ReadToEnd().find("HTTP/1.1 200"));
    }
    {
        // Closed before anything is read: the client reads nothing at all.
        RawClient client(closing.port());
        client.Send(Get("/x"));
        EXPECT_EQ("", client.ReadToEnd());
    }
    EXPECT_EQ(1u, closing.connections());
    EXPECT_EQ(0u, closing.count("/x"));
    EXPECT_EQ(before, ThreadsOfThisProcess());
}

TEST(HttpTestServer, ChunkedFraming) {
    HttpTestServer server;
    HttpAnswer a;
    a.body = "abcdefghij";
    a.chunked = true;
    a.chunk_size = 4;
    server.answer("/c", a);
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(Get("/c")));
    std::string answer = client.ReadToEnd();
    EXPECT_NE(std::string::npos, answer.find("Transfer-Encoding: chunked\r\n"));
    EXPECT_EQ(std::string::npos, answer.find("Content-Length"));
    EXPECT_NE(std::string::npos, answer.find("\r\n\r\n4\r\nabcd\r\n4\r\nefgh\r\n2\r\nij\r\n0\r\n\r\n"));
}

TEST(HttpTestServer, WithoutLengthTheBodyEndsAtClose) {
    HttpTestServer server;
    HttpAnswer a;
    a.body = "until close";
    a.content_length = false;
    server.answer("/u", a);
    RawClient client(server.port());
    // No "Connection: close" from the client: the server must close anyway.
    ASSERT_TRUE(client.Send("GET /u HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string answer = client.ReadToEnd();
    EXPECT_EQ(std::string::npos, answer.find("Content-Length"));
    EXPECT_EQ("until close", answer.substr(answer.size() - 11));
}

TEST(HttpTestServer, CloseAfterDropsTheConnectionMidBody) {
    HttpTestServer server;
    HttpAnswer a;
    a.body = std::string(1000, 'x');
    a.close_after = 100;
    server.answer("/drop", a);
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(Get("/drop")));
    bool reset = false;
    std::string answer = client.ReadToEnd(&reset);
    EXPECT_NE(std::string::npos, answer.find("Content-Length: 1000\r\n"));
    size_t body = answer.find("\r\n\r\n") + 4;
    EXPECT_EQ(100u, answer.size() - body);
}

TEST(HttpTestServer, KeepAliveServesSeveralRequestsOnOneConnection) {
    HttpTestServer server(HttpTestServer::kKeepAlive);
    server.answer("/k", HttpAnswer::Text(200, "12345"));
    RawClient client(server.port());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client.Send("GET /k HTTP/1.1\r\nHost: x\r\n\r\n"));
        std::string answer = client.ReadAnswer(5);
        EXPECT_EQ(0u, answer.find("HTTP/1.1 200 OK")) << i;
        EXPECT_EQ("12345", answer.substr(answer.size() - 5));
    }
    EXPECT_EQ(1u, server.connections());
    EXPECT_EQ(3u, server.count("/k"));
}

TEST(HttpTestServer, UserContentLengthReplacesTheOwnAndShortBodyCloses) {
    HttpTestServer server;
    HttpAnswer a;
    a.body = "short";
    a.headers.emplace_back("Content-Length", "50");
    server.answer("/short", a);
    RawClient client(server.port());
    ASSERT_TRUE(client.Send("GET /short HTTP/1.1\r\nHost: x\r\n\r\n"));
    std::string answer = client.ReadToEnd();
    EXPECT_NE(std::string::npos, answer.find("Content-Length: 50\r\n"));
    EXPECT_EQ(std::string::npos, answer.find("Content-Length: 5\r\n"));
    EXPECT_EQ("short", answer.substr(answer.size() - 5));
}

TEST(HttpTestServer, RedirectCarriesLocation) {
    HttpTestServer server;
    server.answer("/old", HttpAnswer::Redirect("/new"));
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(Get("/old")));
    std::string answer = client.ReadToEnd();
    EXPECT_EQ(0u, answer.find("HTTP/1.1 302 Found\r\n"));
    EXPECT_NE(std::string::npos, answer.find("Location: /new\r\n"));
}

TEST(HttpTestServer, ServesFilesAndSharedBuffers) {
    testing_support::TempDir dir;
    std::string content(300000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    ASSERT_TRUE(testing_support::WriteFileText(dir / L"big.bin", content));
    HttpTestServer server;
    server.serve_file("/file", dir / L"big.bin");
    HttpAnswer shared;
    shared.shared_body = std::make_shared<const std::string>(content);
    server.answer("/shared", shared);
    server.serve_file("/gone", dir / L"missing.bin");
    for (const char* path : {"/file", "/shared"}) {
        RawClient client(server.port());
        ASSERT_TRUE(client.Send(Get(path)));
        std::string answer = client.ReadToEnd();
        size_t body = answer.find("\r\n\r\n") + 4;
        EXPECT_NE(std::string::npos, answer.find("Content-Length: 300000\r\n")) << path;
        EXPECT_TRUE(answer.compare(body, std::string::npos, content) == 0) << path;
    }
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(Get("/gone")));
    EXPECT_EQ(0u, client.ReadToEnd().find("HTTP/1.1 404"));
}

TEST(HttpTestServer, StopsPromptlyWithIdleAndDelayedConnections) {
    DWORD start = GetTickCount();
    {
        HttpTestServer server;
        HttpAnswer slow = HttpAnswer::Text(200, "late");
        slow.delay_ms = 60000;
        server.answer("/slow", slow);
        RawClient idle(server.port());
        RawClient waiting(server.port());
        ASSERT_TRUE(idle.connected());
        ASSERT_TRUE(waiting.Send(Get("/slow")));
        while (server.count("/slow") == 0 && GetTickCount() - start < 5000) Sleep(10);
        EXPECT_EQ(1u, server.count("/slow"));
    }
    EXPECT_LT(GetTickCount() - start, 5000u);
}

TEST(HttpTestServer, BinaryJunkIsAnsweredAtOnce) {
    HttpTestServer server;
    RawClient client(server.port());
    ASSERT_TRUE(client.Send(std::string("\x16\x03\x01\x02\x00", 5)));
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, client.ReadToEnd().find("HTTP/1.1 400"));
    EXPECT_LT(GetTickCount() - start, 2000u);
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpTestServer, MalformedRequestLineGets400) {
    HttpTestServer server;
    RawClient client(server.port());
    ASSERT_TRUE(client.Send("garbage\r\n\r\n"));
    EXPECT_EQ(0u, client.ReadToEnd().find("HTTP/1.1 400"));
    EXPECT_TRUE(server.requests().empty());
}

}  // namespace
