#pragma once
// Splits a URL into service type, host, object (path and query) and port, the
// way the browser would: canonicalised first (InternetCanonicalizeUrlW in
// browser mode), then cracked (InternetCrackUrlW).

#include <windows.h>
#include <wininet.h>

#include <string>

namespace inet {

// Service types of a split URL.
constexpr DWORD kServiceHttp = INTERNET_SERVICE_HTTP;  // 3
constexpr DWORD kServiceHttps = 0x100B;

// False for an empty URL, one without a scheme or host, and schemes other than
// http and https (the only ones this client speaks).
[[nodiscard]] bool ParseUrl(const std::wstring& url, DWORD& serviceType, std::wstring& server,
                            std::wstring& object, INTERNET_PORT& port);

}  // namespace inet
