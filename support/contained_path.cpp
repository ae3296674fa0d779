#include "support/contained_path.h"

#include <cwctype>

namespace {

PathAttributesHook g_attributesHook = nullptr;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::vector<std::wstring> SplitComponents(const std::wstring& name) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        parts.push_back(name.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::wstring WithoutTrailingDotsAndBlanks(std::wstring component) {
    while (!component.empty() && (component.back() == L'.' || component.back() == L' ')) component.pop_back();
    return component;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

// The legacy DOS devices, which the platform resolves whatever folder they
// are joined to, also with an extension ("nul.txt") or trailing blanks.
bool IsDeviceName(const std::wstring& component) {
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (EqualsNoCase(base, device)) return true;
    }
    if (base.size() == 4 &&
        (EqualsNoCase(base.substr(0, 3), L"COM") || EqualsNoCase(base.substr(0, 3), L"LPT"))) {
        const wchar_t digit = base[3];
        // Windows counts the superscript digits 1 to 3 as device numbers too.
        return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
               digit == L'\u00B3';
    }
    return false;
}

}  // namespace

bool IsContainedName(const std::wstring& name) {
    // Every Win32 call ends the path at a NUL, so "..\0x" reaches them as "..":
    // what a NUL cuts off must not decide the checks below.
    if (name.find(L'\0') != std::wstring::npos) return false;
    if (name.find(L':') != std::wstring::npos) return false;
    if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) return false;
    for (const std::wstring& component : SplitComponents(name)) {
        if (component.empty()) continue;
        size_t dots = 0;
        bool onlyDotsAndBlanks = true;
        for (wchar_t c : component) {
            if (c == L'.') {
                ++dots;
            } else if (c != L' ') {
                onlyDotsAndBlanks = false;
            }
        }
        if (onlyDotsAndBlanks && dots >= 2) return false;
        if (IsDeviceName(component)) return false;
    }
    return true;
}

std::vector<std::wstring> ResolvedComponents(const std::wstring& name) {
    std::vector<std::wstring> resolved;
    for (const std::wstring& component : SplitComponents(name)) {
        std::wstring part = WithoutTrailingDotsAndBlanks(component);
        if (!part.empty()) resolved.push_back(part);
    }
    return resolved;
}

DWORD GetPathAttributes(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return g_attributesHook ? g_attributesHook(path, attributes) : attributes;
}

DWORD GetEntryAttributes(const std::wstring& path, DWORD found) {
    return g_attributesHook ? g_attributesHook(path, found) : found;
}

bool IsLinkAttributes(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsLinkPath(const std::wstring& path) {
    const DWORD error = ::GetLastError();
    std::wstring bare = path;
    // A trailing separator would ask about the link's target on Windows.
    while (bare.size() > 1 && IsSeparator(bare.back())) bare.pop_back();
    const bool link = !bare.empty() && IsLinkAttributes(GetPathAttributes(bare));
    ::SetLastError(error);
    return link;
}

bool CrossesLink(const std::wstring& base, const std::wstring& relative, DWORD* deepestAttributes) {
    std::wstring path = base;
    if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    for (const std::wstring& component : SplitComponents(relative)) {
        if (component.empty()) continue;
        path += component;
        // As IsLinkPath asks: the path never ends in a separator here.
        const DWORD error = ::GetLastError();
        attributes = GetPathAttributes(path);
        ::SetLastError(error);
        if (IsLinkAttributes(attributes)) return true;
        path += L'\\';
    }
    if (deepestAttributes) *deepestAttributes = attributes;
    return false;
}

bool RemoveLink(const std::wstring& path, DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? ::RemoveDirectoryW(path.c_str()) != FALSE
                                                   : ::DeleteFileW(path.c_str()) != FALSE;
}

void SetPathAttributesHookForTest(PathAttributesHook hook) {
    g_attributesHook = hook;
}
