#pragma once
// A borrowed window handle with the few window operations the launcher uses.

#include <windows.h>

#include <string>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Centres over the owner, or over the work area when there is none.
    void CenterWindow(CWnd* alternateOwner = nullptr);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK) {
        return ::MessageBoxW(m_hWnd, text, caption, type);
    }
    void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    HICON SetIcon(HICON icon, BOOL big) {
        return reinterpret_cast<HICON>(
            ::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

    HWND m_hWnd = nullptr;
};

extern const HWND wndTopMost;
