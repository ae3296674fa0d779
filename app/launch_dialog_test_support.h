#pragma once
// Test-only: the real progress dialog started with a command line of the
// test's choosing instead of the process's own.

#include <string>
#include <utility>

#include "app/OrvinLauncherDlg.h"

class LaunchDialog : public COrvinLauncherDlg {
public:
    explicit LaunchDialog(std::wstring line) : m_line(std::move(line)) {}

protected:
    std::wstring GetLaunchCommandLine() const override { return m_line; }

private:
    std::wstring m_line;
};
