#include "testing/http_exchange.h"

#include <cctype>

namespace testing_support {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

const std::string* FindHeader(const HttpHeaders& headers, const std::string& name) {
    for (const auto& h : headers) {
        if (EqualsNoCase(h.first, name)) return &h.second;
    }
    return nullptr;
}

HttpAnswer HttpAnswer::Text(int status, const std::string& body) {
    HttpAnswer a;
    a.status = status;
    a.body = body;
    a.headers.emplace_back("Content-Type", "text/plain");
    return a;
}

HttpAnswer HttpAnswer::Redirect(const std::string& location, int status) {
    HttpAnswer a;
    a.status = status;
    a.headers.emplace_back("Location", location);
    return a;
}

std::string HttpRequestRecord::header(const std::string& name) const {
    const std::string* value = FindHeader(headers, name);
    return value ? *value : std::string();
}

bool HttpRequestRecord::has_header(const std::string& name) const {
    return FindHeader(headers, name) != nullptr;
}

}  // namespace testing_support
