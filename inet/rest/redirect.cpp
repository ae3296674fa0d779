#include "inet/rest/redirect.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

#include "support/logger.h"
#include "support/publisher_trust.h"
#include "support/url_parse.h"

namespace inet {
namespace rest {

namespace {

bool IsHttps(const std::wstring& url) {
    DWORD service = 0;
    std::wstring host, object;
    INTERNET_PORT port = 0;
    return ParseUrl(url, service, host, object, port) && service == kServiceHttps;
}

// Location resolved as the browser would (RFC 3986 reference resolution).
std::wstring Resolve(const std::wstring& from, const std::wstring& location) {
    DWORD length = static_cast<DWORD>((from.size() + location.size()) * 3 + 64);
    std::vector<wchar_t> text(length + 1, L'\0');
    if (!InternetCombineUrlW(from.c_str(), location.c_str(), text.data(), &length, ICU_BROWSER_MODE)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::wstring();
        text.assign(length + 1, L'\0');
        if (!InternetCombineUrlW(from.c_str(), location.c_str(), text.data(), &length, ICU_BROWSER_MODE))
            return std::wstring();
    }
    return text.data();
}

}  // namespace

bool is_redirect(int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::wstring next_hop(const std::wstring& from, const std::wstring& location, int hop) {
    const std::wstring target = location.empty() ? std::wstring() : Resolve(from, location);
    if (hop > kMaxRedirects) {
        Logger::Instance()->Write(L"*오류 : 리다이렉트가 너무 많습니다. (url:%s)", target.c_str());
        return std::wstring();
    }
    if (target.empty() || (IsHttps(from) && !IsHttps(target))) {
        LogRefusedUrl(target.empty() ? location : target);
        return std::wstring();
    }
    return CheckUrlOrigin(target) ? target : std::wstring();
}

}  // namespace rest
}  // namespace inet
