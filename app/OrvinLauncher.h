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

// Points the process-wide log at <data root>\OrvinLauncher\log\YYYYMMDD.log
// and writes the start records.
void StartDayLog();
