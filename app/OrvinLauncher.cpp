#include "app/OrvinLauncher.h"

#include <cstdio>

#include "app/OrvinLauncherDlg.h"
#include "support/logger.h"
#include "support/platform.h"

void StartDayLog() {
    std::wstring folder = GetDataRootFolder() + L"\\OrvinLauncher\\log\\";
    (void)EnsureDirectory(folder);
    SYSTEMTIME today;
    ::GetLocalTime(&today);
    wchar_t path[MAX_PATH * 2] = {};
    _snwprintf(path, MAX_PATH * 2 - 1, L"%s%04d%02d%02d.log", folder.c_str(), today.wYear, today.wMonth,
               today.wDay);
    Logger* log = Logger::Instance();
    log->SetName(L"OrvinLauncher");
    log->SetFilePath(path);
    log->Write(L" ");
    log->Write(L" ");
    log->Write(L"* 런처 시작 ********************");
}

BOOL COrvinLauncherApp::InitInstance() {
    CWinApp::InitInstance();
    if (!AfxOleInit()) {
        AfxMessageBox(L"AfxOleInit Error!");
        return FALSE;
    }
    StartDayLog();
    {
        COrvinLauncherDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

int COrvinLauncherApp::ExitInstance() {
    Logger::Release();
    return CWinApp::ExitInstance();
}
