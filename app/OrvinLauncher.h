#pragma once
// The application object: names the day's log, runs the progress dialog
// modally and releases the log writer at the end.

#include <string>

#include "framework/winapp.h"

class COrvinLauncherApp : public CWinApp {
public:
    COrvinLauncherApp() = default;
    ~COrvinLauncherApp() override = default;

    BOOL InitInstance() override;
    int ExitInstance() override;
};

// The program's first act: DLLs loaded by name from now on (the delay-loaded
// imports among them) come from System32 only, not from the program's folder.
// A failure is recorded once the day's log has started.
void RestrictDllSearch();

// Points the process-wide log at <data root>\OrvinLauncher\log\YYYYMMDD.log
// and writes the start records.
void StartDayLog();
