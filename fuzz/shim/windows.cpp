// The stand-in Win32 calls of the fuzzing build (see include/windows.h).

#include <windows.h>
#include <bcrypt.h>
#include <wininet.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

thread_local DWORD t_lastError = 0;
constexpr UINT kAnsiCodePage = 1252;

// Unicode classification for the runtime's isw* functions, as the Windows
// runtime classifies wide characters whatever the locale.
struct LocaleSetup {
    LocaleSetup() {
        if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "C.utf8");
    }
} g_localeSetup;

[[noreturn]] void Fault(const char* what) {
    std::fprintf(stderr, "windows shim: %s\n", what);
    std::abort();
}

// Windows-1252 bytes 0x80..0x9F; the five bytes it leaves undefined map to
// the C1 control of the same value, as the Windows converter does.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool Cp1252Byte(char16_t unit, unsigned char& byte) {
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
        byte = static_cast<unsigned char>(unit);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == unit) {
            byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

// Well-formed sequences decode; each maximal ill-formed subpart becomes one
// U+FFFD (the Unicode standard's recommended practice, which Windows follows).
std::u16string DecodeUtf8(const unsigned char* s, size_t n, bool& invalid) {
    invalid = false;
    std::u16string out;
    size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t need = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            cp = c & 0x0F;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            cp = c & 0x07;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            out.push_back(0xFFFD);
            invalid = true;
            ++i;
            continue;
        }
        size_t k = 1;
        bool ok = true;
        for (; k <= need; ++k) {
            if (i + k >= n) {
                ok = false;
                break;
            }
            unsigned char t = s[i + k];
            unsigned char low = k == 1 ? lo : 0x80;
            unsigned char high = k == 1 ? hi : 0xBF;
            if (t < low || t > high) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        if (!ok) {
            out.push_back(0xFFFD);
            invalid = true;
            i += k;  // the maximal subpart: the lead byte and the valid trail bytes
            continue;
        }
        AppendCodePoint(out, cp);
        i += need + 1;
    }
    return out;
}

char16_t Unit(wchar_t c) {
    if (static_cast<std::uint32_t>(c) > 0xFFFF) Fault("wide character outside UTF-16 handed to a converter");
    return static_cast<char16_t>(c);
}

