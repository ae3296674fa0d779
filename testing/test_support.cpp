#include "testing/test_support.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <atomic>
#include <chrono>
#include <cstdio>

namespace testing_support {

bool ThreadsUnreliable() {
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(L"ORVIN_I386_EMULATED", value, 8) > 0 && value[0] == L'1';
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static std::atomic<unsigned> counter{0};
    for (;;) {
        wchar_t name[64];
        _snwprintf(name, 63, L"orvin-%lu-%u-%lu", GetCurrentProcessId(), counter++, GetTickCount());
        name[63] = 0;
        std::wstring candidate = std::wstring(base) + name;
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate + L"\\";
            return;
        }
    }
}

TempDir::~TempDir() {
    RemoveTree(m_path);
}

void RemoveTree(const std::wstring& folder) {
    // An empty or relative name (a fixture whose set-up stopped before it
    // named its folder) would empty the working folder: the checkout itself.
    if (folder.empty() || PathIsRelativeW(folder.c_str())) return;
    std::wstring root = folder;
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((root + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = root + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(root.c_str());
}

std::vector<unsigned char> ReadFileBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        bytes.resize(read);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = size == 0 || WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

bool WriteFileText(const std::wstring& path, const std::string& bytes) {
    return WriteFileBytes(path, bytes.data(), bytes.size());
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Utf8ToWideString(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string WideToUtf8String(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring ExecutableFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder;
}

std::wstring DayLogPath() {
    PWSTR root = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppDataLow, 0, nullptr, &root)) && root) folder = root;
    if (root) CoTaskMemFree(root);
    SYSTEMTIME today;
    GetLocalTime(&today);
    wchar_t name[32];
    _snwprintf(name, 31, L"%04d%02d%02d.log", today.wYear, today.wMonth, today.wDay);
    name[31] = 0;
    return folder + L"\\OrvinLauncher\\log\\" + name;
}

std::wstring ReadLogFile(const std::wstring& path) {
    return ReadLogSince(path, 0);
}

size_t LogSize(const std::wstring& path) {
    return ReadFileBytes(path).size();
}

std::wstring ReadLogSince(const std::wstring& path, size_t offset) {
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    if (offset < 2) offset = 2;  // the byte-order mark
    if (bytes.size() <= offset) return std::wstring();
    size_t units = (bytes.size() - offset) / 2;
    std::wstring text(units, L'\0');
    memcpy(&text[0], bytes.data() + offset, units * 2);
    return text;
}

HANDLE StartProcess(const std::wstring& commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

bool FinishProcess(HANDLE process, DWORD timeoutMs, DWORD* exitCode) {
    if (!process) return false;
    bool finished = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    if (!finished) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    if (exitCode) GetExitCodeProcess(process, exitCode);
    CloseHandle(process);
    return finished;
}

bool RunProcess(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode) {
    return FinishProcess(StartProcess(commandLine), timeoutMs, exitCode);
}

BoxAnswerer::BoxAnswerer(int button, bool anyProcess) : BoxAnswerer(std::vector<int>{button}, anyProcess) {}

BoxAnswerer::BoxAnswerer(const std::vector<int>& buttons, bool anyProcess) {
    host::Message request, reply;
    request.PutU32(static_cast<uint32_t>(host::Op::NewBoxAnswerer));
    request.PutU32(anyProcess ? 0 : GetCurrentProcessId());
    request.PutU32(static_cast<uint32_t>(buttons.size()));
    for (int button : buttons) request.PutU32(static_cast<uint32_t>(button));
    uint32_t id = 0;
    if (CallTestHost(request, &reply) && reply.GetU32(&id)) m_id = id;
}

int BoxAnswerer::Count() const {
    host::Message request = Request(host::Op::BoxCount), reply;
    uint32_t count = 0;
    return CallTestHost(request, &reply) && reply.GetU32(&count) ? static_cast<int>(count) : 0;
}

std::vector<std::wstring> BoxAnswerer::Texts() const {
    host::Message request = Request(host::Op::BoxTexts), reply;
    std::vector<std::wstring> texts;
    uint32_t count = 0;
    if (!CallTestHost(request, &reply) || !reply.GetU32(&count)) return texts;
    for (uint32_t i = 0; i < count; ++i) {
        std::wstring text;
        if (!reply.GetWide(&text)) break;
        texts.push_back(std::move(text));
    }
    return texts;
}

}  // namespace testing_support
