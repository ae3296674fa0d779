#include "testing/http_test_server.h"

namespace testing_support {

HttpTestServer::HttpTestServer(int port) { Listen(port, ServerFlags()); }

HttpTestServer::HttpTestServer(CloseOnAccept) { Listen(0, ServerFlags() | host::kCloseOnAccept); }

HttpTestServer::HttpTestServer(KeepAlive) { Listen(0, 0); }

void HttpTestServer::Listen(int port, uint32_t flags) {
    host::Message request;
    request.PutU32(static_cast<uint32_t>(host::Op::NewServer));
    request.PutU32(static_cast<uint32_t>(port));
    request.PutU32(flags);
    Start(request);
}

std::wstring HttpTestServer::url(const std::string& path) const {
    std::string narrow = url_narrow(path);
    return std::wstring(narrow.begin(), narrow.end());
}

std::string HttpTestServer::url_narrow(const std::string& path) const {
    std::string text = "http://127.0.0.1:" + std::to_string(m_port);
    if (path.empty() || path[0] != '/') text += '/';
    return text + path;
}

void HttpTestServer::Script(host::Op op, const std::string& path, const HttpAnswer& a) {
    host::Message request = Request(op);
    request.PutBytes(path);
    request.PutAnswer(a);
    Send(request);
}

void HttpTestServer::answer(const std::string& path, const HttpAnswer& a) {
    Script(host::Op::Answer, path, a);
}

void HttpTestServer::enqueue(const std::string& path, const HttpAnswer& a) {
    Script(host::Op::Enqueue, path, a);
}

void HttpTestServer::serve_file(const std::string& path, const std::wstring& file) {
    host::Message request = Request(host::Op::ServeFile);
    request.PutBytes(path);
    request.PutWide(file);
    Send(request);
}

}  // namespace testing_support
