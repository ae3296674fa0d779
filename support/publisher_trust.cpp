// The publisher's origins and signing keys, and the origin check made before
// every request the launcher sends and every page it opens.

#include "support/publisher_trust.h"

#include <algorithm>
#include <cwctype>

#include "support/logger.h"
#include "support/url_parse.h"

namespace {

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) {
        return c < 0x80 ? static_cast<wchar_t>(std::towlower(c)) : c;
    });
    return text;
}

bool IsAsciiAlnum(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

bool IsHex(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// Parses the authority and returns where it ends (npos when it is not one we
// can compare safely).
size_t ParseOrigin(const std::wstring& url, std::wstring& origin) {
    const size_t separator = url.find(L"://");
    if (separator == std::wstring::npos) return std::wstring::npos;
    const std::wstring scheme = Lower(url.substr(0, separator));
    if (scheme != L"http" && scheme != L"https") return std::wstring::npos;
    const size_t start = separator + 3;
    size_t end = url.find_first_of(L"/?#", start);
    if (end == std::wstring::npos) end = url.size();
    const std::wstring authority = url.substr(start, end - start);

    // Only the characters a host name or address needs: a user name ("@"), a
    // backslash or an escape could make the HTTP layer see another host than
    // this comparison does.
    size_t hostEnd = 0;
    if (!authority.empty() && authority[0] == L'[') {
        hostEnd = authority.find(L']');
        if (hostEnd == std::wstring::npos || hostEnd == 1) return std::wstring::npos;
        for (size_t i = 1; i < hostEnd; ++i) {
            if (!IsHex(authority[i]) && authority[i] != L':' && authority[i] != L'.') return std::wstring::npos;
        }
        ++hostEnd;
    } else {
        while (hostEnd < authority.size() && authority[hostEnd] != L':') {
            const wchar_t c = authority[hostEnd];
            if (!IsAsciiAlnum(c) && c != L'.' && c != L'-' && c != L'_') return std::wstring::npos;
            ++hostEnd;
        }
        if (hostEnd == 0) return std::wstring::npos;
    }
    unsigned long port = scheme == L"https" ? 443 : 80;
    if (hostEnd < authority.size()) {
        if (authority[hostEnd] != L':') return std::wstring::npos;
        const std::wstring digits = authority.substr(hostEnd + 1);
        if (digits.empty() || digits.size() > 5) return std::wstring::npos;
        port = 0;
        for (wchar_t c : digits) {
            if (c < L'0' || c > L'9') return std::wstring::npos;
            port = port * 10 + (c - L'0');
        }
        if (port == 0 || port > 65535) return std::wstring::npos;
    }
    origin = scheme + L"://" + Lower(authority.substr(0, hostEnd)) + L":" + std::to_wstring(port);
    return end;
}

const PublisherTrust*& Override() {
    static const PublisherTrust* trust = nullptr;
    return trust;
}

}  // namespace

std::vector<std::wstring> SplitSettingList(const std::wstring& text) {
    std::vector<std::wstring> items;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L';', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring item = text.substr(start, end - start);
        const size_t first = item.find_first_not_of(L" \t");
        if (first != std::wstring::npos) items.push_back(item.substr(first, item.find_last_not_of(L" \t") - first + 1));
        start = end + 1;
    }
    return items;
}

std::wstring UrlOrigin(const std::wstring& url) {
    // The origin is the one the request layer's split gives, the one it would
    // connect to. The plain reading above must come to the same origin: where
    // the two disagree (a user name, "#", a backslash, an escape or a control
    // character in the authority), a browser or a later layer could too.
    std::wstring plain;
    if (ParseOrigin(url, plain) == std::wstring::npos) return std::wstring();
    DWORD service = 0;
    std::wstring host, object;
    INTERNET_PORT port = 0;
    bool userInfo = false;
    if (!ParseUrl(url, service, host, object, port, &userInfo) || userInfo) return std::wstring();
    std::wstring split;
    const bool bracket = host.find(L':') != std::wstring::npos && host[0] != L'[';
    const std::wstring splitText = std::wstring(service == kServiceHttps ? L"https" : L"http") + L"://" +
                                   (bracket ? L"[" + host + L"]" : host) + L":" + std::to_wstring(port);
    if (ParseOrigin(splitText, split) == std::wstring::npos || split != plain) return std::wstring();
    return split;
}

PublisherTrust::PublisherTrust(const std::wstring& origins, const std::wstring& keys, bool keepCertificateDefault)
    : m_keepCertificateDefault(keepCertificateDefault) {
    for (const std::wstring& entry : SplitSettingList(origins)) {
        m_pinsOrigins = true;
        // An origin names no path: "https://shop.example" or with one "/".
        std::wstring origin;
        const size_t end = ParseOrigin(entry, origin);
        if (end != std::wstring::npos && (end == entry.size() || entry.substr(end) == L"/")) {
            m_origins.push_back(origin);
        }
    }
    for (const std::wstring& entry : SplitSettingList(keys)) {
        m_pinsKeys = true;
        if (entry.size() == 64 && std::all_of(entry.begin(), entry.end(), IsHex)) m_keys.push_back(Lower(entry));
    }
}

const PublisherTrust& PublisherTrust::Current() {
    if (const PublisherTrust* trust = Override()) return *trust;
    static const PublisherTrust compiled = [] {
        const PublisherSettings settings = CompiledPublisherSettings();
        return PublisherTrust(settings.origins ? settings.origins : L"", settings.keys ? settings.keys : L"",
                              settings.keepCertificateDefault);
    }();
    return compiled;
}

const PublisherTrust* PublisherTrust::Use(const PublisherTrust* trust) {
    const PublisherTrust* previous = Override();
    Override() = trust;
    return previous;
}

bool PublisherTrust::AllowsUrl(const std::wstring& url) const {
    if (!m_pinsOrigins) return true;
    const std::wstring origin = UrlOrigin(url);
    return !origin.empty() && std::find(m_origins.begin(), m_origins.end(), origin) != m_origins.end();
}

bool PublisherTrust::AllowsKey(const std::wstring& sha256Hex) const {
    if (!m_pinsKeys) return true;
    return std::find(m_keys.begin(), m_keys.end(), Lower(sha256Hex)) != m_keys.end();
}

bool CheckUrlOrigin(const std::wstring& url) {
    if (PublisherTrust::Current().AllowsUrl(url)) return true;
    LogRefusedUrl(url);
    return false;
}

void LogRefusedUrl(const std::wstring& url) {
    Logger::Instance()->Write(L"*오류 : 허용되지 않은 주소입니다. (url:%s)", url.c_str());
}
