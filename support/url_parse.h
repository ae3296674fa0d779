#pragma once
// Splits a URL into service type, host, object (path and query) and port, the
// way the browser would: canonicalised first (InternetCanonicalizeUrlW in
// browser mode), then cracked (InternetCrackUrlW). The request layer and the
// publisher's origin check both read a URL through this one split, so the host
// that is checked is the host that is asked.

#include <windows.h>
#include <wininet.h>

#include <string>

// Service types of a split URL.
constexpr DWORD kServiceHttp = INTERNET_SERVICE_HTTP;  // 3
constexpr DWORD kServiceHttps = 0x100B;

// False for an empty URL, one without a scheme or host, and schemes other than
// http and https (the only ones this client speaks).
// userInfo, when given, tells whether the URL carries a user name or password
// (which the request never sends, but which moves where the host begins).
[[nodiscard]] bool ParseUrl(const std::wstring& url, DWORD& serviceType, std::wstring& server,
                            std::wstring& object, INTERNET_PORT& port, bool* userInfo = nullptr);
