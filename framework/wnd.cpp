#include "framework/wnd.h"

#include <vector>

const HWND wndTopMost = HWND_TOPMOST;

std::wstring CWnd::GetWindowText() const {
    int length = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    return buffer.data();
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    HWND owner = alternateOwner ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
    RECT area;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &area);
    } else {
        HMONITOR monitor = ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (monitor && ::GetMonitorInfoW(monitor, &info)) {
            area = info.rcWork;
        } else {
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        }
    }
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) {
    LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE);
    LONG_PTR updated = (style & ~static_cast<LONG_PTR>(remove)) | static_cast<LONG_PTR>(add);
    if (style == updated) return FALSE;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, updated);
    if (flags) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    }
    return TRUE;
}
