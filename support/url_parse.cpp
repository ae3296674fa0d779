#include "support/url_parse.h"

#include <vector>

bool ParseUrl(const std::wstring& url, DWORD& serviceType, std::wstring& server, std::wstring& object,
              INTERNET_PORT& port, bool* userInfo) {
    if (url.empty() || url.find(L'\0') != std::wstring::npos) return false;
    DWORD length = static_cast<DWORD>(url.size() * 3 + 64);
    std::vector<wchar_t> canonical(length + 1, L'\0');
    if (!InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        canonical.assign(length + 1, L'\0');
        if (!InternetCanonicalizeUrlW(url.c_str(), canonical.data(), &length, ICU_BROWSER_MODE)) return false;
    }
    std::wstring text(canonical.data());

    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwSchemeLength = 1;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    parts.dwUserNameLength = 1;
    parts.dwPasswordLength = 1;
    if (!InternetCrackUrlW(text.c_str(), static_cast<DWORD>(text.size()), 0, &parts)) return false;
    DWORD service;
    if (parts.nScheme == INTERNET_SCHEME_HTTP) {
        service = kServiceHttp;
    } else if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        service = kServiceHttps;
    } else {
        return false;
    }
    if (!parts.lpszHostName || parts.dwHostNameLength == 0) return false;
    serviceType = service;
    server.assign(parts.lpszHostName, parts.dwHostNameLength);
    object.clear();
    if (parts.lpszUrlPath) object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty() || object[0] != L'/') object.insert(object.begin(), L'/');
    port = parts.nPort;
    if (userInfo) {
        *userInfo = (parts.lpszUserName && parts.dwUserNameLength > 0) ||
                    (parts.lpszPassword && parts.dwPasswordLength > 0);
    }
    return true;
}
