// SampleEditor.dll: a minimal editor module for OrvinLauncher. It shows a
// small window of its own, owned by the launcher's window, for a few seconds
// (or until the user presses Done or closes it) and returns an edit result.
// It ends on its own, so an unattended run completes.

#define ORVIN_EDITOR_MODULE_EXPORTS
#include "sdk/orvin_editor_module.h"

#include <string>

namespace {

constexpr wchar_t kClassName[] = L"OrvinSampleEditorWindow";
constexpr UINT_PTR kCountdownTimer = 1;
constexpr int kSeconds = 3;
constexpr int kDoneButton = 100;

// The result texts live in static storage: the launcher reads them after
// Uninitialize, before it unloads the module.
constexpr wchar_t kDoneResult[] = L"{\"exit_code\":\"0\",\"uploaded_list\":[\"sample-work\"]}";
constexpr wchar_t kCancelResult[] = L"{\"exit_code\":\"1\",\"uploaded_list\":[]}";

HINSTANCE g_instance = nullptr;
HWND g_owner = nullptr;
bool g_registered = false;
int g_parameters = 0;

struct Session {
    std::wstring task;
    int secondsLeft = kSeconds;
    bool done = false;
    HFONT font = nullptr;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* session = reinterpret_cast<Session*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_CREATE: {
            HWND button =
                ::CreateWindowExW(0, L"BUTTON", L"Done", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 256, 96,
                                  80, 26, window, reinterpret_cast<HMENU>(kDoneButton), g_instance, nullptr);
            if (session && session->font)
                ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(session->font), TRUE);
            ::SetTimer(window, kCountdownTimer, 1000, nullptr);
            return 0;
        }
        case WM_TIMER:
            if (wParam == kCountdownTimer && session) {
                if (--session->secondsLeft <= 0) {
                    session->done = true;
                    ::DestroyWindow(window);
                } else {
                    ::InvalidateRect(window, nullptr, TRUE);
                }
            }
            return 0;
        case WM_COMMAND:
            // Enter reaches here as IDOK, Escape as IDCANCEL.
            if ((LOWORD(wParam) == kDoneButton || LOWORD(wParam) == IDOK) && session) {
                session->done = true;
                ::DestroyWindow(window);
            } else if (LOWORD(wParam) == IDCANCEL) {
                ::DestroyWindow(window);
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(window, &paint);
            HGDIOBJ oldFont = session && session->font ? ::SelectObject(dc, session->font) : nullptr;
            ::SetBkMode(dc, TRANSPARENT);
            RECT text = {16, 14, 340, 90};
            std::wstring message = L"Sample editor\n\nTask: " + (session ? session->task : std::wstring()) +
                                   L"\nLaunch parameters received: " + std::to_wstring(g_parameters) +
                                   L"\nCloses by itself in " +
                                   std::to_wstring(session ? session->secondsLeft : 0) + L" s.";
            ::DrawTextW(dc, message.c_str(), -1, &text, DT_LEFT | DT_TOP | DT_NOPREFIX);
            if (oldFont) ::SelectObject(dc, oldFont);
            ::EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            ::KillTimer(window, kCountdownTimer);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

// Shows the window and runs its loop until it is gone; true when it ended
// by Done or by the countdown, false when the user closed it.
bool RunEditorWindow(const std::wstring& task) {
    Session session;
    session.task = task;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        session.font = ::CreateFontIndirectW(&metrics.lfMessageFont);
    }

    RECT area = {0, 0, 1024, 768};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width = 360;
    const int height = 170;
    HWND window = ::CreateWindowExW(
        WS_EX_DLGMODALFRAME, kClassName, L"Sample editor", WS_POPUP | WS_CAPTION | WS_SYSMENU,
        area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2,
        width, height, g_owner, nullptr, g_instance, &session);
    if (!window) {
        if (session.font) ::DeleteObject(session.font);
        return false;
    }
    // Modal towards the launcher's window, as the "modal" mode asks.
    const bool ownerEnabled = g_owner && ::IsWindowEnabled(g_owner);
    if (ownerEnabled) ::EnableWindow(g_owner, FALSE);
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::SetForegroundWindow(window);

    MSG msg;
    while (::IsWindow(window)) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the launcher's loop
            ::DestroyWindow(window);
            break;
        }
        if (got == -1) break;
        if (!::IsDialogMessageW(window, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (ownerEnabled) ::EnableWindow(g_owner, TRUE);
    if (session.font) ::DeleteObject(session.font);
    return session.done;
}

int Work(const std::wstring& task, const wchar_t** result) {
    const bool done = RunEditorWindow(task);
    if (result) *result = done ? kDoneResult : kCancelResult;
    return done ? 1 : 0;
}

std::wstring Text(const wchar_t* s) {
    return s ? s : L"";
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

int WINAPI Initialize(HWND owner, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*) {
    g_owner = owner;
    g_parameters = 0;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = g_instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    g_registered = ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return g_registered ? 1 : 0;
}

void WINAPI InternalCall(const wchar_t*, const wchar_t*, const wchar_t*) {
    ++g_parameters;
}

int WINAPI NewWork(const wchar_t*, const wchar_t* editorId, const wchar_t* rsid, int count,
                   const wchar_t** result) {
    return Work(L"new work, editor " + Text(editorId) + L", " + Text(rsid) + L" x" + std::to_wstring(count),
                result);
}

int WINAPI OpenWork(const wchar_t*, const wchar_t* editorId, const wchar_t* rsid, int count,
                    const wchar_t** result) {
    return Work(L"open work, editor " + Text(editorId) + L", " + Text(rsid) + L" x" + std::to_wstring(count),
                result);
}

int WINAPI OpenLocalWork(const wchar_t* lsid, const wchar_t* editorId, const wchar_t** result) {
    return Work(L"open local work " + Text(lsid) + L", editor " + Text(editorId), result);
}

int WINAPI OpenStorage(const wchar_t*, const wchar_t* editorId, const wchar_t** result) {
    return Work(L"open storage, editor " + Text(editorId), result);
}

int WINAPI DownloadWorks(const wchar_t* rsid, const wchar_t* userId, const wchar_t*, const wchar_t** result) {
    return Work(L"download works " + Text(rsid) + L" for " + Text(userId), result);
}

void WINAPI Uninitialize(void) {
    if (g_registered) ::UnregisterClassW(kClassName, g_instance);
    g_registered = false;
    g_owner = nullptr;
}
