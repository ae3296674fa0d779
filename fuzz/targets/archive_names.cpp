// The item-name rules for cabinet and zip items and the containment rule
// beneath them: StripItemName leaves no drive prefix, no leading separator and
// no climbing sequence, and is stable; IsContainedName accepts only names that
// a model of the Win32 path rules keeps inside the folder; ComposeItemTarget
// accepts only contained names and never a path through a link.
//
// Folder levels whose name starts with "lnk" (any case) are links here.

#include <windows.h>

#include <cwchar>

#include "fuzz_support.h"
#include "support/contained_path.h"
#include "update/archive_names.h"

namespace {

const wchar_t kBase[] = L"C:\\fuzz\\dest\\";

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// A component as the platform resolves it: trailing dots and blanks dropped.
std::wstring Resolved(std::wstring component) {
    while (!component.empty() && (component.back() == L'.' || component.back() == L' ')) component.pop_back();
    return component;
}

bool IsLinkName(const std::wstring& component) {
    const std::wstring name = Resolved(component);
    return name.size() >= 3 && _wcsnicmp(name.c_str(), L"lnk", 3) == 0;
}

DWORD LinkHook(const std::wstring& path, DWORD attributes) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring last = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return IsLinkName(last) ? (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT) : attributes;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::wstring();
    std::vector<wchar_t> buffer(needed);
    const DWORD n = GetFullPathNameW(path.c_str(), needed, buffer.data(), nullptr);
    return n > 0 && n < needed ? std::wstring(buffer.data(), n) : std::wstring();
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// The containment rule seen from outside: the folder joined with the name
// resolves to the folder or below it.
void CheckContained(const std::wstring& name) {
    const std::wstring full = FullPath(kBase + name);
    FUZZ_CHECK(!full.empty());
    FUZZ_CHECK(StartsWithNoCase(full + L"\\", kBase));
    const std::vector<std::wstring> components = ResolvedComponents(name);
    for (const std::wstring& c : components) {
        FUZZ_CHECK(!c.empty() && c != L"." && c != L"..");
        FUZZ_CHECK(c.find(L'\\') == std::wstring::npos && c.find(L'/') == std::wstring::npos);
        FUZZ_CHECK(Resolved(c) == c);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool hooked = (SetPathAttributesHookForTest(&LinkHook), true);
    (void)hooked;
    const std::wstring stored = fuzz::Text(data, size);

    if (IsContainedName(stored)) CheckContained(stored);

    const std::wstring name = StripItemName(stored);
    FUZZ_CHECK(name.size() <= stored.size());
    FUZZ_CHECK(name.empty() || !IsSeparator(name[0]));
    FUZZ_CHECK(name.size() < 2 || name[1] != L':');
    for (const wchar_t* climb : {L"\\..\\", L"\\../", L"/../", L"/..\\"}) {
        FUZZ_CHECK(name.find(climb) == std::wstring::npos);
    }
    FUZZ_CHECK(StripItemName(name) == name);

    std::wstring target = L"untouched";
    if (ComposeItemTarget(kBase, name, target)) {
        FUZZ_CHECK(target == kBase + name);
        FUZZ_CHECK(target.size() < MAX_PATH);
        FUZZ_CHECK(IsContainedName(name));
        CheckContained(name);
        // No folder level on the way is a link.
        size_t start = 0;
        const size_t last = name.find_last_of(L"\\/");
        while (last != std::wstring::npos && start <= last) {
            size_t end = start;
            while (end < name.size() && !IsSeparator(name[end])) ++end;
            FUZZ_CHECK(!IsLinkName(name.substr(start, end - start)));
            start = end + 1;
        }
    } else {
        FUZZ_CHECK(target == L"untouched");
    }
    return 0;
}
