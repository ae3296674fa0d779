#include "tools/shop_server/shop.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "testing/test_support.h"

namespace shop {

using testing_support::HttpAnswer;
using testing_support::HttpRequestRecord;

namespace {

std::string ReadAll(const std::wstring& path, bool* ok) {
    std::vector<unsigned char> bytes = testing_support::ReadFileBytes(path);
    *ok = !bytes.empty() || testing_support::FileExists(path);
    return std::string(bytes.begin(), bytes.end());
}

// Only plain names reach the folder: no way up or across.
bool IsPlainName(const std::string& name) {
    if (name.empty() || name.find("..") != std::string::npos) return false;
    for (char c : name) {
        if (c == '\\' || c == ':' || c == '/' || static_cast<unsigned char>(c) < 32) return false;
    }
    return true;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

std::string QueryValue(const std::string& query, const std::string& name) {
    size_t at = 0;
    while (at <= query.size()) {
        size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(at, end - at);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
        at = end + 1;
    }
    return std::string();
}

ShopServer::ShopServer(std::wstring root, int port) : m_root(std::move(root)), m_server(port) {
    if (!m_root.empty() && m_root.back() != L'\\') m_root += L'\\';
    m_server.handler([this](const HttpRequestRecord& request) { return Answer(request); });
}

ShopServer::~ShopServer() = default;

std::wstring ShopServer::base() const {
    return L"http://127.0.0.1:" + std::to_wstring(port());
}

void ShopServer::set_cart_failures(int failures) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_cartFailures = failures;
}

void ShopServer::set_package_delay(DWORD milliseconds) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_packageDelay = milliseconds;
}

void ShopServer::set_cuts(Cut kind, uint32_t count, bool reset) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_cuts[static_cast<uint32_t>(kind)] = {count, reset};
}

void ShopServer::ApplyCut(Cut kind, HttpAnswer& answer) {
    if (answer.status != 200) return;
    Cuts& cuts = m_cuts[static_cast<uint32_t>(kind)];
    if (cuts.count == 0) return;
    if (cuts.count != testing_support::kCutEveryAnswer) --cuts.count;
    size_t size = answer.body.size();
    if (!answer.body_file.empty()) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        if (GetFileAttributesExW(answer.body_file.c_str(), GetFileExInfoStandard, &data)) size = data.nFileSizeLow;
    }
    answer.close_after = kind == Cut::packages ? size / 2 : (size > 2 ? size - 2 : 0);
    answer.reset = cuts.reset;
}

void ShopServer::on_request(std::function<void(const std::string&)> listener) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_listener = std::move(listener);
}

std::vector<std::string> ShopServer::cart_requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_cart;
}

HttpAnswer ShopServer::File(const std::wstring& path, const char* contentType) {
    if (!testing_support::FileExists(path)) return HttpAnswer::Text(404, "no such file\n");
    HttpAnswer answer;
    answer.body_file = path;
    answer.headers.emplace_back("Content-Type", contentType);
    return answer;
}

HttpAnswer ShopServer::Startup(const std::string& key) {
    std::string name = PercentDecode(key);
    if (!IsPlainName(name)) return HttpAnswer::Text(404, "unknown key\n");
    bool ok = false;
    std::string document =
        ReadAll(m_root + L"startup\\" + testing_support::Utf8ToWideString(name) + L".xml", &ok);
    if (!ok) return HttpAnswer::Text(404, "unknown key\n");
    const std::string token = "$(SERVER)";
    const std::string server = testing_support::WideToUtf8String(base());
    for (size_t at = document.find(token); at != std::string::npos;
         at = document.find(token, at + server.size())) {
        document.replace(at, token.size(), server);
    }
    HttpAnswer answer = HttpAnswer::Text(200, document);
    answer.headers.emplace_back("Content-Type", "text/xml");
    return answer;
}

HttpAnswer ShopServer::Answer(const HttpRequestRecord& request) {
    HttpAnswer answer = HttpAnswer::Text(404, "not found\n");
    const std::string& path = request.path;
    if (path == "/shop/launch") {
        std::string field = QueryValue(request.query, "field");
        if (field == "startup") {
            answer = Startup(QueryValue(request.query, "key"));
            std::lock_guard<std::mutex> guard(m_lock);
            ApplyCut(Cut::startup, answer);
        } else if (field == "result") {
            answer = HttpAnswer::Text(200, "OK\n");
        }
    } else if (path.compare(0, 13, "/shop/update/") == 0) {
        std::string name = PercentDecode(path.substr(13));
        if (IsPlainName(name)) {
            answer = File(m_root + L"update\\" + testing_support::Utf8ToWideString(name),
                          "application/octet-stream");
            std::lock_guard<std::mutex> guard(m_lock);
            const bool manifest = name == "activeupdate.xml";
            if (!manifest) answer.body_delay_ms = m_packageDelay;
            ApplyCut(manifest ? Cut::manifest : Cut::packages, answer);
        }
    } else if (path == "/shop/cart") {
        std::lock_guard<std::mutex> guard(m_lock);
        m_cart.push_back(request.target);
        if (m_cartFailures > 0) {
            --m_cartFailures;
            answer = HttpAnswer::Text(500, "try again later\n");
        } else {
            answer = HttpAnswer::Text(200,
                                      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                                      "<response><result code=\"0000\" message=\"ok\"/></response>\r\n");
            answer.headers.emplace_back("Content-Type", "text/xml");
        }
    } else if (path == "/shop/return") {
        answer = HttpAnswer::Text(200, "<html><body>Thank you. Your work is in the cart.</body></html>\n");
        answer.headers.emplace_back("Content-Type", "text/html");
    }
    std::function<void(const std::string&)> listener;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        listener = m_listener;
    }
    if (listener) listener(std::to_string(answer.status) + " " + request.method + " " + request.target);
    return answer;
}

}  // namespace shop
