#include "framework/winapp.h"

#include <ole2.h>

#include <string>

namespace {
CWinApp* g_app = nullptr;
bool g_oleInitialised = false;
}  // namespace

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return ExitInstance();
}

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain() {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    int code = app->InitInstance() ? app->Run() : app->ExitInstance();
    if (g_oleInitialised) {
        ::OleUninitialize();
        g_oleInitialised = false;
    }
    return code;
}

BOOL AfxOleInit() {
    if (g_oleInitialised) return TRUE;
    if (FAILED(::OleInitialize(nullptr))) return FALSE;
    g_oleInitialised = true;
    return TRUE;
}

int AfxMessageBox(const wchar_t* text, UINT type) {
    HWND owner = (g_app && g_app->m_pMainWnd) ? g_app->m_pMainWnd->GetSafeHwnd() : nullptr;
    wchar_t title[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, title, MAX_PATH);
    const wchar_t* base = title;
    for (const wchar_t* p = title; *p; ++p) {
        if (*p == L'\\' || *p == L'/') base = p + 1;
    }
    std::wstring caption(base);
    size_t dot = caption.rfind(L'.');
    if (dot != std::wstring::npos) caption.resize(dot);
    return ::MessageBoxW(owner, text, caption.c_str(), type);
}
