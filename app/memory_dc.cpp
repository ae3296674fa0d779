#include "app/memory_dc.h"

CMemoryDC::CMemoryDC(CDC* target, const RECT& rect) : m_pDC(target), m_rect(rect) {
    if (m_dc.CreateCompatibleDC(target) &&
        m_bitmap.CreateCompatibleBitmap(target, rect.right - rect.left, rect.bottom - rect.top)) {
        m_bValid = TRUE;
        m_pOldBitmap = m_dc.SelectObject(m_bitmap.GetSafeHandle());
        // The bitmap starts at the rectangle's corner: drawing in the target's
        // coordinates lands in it, and the copy back reads the same spot.
        ::SetWindowOrgEx(m_dc.GetSafeHdc(), rect.left, rect.top, nullptr);
    }
}

CMemoryDC::~CMemoryDC() {
    if (m_bValid) {
        if (m_pDC) {
            m_pDC->BitBlt(m_rect.left, m_rect.top, m_rect.right - m_rect.left, m_rect.bottom - m_rect.top,
                          &m_dc, m_rect.left, m_rect.top, SRCCOPY);
        }
        m_dc.SelectObject(m_pOldBitmap);
    }
    m_bitmap.DeleteObject();
    m_dc.DeleteDC();
}
