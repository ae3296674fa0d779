#include "tools/bench/watched_process.h"

#include <psapi.h>

#include <algorithm>

#include "support/scoped.h"
#include "tools/bench/bench_names.h"

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

namespace {

// Polling for the window: often enough to time a start to the millisecond,
// seldom enough to leave the cores to the program being watched.
constexpr DWORD kWindowPollMs = 1;

HWND VisibleWindowOf(DWORD processId) {
    HWND window = ::FindWindowW(nullptr, ORVIN_BENCH_WINDOW_TITLE);
    if (!window || !::IsWindowVisible(window)) return nullptr;
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    return owner == processId ? window : nullptr;
}

// The peak read while the process still exists: once it has ended the system
// may no longer report it, so the last good reading is kept.
void ReadPeak(HANDLE process, double& peakMb) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (::GetProcessMemoryInfo(process, &counters, sizeof(counters)) && counters.PeakWorkingSetSize > 0)
        peakMb = std::max(peakMb, static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0);
}

}  // namespace

WatchResult RunWatched(const WatchRequest& request) {
    WatchResult result;
    if (request.signal) ::ResetEvent(request.signal);
    std::wstring command = request.commandLine;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const double start = Now();
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return result;
    const ScopedHandle process(pi.hProcess), thread(pi.hThread);
    HWND window = nullptr;
    bool closed = false;
    const ULONGLONG deadline = ::GetTickCount64() + request.timeoutMs;
    for (;;) {
        if (request.samplePeriodMs) ReadPeak(pi.hProcess, result.peakMb);
        if (!window && (window = VisibleWindowOf(pi.dwProcessId)) != nullptr) {
            result.visible = Now() - start;
            ReadPeak(pi.hProcess, result.peakMb);
        }
        if (request.closeWhenDone && window && !closed && (!request.signal || result.signalled >= 0)) {
            ReadPeak(pi.hProcess, result.peakMb);
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            closed = true;
        }
        if (::GetTickCount64() > deadline) break;
        // Until the window shows it is polled; after that the event and the
        // end are waited for, waking at once when either comes.
        const DWORD wait = !window ? kWindowPollMs : request.samplePeriodMs ? request.samplePeriodMs : 1000;
        HANDLE handles[2] = {pi.hProcess, request.signal};
        const bool waitSignal = request.signal && result.signalled < 0;
        const DWORD woke = ::WaitForMultipleObjects(waitSignal ? 2 : 1, handles, FALSE, wait);
        if (woke == WAIT_OBJECT_0 + 1) {
            result.signalled = Now() - start;
            ReadPeak(pi.hProcess, result.peakMb);
        } else if (woke == WAIT_OBJECT_0) {
            result.ended = true;
            break;
        }
    }
    if (!result.ended) ::TerminateProcess(pi.hProcess, 1);
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::GetExitCodeProcess(pi.hProcess, &result.exitCode);
    return result;
}
