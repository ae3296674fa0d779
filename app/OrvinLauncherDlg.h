#pragma once
// The progress dialog. It is the launcher's only window and carries the run:
// the launch driver (RunLaunch) runs inside its handlers.

#include <windows.h>

#include <string>

#include "framework/dialog.h"
#include "framework/gdi.h"
#include "launch/startup_file_xml.h"
#include "update/module_installer.h"

constexpr UINT_PTR IDT_LAUNCH = 200;
constexpr UINT kLaunchTimerPeriod = 100;

class COrvinLauncherDlg : public CDialog {
public:
    explicit COrvinLauncherDlg(CWnd* parent = nullptr);
    ~COrvinLauncherDlg() override;

    // With bPrepareOnly the run stops after the startup step; otherwise the
    // whole run from the command line to the browser.
    bool RunLaunch(bool bPrepareOnly);

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    void DrawProgressWindow(CDC* dc);
    void RedrawProgress(bool force);
    void ApplyWindowRegion(int width, int height);

    HICON m_hIcon;
    CBitmap m_bmpBackground;
    CBitmap m_bmpProgress;
    int m_nProgressPos = 0;
    int m_nProgressTotal = 0;
    startup_file_xml m_startup;
    std::wstring m_strKey;
    std::wstring m_strModuleName;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // The process command line; tests give the dialog one of their own.
    virtual std::wstring GetLaunchCommandLine() const;

    BOOL InitWindowAppearance();
    LRESULT OnProgress(WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void OnShowWindow(BOOL show);
    void OnTimer(UINT_PTR id);

private:
    bool RunLaunchSteps(bool bPrepareOnly);
    void ShowNotice();
    // Set while the timer's run is in progress: a module that hides and shows
    // its owner, or a tick pumped by a long step, must not start a second run.
    bool m_bRunInProgress = false;
    ScopedIcon m_fileIcon;
};
