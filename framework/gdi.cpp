#include "framework/gdi.h"

CDC::~CDC() { DeleteDC(); }

bool CDC::CreateCompatibleDC(CDC* other) {
    DeleteDC();
    m_owned.reset(::CreateCompatibleDC(other ? other->m_hDC : nullptr));
    m_hDC = m_owned.get();
    return m_owned.valid();
}

void CDC::DeleteDC() {
    m_owned.reset();
    m_hDC = nullptr;
}

CPaintDC::CPaintDC(HWND window) : m_window(window) { m_hDC = ::BeginPaint(window, &m_ps); }

CPaintDC::~CPaintDC() {
    ::EndPaint(m_window, &m_ps);
    m_hDC = nullptr;
}

CClientDC::CClientDC(HWND window) : m_window(window) { m_hDC = ::GetDC(window); }

CClientDC::~CClientDC() {
    if (m_hDC) ::ReleaseDC(m_window, m_hDC);
    m_hDC = nullptr;
}

bool CBitmap::LoadBitmap(HINSTANCE instance, const wchar_t* name) {
    m_object.reset(::LoadBitmapW(instance, name));
    return m_object.valid();
}

bool CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    m_object.reset(::CreateCompatibleBitmap(dc ? dc->GetSafeHdc() : nullptr, width, height));
    return m_object.valid();
}

bool CRgn::CreateRectRgn(int left, int top, int right, int bottom) {
    m_object.reset(::CreateRectRgn(left, top, right, bottom));
    return m_object.valid();
}

int CRgn::CombineRgn(CRgn* a, CRgn* b, int mode) {
    return ::CombineRgn(GetSafeHandle(), a ? a->GetSafeHandle() : nullptr, b ? b->GetSafeHandle() : nullptr,
                        mode);
}
