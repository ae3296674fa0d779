#pragma once
// An off-screen drawing surface that copies itself to its target when it is
// destroyed (double buffering for the progress window).

#include <windows.h>

#include "framework/gdi.h"

class CMemoryDC {
public:
    CMemoryDC(CDC* target, const RECT& rect);
    virtual ~CMemoryDC();
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    CDC* m_pDC;
    BOOL m_bValid = FALSE;
    CDC m_dc;
    CBitmap m_bitmap;
    HGDIOBJ m_pOldBitmap = nullptr;
    RECT m_rect;
};
