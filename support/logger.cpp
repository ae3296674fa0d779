#include "support/logger.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/crt_random.h"

namespace {
Logger* g_logger = nullptr;

class LastErrorKeeper {
public:
    LastErrorKeeper() : m_error(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(m_error); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD m_error;
};

class LockGuard {
public:
    explicit LockGuard(HANDLE lock) : m_lock(lock) {
        if (m_lock) WaitForSingleObject(m_lock, INFINITE);
    }
    ~LockGuard() {
        if (m_lock) ReleaseMutex(m_lock);
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    HANDLE m_lock;
};

std::wstring FormatV(const wchar_t* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = _vscwprintf(format, copy);
    va_end(copy);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    _vsnwprintf(buffer.data(), buffer.size(), format, args);
    return std::wstring(buffer.data(), static_cast<size_t>(length));
}

// Other launcher processes write the same day's file: it is shared for
// writing, and a holder that does not share (a scanner, an older launcher)
// is waited for briefly before the record is given up.
ScopedHandle OpenShared(const std::wstring& path) {
    constexpr int kTries = 50;
    constexpr DWORD kPauseMs = 20;
    for (int attempt = 1;; ++attempt) {
        ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr));
        if (file || attempt == kTries || GetLastError() != ERROR_SHARING_VIOLATION) return file;
        Sleep(kPauseMs);
    }
}

// One record at the file's end, whole, even with another process appending:
// the byte-order mark decision and the write happen under a lock on a byte
// far beyond any log's end (so readers of the text are never refused), which
// every launcher process takes and the system releases with the handle.
void AppendRecord(HANDLE file, const std::wstring& record) {
    OVERLAPPED region = {};
    region.Offset = 0;
    region.OffsetHigh = 0x7FFFFFFF;
    const bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region) != FALSE;
    DWORD written = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_END) == 0) {
        static const unsigned char bom[2] = {0xFF, 0xFE};
        WriteFile(file, bom, 2, &written, nullptr);
    }
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    if (locked) UnlockFileEx(file, 0, 1, 0, &region);
}
}  // namespace

Logger* Logger::Instance() {
    if (!g_logger) g_logger = new Logger();
    return g_logger;
}

void Logger::Release() {
    delete g_logger;
    g_logger = nullptr;
}

Logger::Logger() {
    // The mutex name only has to be unique to the process: tick count plus
    // three draws from the runtime generator seeded with the tick count.
    crt_srand(GetTickCount());
    unsigned r1 = crt_rand();
    unsigned r2 = crt_rand();
    unsigned r3 = crt_rand();
    wchar_t name[64];
    _snwprintf(name, 63, L"_mutex_%08X-%04x%04x%06x", static_cast<unsigned>(GetTickCount()), r3 % 0xFFFF,
               r2 % 0xFFFF, r1 % 0xFFFFFF);
    name[63] = L'\0';
    m_mutexName = name;
    m_lock.reset(CreateMutexW(nullptr, FALSE, m_mutexName.c_str()));
}

Logger::~Logger() {
    m_name.clear();
    m_filePath.clear();
}

void Logger::SetName(const std::wstring& name) { m_name = name; }

void Logger::SetFilePath(const std::wstring& path) {
    LockGuard guard(m_lock.get());
    m_filePath = path;
}

std::wstring Logger::GetFilePath() {
    LockGuard guard(m_lock.get());
    return m_filePath;
}

void Logger::ComputeFallbackPath() {
    wchar_t module[520] = {};
    GetModuleFileNameW(nullptr, module, 520);
    wchar_t drive[3] = {};
    wchar_t dir[256] = {};
    _wsplitpath_s(module, drive, 3, dir, 256, nullptr, 0, nullptr, 0);
    std::wstring folder = std::wstring(drive) + dir + L"\\log\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t path[520] = {};
    _snwprintf(path, 519, L"%s%s_%04d%02d%02d.log", folder.c_str(), m_name.c_str(), now.wYear, now.wMonth,
               now.wDay);
    LockGuard guard(m_lock.get());
    m_filePath = path;
}

void Logger::Write(const wchar_t* format, ...) {
    // Callers log a failure and then read or report its last error; writing
    // the record (which opens a file) must not change it.
    const LastErrorKeeper keepError;
    LockGuard guard(m_lock.get());
    if (m_filePath.empty()) ComputeFallbackPath();

    va_list args;
    va_start(args, format);
    std::wstring message = FormatV(format, args);
    va_end(args);
    message += L"\r\n";

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[16];
    _snwprintf(stamp, 15, L"%02d:%02d:%02d ", now.wHour, now.wMinute, now.wSecond);
    stamp[15] = L'\0';
    std::wstring record = stamp + message;

    ScopedHandle file = OpenShared(m_filePath);
    if (!file) return;
    AppendRecord(file.get(), record);
}
