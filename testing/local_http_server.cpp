#include <winsock2.h>
#include <ws2tcpip.h>

#include "testing/local_http_server.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace testing_support {

namespace {

// Every wait is bounded so that a client that stops talking never holds a
// test: idle keep-alive connections and stuck sends give up after this.
constexpr DWORD kIdleLimitMs = 30000;
constexpr DWORD kSliceMs = 20;
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kSendPiece = 64 * 1024;

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(begin, end - begin);
}

const char* ReasonFor(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 204:
            return "No Content";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

// Where the body bytes of one answer come from.
class BodySource {
public:
    explicit BodySource(const HttpAnswer& a) {
        if (a.shared_body) {
            m_memory = a.shared_body->data();
            m_size = a.shared_body->size();
        } else if (!a.body_file.empty()) {
            m_file = CreateFileW(a.body_file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            LARGE_INTEGER size = {};
            if (m_file == INVALID_HANDLE_VALUE || !GetFileSizeEx(m_file, &size)) {
                m_failed = true;
            } else {
                m_size = static_cast<size_t>(size.QuadPart);
            }
        } else {
            m_memory = a.body.data();
            m_size = a.body.size();
        }
    }
    ~BodySource() {
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    }
    BodySource(const BodySource&) = delete;
    BodySource& operator=(const BodySource&) = delete;

    bool failed() const { return m_failed; }
    size_t size() const { return m_size; }

    // The next up to `want` bytes, in order; null at the end or on a read error.
    const char* Next(size_t want, size_t* got) {
        *got = 0;
        if (m_offset >= m_size) return nullptr;
        want = std::min(want, m_size - m_offset);
        if (m_memory) {
            const char* p = m_memory + m_offset;
            m_offset += want;
            *got = want;
            return p;
        }
        m_buffer.resize(std::max(m_buffer.size(), want));
        DWORD read = 0;
        if (!ReadFile(m_file, m_buffer.data(), static_cast<DWORD>(want), &read, nullptr) || read == 0)
            return nullptr;
        m_offset += read;
        *got = read;
        return m_buffer.data();
    }

private:
    const char* m_memory = nullptr;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    size_t m_size = 0;
    size_t m_offset = 0;
    bool m_failed = false;
    std::vector<char> m_buffer;
};

void CloseSocket(SOCKET s, bool abortive) {
    if (s == INVALID_SOCKET) return;
    if (abortive) {
        // A zero linger time makes closesocket send RST: the client sees a
        // broken transfer rather than an orderly end.
        linger l = {1, 0};
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof(l));
    } else {
        shutdown(s, SD_SEND);
    }
    closesocket(s);
}

bool ParseRequestHead(const std::string& head, HttpRequestRecord* record) {
    size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : line.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
    record->method = line.substr(0, sp1);
    record->target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    record->version = line.substr(sp2 + 1);
    size_t q = record->target.find('?');
    record->path = record->target.substr(0, q);
    record->query = q == std::string::npos ? std::string() : record->target.substr(q + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) end = head.size();
        std::string h = head.substr(pos, end - pos);
        pos = end + 2;
        if (h.empty()) break;
        size_t colon = h.find(':');
        if (colon == std::string::npos) continue;
        record->headers.emplace_back(Trim(h.substr(0, colon)), Trim(h.substr(colon + 1)));
    }
    return true;
}

}  // namespace

LocalHttpServer::LocalHttpServer(int port, bool closeOnAccept) : m_closeOnAccept(closeOnAccept) {
    WSADATA data;
    m_winsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    if (!m_winsock) return;
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listen == INVALID_SOCKET) return;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    int length = sizeof(address);
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listen, SOMAXCONN) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(m_listen);
        m_listen = INVALID_SOCKET;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LocalHttpServer::~LocalHttpServer() {
    m_stop = true;
    if (m_acceptThread.joinable()) m_acceptThread.join();
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
    // Each connection thread sees the stop flag within one wait slice and
    // closes its own socket.
    std::vector<std::unique_ptr<Connection>> clients;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        clients.swap(m_clients);
    }
    for (auto& c : clients) {
        if (c->thread.joinable()) c->thread.join();
    }
    if (m_winsock) WSACleanup();
}

void LocalHttpServer::answer(const std::string& path, HttpAnswer a) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_defaults[path] = std::move(a);
}

void LocalHttpServer::enqueue(const std::string& path, HttpAnswer a) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_queues[path].push_back(std::move(a));
}

void LocalHttpServer::handler(std::function<HttpAnswer(const HttpRequestRecord&)> h) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_handler = std::move(h);
}

