#pragma once
// The process-wide log writer: one time-stamped UTF-16LE record per call,
// appended to the day's file. Never fails its caller.

#include <windows.h>

#include <string>

#include "support/scoped.h"

class Logger {
public:
    // The one writer of the process, made on first use.
    static Logger* Instance();
    // Destroys the writer (shutdown); a later Instance() makes a new one.
    static void Release();

    void SetName(const std::wstring& name);
    void SetFilePath(const std::wstring& path);
    std::wstring GetFilePath();

    // printf-style wide format (%s takes a wide string); one record per call.
    void Write(const wchar_t* format, ...);

    const std::wstring& MutexName() const { return m_mutexName; }

private:
    Logger();
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void ComputeFallbackPath();

    std::wstring m_name;
    std::wstring m_filePath;
    ScopedHandle m_lock;
    std::wstring m_mutexName;
};
