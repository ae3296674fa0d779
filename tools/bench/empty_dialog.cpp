// bench_empty_dialog.exe: the floor of the launcher's start-up. It shows the
// launcher's own dialog template and nothing else, and, like the launcher,
// sets a 100 ms timer when the dialog is shown; its first tick signals the
// benchmark's event. It ends when the benchmark closes the dialog.
//
// bench_fetching_dialog.exe URL, built from this file with
// ORVIN_BENCH_FETCHING, first reads URL with plain WinInet calls before the
// dialog shows, as the launcher fetches its startup document: what the first
// request of a fresh process costs. (A separate program, so that the empty
// one does not load WinInet.)

#include <windows.h>
#ifdef ORVIN_BENCH_FETCHING
#include <wininet.h>
#endif

#include "resources/resource.h"
#include "tools/bench/bench_names.h"

namespace {

constexpr UINT_PTR kTimer = 200;
constexpr UINT kPeriodMs = 100;

#ifdef ORVIN_BENCH_FETCHING
void PlainGet(const wchar_t* url) {
    HINTERNET session = ::InternetOpenW(L"bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET request =
        ::InternetOpenUrlW(session, url, nullptr, 0, INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    char buffer[8096];
    DWORD read = 0;
    while (request && ::InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0) {
    }
    if (request) ::InternetCloseHandle(request);
    if (session) ::InternetCloseHandle(session);
}
#endif

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
#ifdef ORVIN_BENCH_FETCHING
            PlainGet(reinterpret_cast<const wchar_t*>(lParam));
#else
            (void)lParam;
#endif
            ::SetWindowTextW(dialog, ORVIN_BENCH_WINDOW_TITLE);
            return TRUE;
        case WM_SHOWWINDOW:
            if (wParam) ::SetTimer(dialog, kTimer, kPeriodMs, nullptr);
            return FALSE;
        case WM_TIMER:
            if (wParam == kTimer && ::IsWindowVisible(dialog)) {
                ::KillTimer(dialog, kTimer);
                if (HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ORVIN_BENCH_EVENT)) {
                    ::SetEvent(event);
                    ::CloseHandle(event);
                }
            }
            return TRUE;
        case WM_CLOSE:
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR url, int) {
    return static_cast<int>(::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ORVINLAUNCHER_DIALOG), nullptr,
                                              DialogProc, reinterpret_cast<LPARAM>(url)));
}