void LocalHttpServer::serve_file(const std::string& path, const std::wstring& file) {
    HttpAnswer a;
    a.body_file = file;
    a.headers.emplace_back("Content-Type", "application/octet-stream");
    answer(path, std::move(a));
}

std::vector<HttpRequestRecord> LocalHttpServer::requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

size_t LocalHttpServer::count(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                             [&](const HttpRequestRecord& r) { return r.path == path; }));
}

void LocalHttpServer::clear_requests() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_requests.clear();
}

bool LocalHttpServer::Wait(DWORD ms) {
    DWORD start = GetTickCount();
    while (!m_stop) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms) return true;
        Sleep(std::min<DWORD>(kSliceMs, ms - elapsed));
    }
    return false;
}

void LocalHttpServer::ReapFinished() {
    std::vector<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto it = std::partition(m_clients.begin(), m_clients.end(),
                                 [](const std::unique_ptr<Connection>& c) { return !c->done.load(); });
        for (auto i = it; i != m_clients.end(); ++i) finished.push_back(std::move(*i));
        m_clients.erase(it, m_clients.end());
    }
    for (auto& c : finished) {
        if (c->thread.joinable()) c->thread.join();
    }
}

void LocalHttpServer::AcceptLoop() {
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listen, &readable);
        timeval tv = {0, static_cast<long>(kSliceMs * 1000)};
        int ready = select(0, &readable, nullptr, nullptr, &tv);
        if (ready == SOCKET_ERROR) break;
        ReapFinished();
        if (ready == 0) continue;
        SOCKET s = accept(m_listen, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        if (m_closeOnAccept) {
            ++m_connections;
            closesocket(s);
            continue;
        }
        // The head and the body go out in separate sends: with Nagle's rule
        // the second would wait for the client's delayed acknowledgement
        // (tens of milliseconds on loopback), which no real server adds.
        const BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
        ++m_connections;
        auto connection = std::make_unique<Connection>();
        connection->socket = s;
        Connection* raw = connection.get();
        std::lock_guard<std::mutex> guard(m_lock);
        m_clients.push_back(std::move(connection));
        raw->thread = std::thread([this, raw] { Serve(raw); });
    }
}

HttpAnswer LocalHttpServer::Choose(const HttpRequestRecord& request) {
    std::function<HttpAnswer(const HttpRequestRecord&)> dynamic;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const std::string& key : {request.path, std::string(kAnyPath)}) {
            auto queue = m_queues.find(key);
            if (queue != m_queues.end() && !queue->second.empty()) {
                HttpAnswer a = std::move(queue->second.front());
                queue->second.pop_front();
                return a;
            }
            auto fixed = m_defaults.find(key);
            if (fixed != m_defaults.end()) return fixed->second;
            if (key == request.path && m_handler) {
                dynamic = m_handler;
                break;
            }
        }
    }
    if (dynamic) return dynamic(request);
    return HttpAnswer::Text(404, "not found\n");
}

