#include "framework/dialog.h"

#include "framework/winapp.h"

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_parent(parent), m_instance(GetModuleHandleW(nullptr)) {}

CDialog::~CDialog() {
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
    }
    m_hWnd = nullptr;
}

INT_PTR CDialog::DoModal() {
    HWND owner = m_parent ? m_parent->GetSafeHwnd() : nullptr;
    m_modalResult = -1;
    m_continueModal = true;
    HWND hwnd = ::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (!hwnd) {
        m_continueModal = false;
        return -1;
    }
    bool ownerEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerEnabled) ::EnableWindow(owner, FALSE);

    MSG msg;
    while (m_continueModal) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            // WM_QUIT ends the dialog and is passed on to the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            if (m_modalResult == -1) m_modalResult = IDCANCEL;
            break;
        }
        if (!PreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (ownerEnabled) ::EnableWindow(owner, TRUE);
    if (m_hWnd) {
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    return m_modalResult;
}

void CDialog::EndDialog(INT_PTR result) {
    m_modalResult = result;
    m_continueModal = false;
    // Wake the modal loop if it is waiting for a message.
    if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    // The dialog manager turns Enter into IDOK and Escape into IDCANCEL.
    if (m_hWnd && msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) {
        return ::IsDialogMessageW(m_hWnd, msg);
    }
    return FALSE;
}

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&) {
    if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return true;
        }
    }
    return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<CDialog*>(lParam);
            ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            self->m_hWnd = hwnd;
            return self->OnInitDialog();
        }
        auto* self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
        if (!self) return FALSE;
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            return FALSE;
        }
        LRESULT result = 0;
        if (!self->OnMessage(message, wParam, lParam, result)) return FALSE;
        ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}
