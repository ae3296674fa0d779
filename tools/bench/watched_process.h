#pragma once
// A program started as the shell starts it (CreateProcess with its command
// line) and watched only from outside: when its window titled
// ORVIN_BENCH_WINDOW_TITLE becomes visible, when it signals the benchmark's
// event, and its peak working set as the system reports it.

#include <windows.h>

#include <string>

// Seconds on the performance counter.
double Now();

struct WatchRequest {
    std::wstring commandLine;
    // The benchmark's event (manual reset; reset here before the start), or
    // null when nothing is to be signalled.
    HANDLE signal = nullptr;
    // Post WM_CLOSE to the window once it is visible and the event (if any)
    // has come: a program that would otherwise wait for the user.
    bool closeWhenDone = false;
    // Read the peak working set every this many milliseconds while the
    // program runs (0: only once, when the window shows and at the event).
    DWORD samplePeriodMs = 0;
    DWORD timeoutMs = 300000;
};

struct WatchResult {
    bool ended = false;     // the program ended within the time limit
    double visible = -1;    // seconds from CreateProcess to the window visible
    double signalled = -1;  // seconds from CreateProcess to the event
    double peakMb = 0;      // the last PeakWorkingSetSize read, in MiB
    DWORD exitCode = 0;
};

WatchResult RunWatched(const WatchRequest& request);