std::string EncodeUtf8(const wchar_t* w, size_t n, bool& invalid) {
    invalid = false;
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        std::uint32_t cp = Unit(w[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && Unit(w[i + 1]) >= 0xDC00 && Unit(w[i + 1]) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(w[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
            invalid = true;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// The converters' common ending: a count query, or a copy that fails (after
// writing what fits, as Windows does) when the buffer is too small.
template <class Out, class Src>
int Deliver(const Src& converted, Out* buffer, int capacity) {
    const size_t n = converted.size();
    if (n > 0x7FFFFFFF) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (capacity == 0) return static_cast<int>(n);
    if (n > static_cast<size_t>(capacity)) {
        for (int i = 0; i < capacity; ++i) buffer[i] = static_cast<Out>(converted[static_cast<size_t>(i)]);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<Out>(converted[i]);
    return static_cast<int>(n);
}

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

}  // namespace

UINT GetACP() {
    return kAnsiCodePage;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteCount, LPWSTR wide, int wideCount) {
    if (codePage == kAnsiCodePage) codePage = CP_ACP;
    const bool strict = codePage == CP_UTF8 && flags == MB_ERR_INVALID_CHARS;
    if (!bytes || byteCount == 0 || byteCount < -1 || wideCount < 0 || (wideCount > 0 && !wide) ||
        (codePage != CP_ACP && codePage != CP_UTF8) || (flags != 0 && !strict)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = byteCount == -1 ? std::strlen(bytes) + 1 : static_cast<size_t>(byteCount);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    std::u16string units;
    if (codePage == CP_UTF8) {
        bool invalid = false;
        units = DecodeUtf8(s, n, invalid);
        if (strict && invalid) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else {
        units.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            units.push_back(s[i] >= 0x80 && s[i] < 0xA0 ? kCp1252High[s[i] - 0x80] : s[i]);
        }
    }
    return Deliver(units, wide, wideCount);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH wide, int wideCount, LPSTR bytes, int byteCount,
                        LPCCH defaultChar, LPBOOL usedDefaultChar) {
    if (codePage == kAnsiCodePage) codePage = CP_ACP;
    const bool strict = codePage == CP_UTF8 && flags == WC_ERR_INVALID_CHARS;
    if (!wide || wideCount == 0 || wideCount < -1 || byteCount < 0 || (byteCount > 0 && !bytes) ||
        (codePage != CP_ACP && codePage != CP_UTF8) || (flags != 0 && !strict) ||
        (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = wideCount == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideCount);
    std::string out;
    if (codePage == CP_UTF8) {
        bool invalid = false;
        out = EncodeUtf8(wide, n, invalid);
        if (strict && invalid) {
            SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            return 0;
        }
    } else {
        const char fallback = defaultChar ? *defaultChar : '?';
        bool used = false;
        out.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            unsigned char b;
            if (Cp1252Byte(Unit(wide[i]), b)) {
                out.push_back(static_cast<char>(b));
            } else {
                out.push_back(fallback);
                used = true;
            }
        }
        if (usedDefaultChar) *usedDefaultChar = used ? TRUE : FALSE;
    }
    return Deliver(out, bytes, byteCount);
}

// The user-locale comparison, close enough for ordering: case folded with
// the runtime's Unicode tables.
int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    for (;; ++a, ++b) {
        wint_t x = std::towlower(static_cast<wint_t>(*a));
        wint_t y = std::towlower(static_cast<wint_t>(*b));
        if (x != y) return x < y ? -1 : 1;
        if (!*a) return 0;
    }
}

int CompareStringOrdinal(LPCWCH a, int aCount, LPCWCH b, int bCount, BOOL ignoreCase) {
    if (!a || !b || aCount < -1 || bCount < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t n = aCount == -1 ? std::wcslen(a) : static_cast<size_t>(aCount);
    const size_t m = bCount == -1 ? std::wcslen(b) : static_cast<size_t>(bCount);
    for (size_t i = 0; i < n && i < m; ++i) {
        wint_t x = Unit(a[i]);
        wint_t y = Unit(b[i]);
        if (ignoreCase) {
            x = std::towupper(x);
            y = std::towupper(y);
        }
        if (x != y) return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
    if (n == m) return CSTR_EQUAL;
    return n < m ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

// The C runtime's comparison in the "C" locale folds only A-Z.
int _wcsicmp(const wchar_t* a, const wchar_t* b) {
    return _wcsnicmp(a, b, static_cast<size_t>(-1));
}

int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        wchar_t x = FoldAscii(a[i]);
        wchar_t y = FoldAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
    return 0;
}

DWORD GetLastError() {
    return t_lastError;
}

void SetLastError(DWORD code) {
    t_lastError = code;
}

void* LocalFree(void* p) {
    std::free(p);
    return nullptr;
}

void CoTaskMemFree(void* p) {
    std::free(p);
}

// A model of the Win32 path rules that matter for names below a folder, used
// by the targets to check the containment rule from the outside: "/" is a
// separator, runs of separators are one, "." and ".." components resolve,
// trailing dots and spaces of a component are dropped, and a DOS device name
// as the last component resolves to \\.\NAME. Relative paths are taken below
// C:\fuzz\.
DWORD GetFullPathNameW(LPCWSTR path, DWORD bufferLength, LPWSTR buffer, LPWSTR* filePart) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    std::wstring p(path);
    for (wchar_t& c : p) {
        Unit(c);
        if (c == L'/') c = L'\\';
    }
    std::wstring root;
    std::wstring rest;
    if (p.size() >= 2 && p[1] == L':') {
        root = p.substr(0, 2) + L"\\";
        rest = p.substr(2);
        if (rest.empty() || rest[0] != L'\\') rest = L"fuzz\\" + rest;  // the drive's current folder
    } else if (!p.empty() && p[0] == L'\\') {
        root = L"C:\\";
        rest = p;
    } else {
        root = L"C:\\";
        rest = L"fuzz\\" + p;
    }
    std::vector<std::wstring> parts;
    size_t start = 0;
    const bool trailing = !rest.empty() && rest.back() == L'\\';
    while (start <= rest.size()) {
        size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos) end = rest.size();
        std::wstring part = rest.substr(start, end - start);
        size_t dots = 0;
        bool dotsAndBlanks = true;
        for (wchar_t c : part) {
            if (c == L'.') {
                ++dots;
            } else if (c != L' ') {
                dotsAndBlanks = false;
            }
        }
        // Taken as climbing whenever it could: "..", but also ".. " and "...",
        // which Windows versions have read either way.
        if (dotsAndBlanks && dots >= 2) {
            if (!parts.empty()) parts.pop_back();
        } else if (part != L"." && !part.empty()) {
            while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.pop_back();
            if (!part.empty()) parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring full = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) full += L'\\';
        full += parts[i];
    }
    if (trailing && !parts.empty()) full += L'\\';
    if (!parts.empty() && !trailing) {
        std::wstring last = parts.back();
        size_t dot = last.find(L'.');
        std::wstring stem = last.substr(0, dot);
        while (!stem.empty() && stem.back() == L' ') stem.pop_back();
        static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"COM1", L"COM2", L"COM3",
                                                  L"COM4", L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1",
                                                  L"LPT2", L"LPT3", L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8",
                                                  L"LPT9"};
        for (const wchar_t* device : kDevices) {
            if (_wcsicmp(stem.c_str(), device) == 0) {
                full = L"\\\\.\\" + stem;
                break;
            }
        }
    }
    if (full.size() + 1 > bufferLength) return static_cast<DWORD>(full.size() + 1);
    std::wmemcpy(buffer, full.c_str(), full.size() + 1);
    if (filePart) {
        size_t slash = full.rfind(L'\\');
        *filePart = (slash == std::wstring::npos || slash + 1 == full.size()) ? nullptr : buffer + slash + 1;
    }
    return static_cast<DWORD>(full.size());
}

namespace {
const wchar_t kLocalLow[] = L"C:\\Users\\fuzz\\AppData\\LocalLow";
int g_shell32;  // its address is the module handle

HRESULT WINAPI FakeKnownFolderPath(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR* path) {
    const size_t n = sizeof kLocalLow / sizeof *kLocalLow;
    *path = static_cast<PWSTR>(std::malloc(n * sizeof(wchar_t)));
    if (!*path) return static_cast<HRESULT>(0x8007000E);
    std::wmemcpy(*path, kLocalLow, n);
    return 0;
}
}  // namespace

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = 2;
    return TRUE;
}

HMODULE LoadLibraryExW(LPCWSTR name, HANDLE, DWORD flags) {
    if (name && flags == LOAD_LIBRARY_SEARCH_SYSTEM32 && _wcsicmp(name, L"shell32.dll") == 0) return &g_shell32;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
    static const wchar_t kSystem[] = L"C:\\Windows\\system32";
    if (size < sizeof(kSystem) / sizeof(wchar_t)) return sizeof(kSystem) / sizeof(wchar_t);
    wcscpy(buffer, kSystem);
    return sizeof(kSystem) / sizeof(wchar_t) - 1;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (module == &g_shell32 && name && std::strcmp(name, "SHGetKnownFolderPath") == 0) {
        return reinterpret_cast<FARPROC>(&FakeKnownFolderPath);
    }
    return nullptr;
}

BOOL FreeLibrary(HMODULE) {
    return TRUE;
}

HWND GetDesktopWindow() {
    return nullptr;
}

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR, int, BOOL) {
    return FALSE;
}

BOOL CloseHandle(HANDLE) {
    Fault("CloseHandle reached");
}
BOOL FindClose(HANDLE) {
    Fault("FindClose reached");
}
BOOL DestroyIcon(HICON) {
    Fault("DestroyIcon reached");
}
BOOL DeleteObject(HGDIOBJ) {
    Fault("DeleteObject reached");
}
BOOL DeleteDC(HDC) {
    Fault("DeleteDC reached");
}
HGDIOBJ SelectObject(HDC, HGDIOBJ) {
    Fault("SelectObject reached");
}
INTERNET_STATUS_CALLBACK InternetSetStatusCallbackW(HINTERNET, INTERNET_STATUS_CALLBACK) {
    Fault("InternetSetStatusCallbackW reached");
}
BOOL InternetCloseHandle(HINTERNET) {
    Fault("InternetCloseHandle reached");
}
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE, ULONG) {
    Fault("BCryptCloseAlgorithmProvider reached");
}
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE) {
    Fault("BCryptDestroyHash reached");
}
LANGID GetUserDefaultLangID() {
    Fault("GetUserDefaultLangID reached");
}
DWORD FormatMessageW(DWORD, const void*, DWORD, DWORD, LPWSTR, DWORD, void*) {
    Fault("FormatMessageW reached");
}
int _scwprintf(const wchar_t*, ...) {
    Fault("_scwprintf reached");
}
int _snwprintf(wchar_t*, size_t, const wchar_t*, ...) {
    Fault("_snwprintf reached");
}
DWORD GetFileAttributesW(LPCWSTR path) {
    for (const wchar_t* p = path; p && *p; ++p) Unit(*p);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}
BOOL RemoveDirectoryW(LPCWSTR) {
    Fault("RemoveDirectoryW reached");
}
BOOL DeleteFileW(LPCWSTR) {
    Fault("DeleteFileW reached");
}
BOOL SetFileAttributesW(LPCWSTR, DWORD) {
    Fault("SetFileAttributesW reached");
}
BOOL CreateDirectoryW(LPCWSTR, void*) {
    Fault("CreateDirectoryW reached");
}
int SHCreateDirectory(HWND, LPCWSTR) {
    Fault("SHCreateDirectory reached");
}
