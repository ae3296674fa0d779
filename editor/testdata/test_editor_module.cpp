// A test editor module built from the module contract header. It appends one
// line per call, with its arguments, to the UTF-8 file named by
// ORVIN_TEST_MODULE_LOG and answers as the environment tells it:
//   ORVIN_TEST_MODULE_INIT        "0": Initialize fails
//   ORVIN_TEST_MODULE_WORK        "0": the work entry point fails
//   ORVIN_TEST_MODULE_TEXT        the result text (unset: result left null)
//   ORVIN_TEST_MODULE_FINAL_TEXT  replaces the text during Uninitialize, in
//                                 the same storage (the launcher must read it
//                                 only afterwards)
// Variants leave exports out: ORVIN_TEST_NO_INITIALIZE, ORVIN_TEST_NO_INTERNAL_CALL,
// ORVIN_TEST_NO_WORK, ORVIN_TEST_NO_UNINITIALIZE. ORVIN_TEST_WITH_HELPER links
// a DLL that only the module's own folder holds.

#define ORVIN_EDITOR_MODULE_EXPORTS
#include "sdk/orvin_editor_module.h"

#include <cwchar>
#include <string>

#ifdef ORVIN_TEST_WITH_HELPER
extern "C" __declspec(dllimport) int OrvinTestHelperValue(void);
#endif

namespace {

wchar_t g_text[4096];

bool Environment(const wchar_t* name, std::wstring& value) {
    wchar_t buffer[4096];
    DWORD length = ::GetEnvironmentVariableW(name, buffer, 4096);
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length >= 4096) return false;
    value.assign(buffer, length);
    return true;
}

bool Says(const wchar_t* name, const wchar_t* what) {
    std::wstring value;
    return Environment(name, value) && value == what;
}

std::wstring Text(const wchar_t* s) {
    return s ? std::wstring(s) : std::wstring(L"(null)");
}

void Record(const std::wstring& line) {
    std::wstring path;
    if (!Environment(L"ORVIN_TEST_MODULE_LOG", path) || path.empty()) return;
    std::wstring text = line + L"\n";
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::wstring Number(long long value) {
    return std::to_wstring(value);
}

#ifndef ORVIN_TEST_NO_WORK
// Records the work call, stores the text and answers.
int Work(const std::wstring& line, const wchar_t** result) {
    Record(line + L"|result=" + (result ? (*result ? L"set" : L"null") : L"none"));
    std::wstring text;
    if (result && Environment(L"ORVIN_TEST_MODULE_TEXT", text)) {
        std::wcsncpy(g_text, text.c_str(), 4095);
        g_text[4095] = 0;
        *result = g_text;
    }
    return Says(L"ORVIN_TEST_MODULE_WORK", L"0") ? 0 : 1;
}
#endif

}  // namespace

#ifndef ORVIN_TEST_NO_INITIALIZE
int WINAPI Initialize(HWND owner, const wchar_t* mode, const wchar_t* installPath, const wchar_t* reserved,
                      const wchar_t* configHost) {
    RECT window = {};
    ::GetWindowRect(owner, &window);
    std::wstring line = L"Initialize|owner=" + Number(reinterpret_cast<INT_PTR>(owner)) + L"|" + Text(mode) +
                        L"|" + Text(installPath) + L"|" + Text(reserved) + L"|" + Text(configHost) +
                        L"|window=" + Number(window.left) + L"," + Number(window.top) + L"," +
                        Number(window.right - window.left) + L"," + Number(window.bottom - window.top);
#ifdef ORVIN_TEST_WITH_HELPER
    line += L"|helper=" + Number(OrvinTestHelperValue());
#endif
    Record(line);
    return Says(L"ORVIN_TEST_MODULE_INIT", L"0") ? 0 : 1;
}
#endif

#ifndef ORVIN_TEST_NO_INTERNAL_CALL
void WINAPI InternalCall(const wchar_t* name, const wchar_t* value, const wchar_t* reserved) {
    Record(L"InternalCall|" + Text(name) + L"|" + Text(value) + L"|" + Text(reserved));
}
#endif

#ifndef ORVIN_TEST_NO_WORK
int WINAPI NewWork(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t* rsid, int count,
                   const wchar_t** result) {
    return Work(
        L"NewWork|" + Text(configUrl) + L"|" + Text(editorId) + L"|" + Text(rsid) + L"|" + Number(count),
        result);
}

int WINAPI OpenWork(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t* rsid, int count,
                    const wchar_t** result) {
    return Work(
        L"OpenWork|" + Text(configUrl) + L"|" + Text(editorId) + L"|" + Text(rsid) + L"|" + Number(count),
        result);
}

int WINAPI OpenLocalWork(const wchar_t* lsid, const wchar_t* editorId, const wchar_t** result) {
    return Work(L"OpenLocalWork|" + Text(lsid) + L"|" + Text(editorId), result);
}

int WINAPI OpenStorage(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t** result) {
    return Work(L"OpenStorage|" + Text(configUrl) + L"|" + Text(editorId), result);
}

int WINAPI DownloadWorks(const wchar_t* rsid, const wchar_t* userId, const wchar_t* storageUrl,
                         const wchar_t** result) {
    return Work(L"DownloadWorks|" + Text(rsid) + L"|" + Text(userId) + L"|" + Text(storageUrl), result);
}
#endif

#ifndef ORVIN_TEST_NO_UNINITIALIZE
void WINAPI Uninitialize(void) {
    Record(L"Uninitialize");
    std::wstring text;
    if (Environment(L"ORVIN_TEST_MODULE_FINAL_TEXT", text)) {
        std::wcsncpy(g_text, text.c_str(), 4095);
        g_text[4095] = 0;
    }
}
#endif
