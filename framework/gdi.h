#pragma once
// Device contexts, bitmaps and regions in the shape the dialog code expects:
// CDC owns a memory DC (DeleteDC) or borrows one; CPaintDC and CClientDC end
// their painting or release their window DC; CBitmap and CRgn own their
// object (DeleteObject).

#include <windows.h>

#include "support/scoped.h"

class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    // A memory DC compatible with another (or with the screen for null).
    bool CreateCompatibleDC(CDC* other);
    void DeleteDC();
    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int sx, int sy, DWORD rop) {
        return ::BitBlt(m_hDC, x, y, width, height, source ? source->m_hDC : nullptr, sx, sy, rop);
    }

protected:
    HDC m_hDC = nullptr;
    // Set only for a DC this object made; painting and client DCs are
    // borrowed and given back by their own classes.
    ScopedMemoryDc m_owned;
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(HWND window);
    ~CPaintDC() override;
    const PAINTSTRUCT& PaintStruct() const { return m_ps; }

private:
    HWND m_window;
    PAINTSTRUCT m_ps = {};
};

class CClientDC : public CDC {
public:
    explicit CClientDC(HWND window);
    ~CClientDC() override;

private:
    HWND m_window;
};

class CBitmap {
public:
    CBitmap() = default;
    ~CBitmap() = default;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    HBITMAP GetSafeHandle() const { return static_cast<HBITMAP>(m_object.get()); }
    bool LoadBitmap(HINSTANCE instance, const wchar_t* name);
    bool CreateCompatibleBitmap(CDC* dc, int width, int height);
    void DeleteObject() { m_object.reset(); }

private:
    ScopedGdiObject m_object;
};

class CRgn {
public:
    CRgn() = default;
    CRgn(const CRgn&) = delete;
    CRgn& operator=(const CRgn&) = delete;

    HRGN GetSafeHandle() const { return static_cast<HRGN>(m_object.get()); }
    bool CreateRectRgn(int left, int top, int right, int bottom);
    int CombineRgn(CRgn* a, CRgn* b, int mode);
    // The region now belongs to someone else (SetWindowRgn).
    HRGN Detach() { return static_cast<HRGN>(m_object.release()); }

private:
    ScopedGdiObject m_object;
};
