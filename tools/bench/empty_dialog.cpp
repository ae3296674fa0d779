// bench_empty_dialog.exe: the floor of the launcher's start-up. It shows the
// launcher's own dialog template and nothing else, and, like the launcher,
// sets a 100 ms timer when the dialog is shown; its first tick signals the
// benchmark's event. It ends when the benchmark closes the dialog.

#include <windows.h>

#include "resources/resource.h"
#include "tools/bench/bench_names.h"

namespace {

constexpr UINT_PTR kTimer = 200;
constexpr UINT kPeriodMs = 100;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
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

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return static_cast<int>(
        ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ORVINLAUNCHER_DIALOG), nullptr, DialogProc, 0));
}
