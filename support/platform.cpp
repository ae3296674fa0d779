#include "support/platform.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <cwctype>

#include "support/logger.h"
#include "support/scoped.h"

bool DeclaresUtf8(const unsigned char* bytes, int count) {
    if (!bytes || count <= 0) return false;
    static const char kOpen[] = "<?xml";
    int start = -1;
    for (int i = 0; i < count && bytes[i]; ++i) {
        int k = 0;
        while (k < 5 && i + k < count && bytes[i + k] && tolower(bytes[i + k]) == kOpen[k]) ++k;
        if (k == 5) {
            start = i;
            break;
        }
    }
    if (start < 0) return false;
    int end = -1;
    for (int i = start + 5; i + 1 < count && bytes[i] && bytes[i + 1]; ++i) {
        if (bytes[i] == '?' && bytes[i + 1] == '>') {
            end = i;
            break;
        }
    }
    if (end < 0) return false;
    std::string decl(reinterpret_cast<const char*>(bytes) + start,
                     reinterpret_cast<const char*>(bytes) + end);
    for (char& c : decl) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return decl.find("utf-8") != std::string::npos;
}

bool MultiByteToWide(UINT codePage, const char* bytes, int count, std::wstring& out) {
    const int n = MultiByteToWideChar(codePage, 0, bytes, count, nullptr, 0);
    if (n <= 0) return false;
    try {
        std::wstring text(static_cast<size_t>(n), L'\0');
        if (MultiByteToWideChar(codePage, 0, bytes, count, &text[0], n) != n) return false;
        if (count == -1) text.pop_back();
        out.swap(text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool WideToMultiByte(UINT codePage, const wchar_t* text, int count, std::string& out, DWORD flags,
                     BOOL* usedDefault) {
    const int n = WideCharToMultiByte(codePage, flags, text, count, nullptr, 0, nullptr, usedDefault);
    if (n <= 0) return false;
    try {
        std::string bytes(static_cast<size_t>(n), '\0');
        if (WideCharToMultiByte(codePage, flags, text, count, &bytes[0], n, nullptr, usedDefault) != n)
            return false;
        if (count == -1) bytes.pop_back();
        out.swap(bytes);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {
// A converted text as a zero-filled, NUL-terminated buffer.
template <typename Char, typename Text>
std::unique_ptr<Char[]> ToBuffer(const Text& text) {
    std::unique_ptr<Char[]> out(new (std::nothrow) Char[text.size() + 1]());
    if (out) std::copy(text.begin(), text.end(), out.get());
    return out;
}

std::unique_ptr<wchar_t[]> MultiToWide(UINT codePage, const char* bytes, int count) {
    std::wstring text;
    if (!MultiByteToWide(codePage, bytes, count, text)) return nullptr;
    return ToBuffer<wchar_t>(text);
}

// A converted buffer to a string: up to the first NUL (a count of -1 keeps the
// terminator in the conversion; an explicit count may carry embedded NULs,
// which end the text as they would for a C string).
bool AssignText(const std::unique_ptr<wchar_t[]>& text, std::wstring& out) {
    if (!text) return false;
    out.assign(text.get());
    return true;
}
}  // namespace

std::unique_ptr<wchar_t[]> Utf8ToWide(const char* bytes, int count) {
    return MultiToWide(CP_UTF8, bytes, count);
}

std::unique_ptr<wchar_t[]> AnsiToWide(const char* bytes, int count) {
    return MultiToWide(CP_ACP, bytes, count);
}

std::unique_ptr<char[]> WideToUtf8(const wchar_t* text, int count) {
    std::string bytes;
    if (!WideToMultiByte(CP_UTF8, text, count, bytes)) return nullptr;
    return ToBuffer<char>(bytes);
}

std::unique_ptr<char[]> WideToAnsi(const wchar_t* text) {
    std::string bytes;
    if (!WideToMultiByte(CP_ACP, text, -1, bytes)) return nullptr;
    return ToBuffer<char>(bytes);
}

bool DecodeText(const unsigned char* bytes, int length, std::wstring& out) {
    if (!bytes || length <= 0) return false;
    const char* chars = reinterpret_cast<const char*>(bytes);
    if (length > 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        return AssignText(Utf8ToWide(chars + 3, length - 3), out);
    }
    if (length > 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        size_t units = static_cast<size_t>(length - 2) / 2;
        std::wstring text(units, L'\0');
        if (units) std::memcpy(&text[0], bytes + 2, units * 2);
        out.swap(text);
        return true;
    }
    if (DeclaresUtf8(bytes, length)) return AssignText(Utf8ToWide(chars, length), out);
    return AssignText(AnsiToWide(chars, length), out);
}

bool IsUtf8Text(const unsigned char* s, size_t length, bool acceptBom) {
    if (acceptBom && length >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) return true;
    size_t i = 0;
    while (i < length && s[i]) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t need;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
        } else if (c == 0xE0) {
            need = 2;
            lo = 0xA0;
        } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
            need = 2;
        } else if (c == 0xED) {
            need = 2;
            hi = 0x9F;
        } else if (c == 0xF0) {
            need = 3;
            lo = 0x90;
        } else if (c >= 0xF1 && c <= 0xF3) {
            need = 3;
        } else if (c == 0xF4) {
            need = 3;
            hi = 0x8F;
        } else {
            return false;
        }
        if (i + need >= length) return false;  // truncated at the end
        if (s[i + 1] < lo || s[i + 1] > hi) return false;
        for (size_t k = 2; k <= need; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        }
        i += need + 1;
    }
    return true;
}

std::wstring LastErrorText() {
    DWORD code = GetLastError();
    LANGID lang = (PRIMARYLANGID(GetUserDefaultLangID()) == LANG_KOREAN) ? 0x0800 : 0x0409;
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, lang,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const ScopedLocalMemory owner(text);
    wchar_t buffer[64];
    if (n && text) {
        int size = _scwprintf(L"%s (0x%04X)", text, static_cast<unsigned>(code));
        std::wstring result(static_cast<size_t>(size > 0 ? size : 0) + 1, L'\0');
        _snwprintf(&result[0], result.size(), L"%s (0x%04X)", text, static_cast<unsigned>(code));
        result.resize(static_cast<size_t>(size > 0 ? size : 0));
        SetLastError(code);
        return result;
    }
    _snwprintf(buffer, 63, L"0x%04X", static_cast<unsigned>(code));
    buffer[63] = L'\0';
    SetLastError(code);
    return buffer;
}

bool EnsureDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    int result = SHCreateDirectory(nullptr, path.c_str());
    if (result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS) return true;
    SetLastError(static_cast<DWORD>(result));
    Logger::Instance()->Write(L"Failed to SHCreateDirectory (err:%s path:%s)", LastErrorText().c_str(),
                              path.c_str());
    return false;
}

bool IsVistaOrLater() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion >= 6;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // Windows 7 without KB2533623 knows no LOAD_LIBRARY_SEARCH_* flag: the
    // full path, whose own dependencies are then looked for in System32 too.
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(system) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

DWORD GetShellVersion() {
    ScopedModule shell(LoadSystemLibrary(L"shell32.dll"));
    if (!shell) return 0;
    using DllGetVersionFn = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
    auto getVersion = reinterpret_cast<DllGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "DllGetVersion")));
    if (!getVersion) return 0;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (getVersion(&info) < 0) return 0;
    return ((info.dwMajorVersion & 0xFFFF) << 16) | (info.dwMinorVersion & 0xFFFF);
}

std::wstring GetDataRootFolder() {
    std::wstring result;
    if (IsVistaOrLater()) {
        ScopedModule shell(LoadSystemLibrary(L"shell32.dll"));
        if (shell) {
            using KnownFolderFn = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
            auto knownFolder = reinterpret_cast<KnownFolderFn>(
                reinterpret_cast<void*>(GetProcAddress(shell.get(), "SHGetKnownFolderPath")));
            if (knownFolder) {
                static const GUID kLocalLow = {
                    0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};
                PWSTR path = nullptr;
                if (knownFolder(kLocalLow, 0, nullptr, &path) >= 0 && path) result = path;
                if (path) CoTaskMemFree(path);
            }
        }
    }
    if (result.empty() && GetShellVersion() >= 0x50000) {
        wchar_t folder[MAX_PATH] = {};
        if (SHGetSpecialFolderPathW(GetDesktopWindow(), folder, CSIDL_PROGRAM_FILES, TRUE)) result = folder;
    }
    while (!result.empty() && result.back() == L'\\') result.pop_back();
    return result;
}
