#pragma once
// Helpers shared by the tests: temporary folders, files, the day's log, child
// processes and message boxes answered through the real box.

#include <windows.h>

#include <string>
#include <vector>

#include "testing/test_host_client.h"

namespace testing_support {

// True where 32-bit Wine runs under qemu's user-mode emulator, whose thread
// support is not reliable: tests that start threads skip themselves there.
bool ThreadsUnreliable();

// A fresh folder under the temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // The folder, ending with a backslash.
    const std::wstring& path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

// Does nothing for an empty or relative name.
void RemoveTree(const std::wstring& folder);
std::vector<unsigned char> ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);
bool WriteFileText(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);
std::wstring Utf8ToWideString(const std::string& text);
std::string WideToUtf8String(const std::wstring& text);

// The folder that holds the running test executable, ending with a backslash.
std::wstring ExecutableFolder();

// The launcher's day log: <LocalLow>\OrvinLauncher\log\YYYYMMDD.log.
std::wstring DayLogPath();
// The log's text (UTF-16LE after its byte-order mark), empty when missing.
std::wstring ReadLogFile(const std::wstring& path);
// The records written since the log had `offset` bytes (use LogSize() before).
size_t LogSize(const std::wstring& path);
std::wstring ReadLogSince(const std::wstring& path, size_t offset);

// Starts a program with a whole command line and waits for it (false on
// time-out, after which the process is killed).
bool RunProcess(const std::wstring& commandLine, DWORD timeoutMs, DWORD* exitCode = nullptr);
// The same in two steps, for programs that run side by side: the started
// process's handle (null when it could not start), then the wait, which
// closes the handle (a time-out of 0 kills the process at once).
HANDLE StartProcess(const std::wstring& commandLine);
bool FinishProcess(HANDLE process, DWORD timeoutMs, DWORD* exitCode = nullptr);

// Answers message boxes (dialog class #32770) of this process, or of any
// process, through the test host: the k-th box gets buttons[k] (IDOK, IDYES,
// IDNO...), the last one again for every box after. Records the text of each
// box answered.
class BoxAnswerer : public HostedObject {
public:
    explicit BoxAnswerer(int button, bool anyProcess = false);
    explicit BoxAnswerer(const std::vector<int>& buttons, bool anyProcess = false);
    ~BoxAnswerer() = default;

    int Count() const;
    std::vector<std::wstring> Texts() const;
};

}  // namespace testing_support
