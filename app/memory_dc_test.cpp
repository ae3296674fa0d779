// The off-screen surface: what is drawn into it reaches its target only when
// it ends, exactly inside its rectangle.

#include "app/memory_dc.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 40 x 30 white target whose pixels the test can read.
class Target {
public:
    Target() {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_bitmap =
            ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        m_dc.CreateCompatibleDC(nullptr);
        m_old = m_dc.SelectObject(m_bitmap);
        RECT all = {0, 0, kWidth, kHeight};
        ::FillRect(m_dc.GetSafeHdc(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    }
    ~Target() {
        m_dc.SelectObject(m_old);
        ::DeleteObject(m_bitmap);
    }
    DWORD at(int x, int y) {
        ::GdiFlush();
        return m_bits[y * kWidth + x] & 0x00FFFFFF;
    }
    CDC* dc() { return &m_dc; }
    static constexpr int kWidth = 40;
    static constexpr int kHeight = 30;

private:
    CDC m_dc;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    DWORD* m_bits = nullptr;
};

constexpr DWORD kWhite = 0xFFFFFF;
constexpr DWORD kBlack = 0x000000;

void FillBlack(HDC dc, const RECT& rect) {
    ::FillRect(dc, &rect, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

TEST(MemoryDc, DrawingReachesTheTargetWhenItEnds) {
    Target target;
    RECT rect = {0, 0, 40, 30};
    {
        CMemoryDC buffer(target.dc(), rect);
        ASSERT_TRUE(buffer.m_bValid);
        EXPECT_EQ(target.dc(), buffer.m_pDC);
        EXPECT_NE(nullptr, buffer.m_pOldBitmap);
        EXPECT_EQ(static_cast<HGDIOBJ>(buffer.m_bitmap.GetSafeHandle()),
                  ::GetCurrentObject(buffer.m_dc.GetSafeHdc(), OBJ_BITMAP));
        RECT part = {5, 5, 10, 10};
        FillBlack(buffer.m_dc.GetSafeHdc(), part);
        // Off-screen until the end.
        EXPECT_EQ(kWhite, target.at(7, 7));
    }
    EXPECT_EQ(kBlack, target.at(5, 5));
    EXPECT_EQ(kBlack, target.at(9, 9));
    EXPECT_EQ(kBlack, target.at(7, 7));
}

TEST(MemoryDc, WholeRectangleIsCopiedOver) {
    Target target;
    RECT rect = {0, 0, 40, 30};
    {
        CMemoryDC buffer(target.dc(), rect);
        ASSERT_TRUE(buffer.m_bValid);
        RECT all = {0, 0, 40, 30};
        ::FillRect(buffer.m_dc.GetSafeHdc(), &all, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
    }
    for (int y = 0; y < Target::kHeight; ++y) {
        for (int x = 0; x < Target::kWidth; ++x) ASSERT_EQ(0x808080u, target.at(x, y)) << x << "," << y;
    }
}

TEST(MemoryDc, RectangleAwayFromTheOriginUsesTheTargetsCoordinates) {
    Target target;
    RECT rect = {10, 5, 30, 25};
    {
        CMemoryDC buffer(target.dc(), rect);
        ASSERT_TRUE(buffer.m_bValid);
        // Drawn in the target's coordinates: a grey rectangle over the whole
        // area, then black partly outside it.
        ::FillRect(buffer.m_dc.GetSafeHdc(), &rect, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
        RECT part = {20, 15, 35, 28};
        FillBlack(buffer.m_dc.GetSafeHdc(), part);
    }
    EXPECT_EQ(kBlack, target.at(20, 15));
    EXPECT_EQ(kBlack, target.at(29, 24));
    EXPECT_EQ(0x808080u, target.at(19, 15));
    EXPECT_EQ(0x808080u, target.at(10, 5));
    EXPECT_EQ(0x808080u, target.at(29, 14));
    // Clipped to the rectangle.
    EXPECT_EQ(kWhite, target.at(30, 15));
    EXPECT_EQ(kWhite, target.at(20, 25));
    EXPECT_EQ(kWhite, target.at(9, 5));
    // The copy only covers the rectangle: the rest of the target is untouched.
    EXPECT_EQ(kWhite, target.at(5, 3));
    EXPECT_EQ(kWhite, target.at(35, 28));
}

TEST(MemoryDc, NullTargetIsNotValidAndEndsQuietly) {
    RECT rect = {0, 0, 10, 10};
    CMemoryDC buffer(nullptr, rect);
    EXPECT_FALSE(buffer.m_bValid);
}

TEST(MemoryDc, ImpossibleSizeIsNotValid) {
    Target target;
    RECT rect = {10, 10, 0, 0};
    {
        CMemoryDC buffer(target.dc(), rect);
        EXPECT_FALSE(buffer.m_bValid);
    }
    EXPECT_EQ(kWhite, target.at(5, 5));
}

}  // namespace
