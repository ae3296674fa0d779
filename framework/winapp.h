#pragma once
// The application object: one global instance whose InitInstance runs the
// process's work; ExitInstance is called when it returns FALSE.

#include <windows.h>

#include "framework/wnd.h"

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    // Message loop for applications whose InitInstance returned TRUE.
    virtual int Run();

    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// Runs the registered application object; the entry point calls this.
int AfxWinMain();
// Initialises the object library (OLE) for the thread; uninitialised at exit.
BOOL AfxOleInit();
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK);