bool LocalHttpServer::SendAll(uintptr_t s, const char* data, size_t size) {
    DWORD idleSince = GetTickCount();
    while (size > 0) {
        if (m_stop) return false;
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval tv = {0, static_cast<long>(kSliceMs * 1000)};
        int ready = select(0, nullptr, &writable, nullptr, &tv);
        if (ready == SOCKET_ERROR) return false;
        if (ready == 0) {
            if (GetTickCount() - idleSince > kIdleLimitMs) return false;
            continue;
        }
        int sent = send(s, data, static_cast<int>(std::min(size, kSendPiece)), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
        idleSince = GetTickCount();
    }
    return true;
}

bool LocalHttpServer::SendAnswer(uintptr_t s, const HttpRequestRecord& request, const HttpAnswer& given,
                                 bool* keepOpen) {
    *keepOpen = false;
    if (given.delay_ms && !Wait(given.delay_ms)) return false;

    BodySource source(given);
    if (source.failed()) {
        HttpAnswer missing = HttpAnswer::Text(404, "body file missing\n");
        return SendAnswer(s, request, missing, keepOpen);
    }
    const HttpAnswer& a = given;
    bool noBody =
        request.method == "HEAD" || a.status == 204 || a.status == 304 || (a.status >= 100 && a.status < 200);
    const std::string* userLength = FindHeader(a.headers, "Content-Length");
    const std::string* userEncoding = FindHeader(a.headers, "Transfer-Encoding");
    bool chunked = a.chunked && !noBody;
    size_t total = noBody ? 0 : source.size();

    std::string head = "HTTP/1.1 " + std::to_string(a.status) + " " +
                       (a.reason.empty() ? ReasonFor(a.status) : a.reason) + "\r\n";
    for (const auto& h : a.headers) head += h.first + ": " + h.second + "\r\n";
    if (chunked && !userEncoding) head += "Transfer-Encoding: chunked\r\n";
    if (!chunked && a.content_length && !userLength && !(a.status == 204 || a.status == 304))
        head += "Content-Length: " + std::to_string(source.size()) + "\r\n";
    bool delimited = chunked || (a.content_length && (!userLength || *userLength == std::to_string(total)));
    if (noBody) delimited = true;
    bool clientCloses = EqualsNoCase(request.header("Connection"), "close");
    bool keep = m_keepAlive && delimited && !a.close && !clientCloses && a.close_after == std::string::npos;
    if (!keep) head += "Connection: close\r\n";
    head += "\r\n";
    if (!SendAll(s, head.data(), head.size())) return false;
    if (noBody) {
        *keepOpen = keep;
        return true;
    }
    if (a.body_delay_ms && !Wait(a.body_delay_ms)) return false;

    size_t limit = std::min(total, a.close_after);
    size_t sent = 0;
    size_t piece = chunked && a.chunk_size ? a.chunk_size : kSendPiece;
    while (sent < limit) {
        size_t got = 0;
        const char* data = source.Next(std::min(piece, limit - sent), &got);
        if (!data) return false;
        if (chunked) {
            char size[32];
            snprintf(size, sizeof(size), "%zx\r\n", got);
            if (!SendAll(s, size, strlen(size)) || !SendAll(s, data, got) || !SendAll(s, "\r\n", 2))
                return false;
        } else if (!SendAll(s, data, got)) {
            return false;
        }
        sent += got;
    }
    if (a.close_after != std::string::npos) {
        // Dropped on purpose: the caller closes (abortively when asked).
        if (a.drop_delay_ms) Wait(a.drop_delay_ms);
        return false;
    }
    if (chunked && !SendAll(s, "0\r\n\r\n", 5)) return false;
    *keepOpen = keep;
    return true;
}

void LocalHttpServer::Serve(Connection* connection) {
    SOCKET s = static_cast<SOCKET>(connection->socket);
    std::string pending;
    bool abortive = false;
    DWORD idleSince = GetTickCount();
    char buffer[16 * 1024];
    while (!m_stop) {
        size_t headEnd = pending.find("\r\n\r\n");
        // Anything but a request (a TLS hello, binary junk) is answered at
        // once instead of waiting for a header block that never comes.
        bool junk = !pending.empty() && !(pending[0] >= 'A' && pending[0] <= 'Z');
        if (headEnd == std::string::npos && !junk) {
            if (pending.size() > kMaxHeaderBytes) break;
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(s, &readable);
            timeval tv = {0, static_cast<long>(kSliceMs * 1000)};
            int ready = select(0, &readable, nullptr, nullptr, &tv);
            if (ready == SOCKET_ERROR) break;
            if (ready == 0) {
                if (GetTickCount() - idleSince > kIdleLimitMs) break;
                continue;
            }
            int got = recv(s, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            pending.append(buffer, static_cast<size_t>(got));
            idleSince = GetTickCount();
            continue;
        }

        HttpRequestRecord record;
        bool parsed = !junk && ParseRequestHead(pending.substr(0, headEnd + 2), &record);
        pending.erase(0, junk ? pending.size() : headEnd + 4);
        if (!parsed) {
            HttpAnswer bad = HttpAnswer::Text(400, "bad request\n");
            bad.close = true;
            bool keep = false;
            SendAnswer(s, record, bad, &keep);
            break;
        }
        // A request body (none of our clients sends one) is read and dropped.
        size_t bodyLength = strtoul(record.header("Content-Length").c_str(), nullptr, 10);
        while (pending.size() < bodyLength && !m_stop) {
            int got = recv(s, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            pending.append(buffer, static_cast<size_t>(got));
        }
        pending.erase(0, std::min(bodyLength, pending.size()));
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_requests.push_back(record);
        }
        HttpAnswer a = Choose(record);
        bool keep = false;
        if (!SendAnswer(s, record, a, &keep)) {
            abortive = a.close_after != std::string::npos && a.reset;
            break;
        }
        if (!keep) break;
        idleSince = GetTickCount();
    }
    CloseSocket(s, abortive);
    connection->done = true;
}

}  // namespace testing_support
