#include "app/OrvinLauncher.h"

#include <cstdio>

#include "app/OrvinLauncherDlg.h"
#include "support/logger.h"
#include "support/platform.h"

namespace {
DWORD g_dllSearchError = 0;
}  // namespace

void RestrictDllSearch() {
    // Looked up: Windows 7 has it only with KB2533623.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto restrict = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!restrict) {
        g_dllSearchError = ERROR_PROC_NOT_FOUND;
    } else if (!restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        g_dllSearchError = ::GetLastError();
    }
}

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
    if (g_dllSearchError != 0) {
        Logger::Instance()->Write(L"*경고 : DLL 검색 경로를 System32로 제한하지 못했습니다. (0x%08x)",
                                  g_dllSearchError);
    }
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
