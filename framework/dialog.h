#pragma once
// A modal dialog on a template resource. DoModal runs its own modal loop that
// offers every message to PreTranslateMessage first; message handlers are
// plain virtuals. No exception leaves the dialog procedure.

#include <windows.h>

#include "framework/wnd.h"

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);
    ~CDialog() override;

    // Shows the dialog and returns the code passed to EndDialog (IDOK,
    // IDCANCEL), or -1 when the dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // True when the message was handled and must not be dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg);

protected:
    // Called for every message after WM_INITDIALOG. Return true when handled;
    // result is then the message's answer. Unhandled messages get the
    // dialog manager's default processing.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HINSTANCE ResourceInstance() const { return m_instance; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    UINT m_templateId;
    CWnd* m_parent;
    HINSTANCE m_instance;
    bool m_continueModal = false;
    INT_PTR m_modalResult = -1;
};
