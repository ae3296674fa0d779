// The progress window as the user sees it: the real dialog under a real
// display, its pixels read back from the screen and compared with the
// resource pictures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/OrvinLauncherDlg.h"
#include "framework/message_pump.h"
#include "resources/resource.h"
#include "support/logger.h"
#include "testing/test_support.h"

using testing_support::TempDir;

namespace {

constexpr int kWidth = 267;
constexpr int kHeight = 68;
constexpr int kBarWidth = 246;
constexpr int kBarHeight = 10;
constexpr int kBarLeft = 11;
constexpr int kBarTop = 39;
constexpr INT_PTR kProbeDone = 4242;

// The throttle's clock is process-wide and starts with the first progress
// message; the test that watches that start must send the process's first.
bool g_progressSent = false;

// 32-bit pixels, top-down, alpha cleared.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;
    DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Picture LoadResourcePicture(int id) {
    Picture picture;
    HBITMAP bitmap = static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                                       IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) return picture;
    BITMAP info = {};
    ::GetObjectW(bitmap, sizeof(info), &info);
    picture.width = info.bmWidth;
    picture.height = info.bmHeight;
    picture.pixels.resize(static_cast<size_t>(picture.width) * picture.height);
    BITMAPINFO format = TopDown32(picture.width, picture.height);
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, picture.height, picture.pixels.data(), &format, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(bitmap);
    for (DWORD& p : picture.pixels) p &= 0x00FFFFFF;
    return picture;
}

const Picture& ResourcePicture(int id) {
    static const Picture korean = LoadResourcePicture(IDB_BGD_PROG1_NOR);
    static const Picture english = LoadResourcePicture(IDB_BGD_PROG2_NOR);
    static const Picture bar = LoadResourcePicture(IDB_STT_PROG_NOR);
    return id == IDB_BGD_PROG1_NOR ? korean : id == IDB_BGD_PROG2_NOR ? english : bar;
}

// What the client area must show with a bar of `barWidth` pixels.
Picture Expected(int backgroundId, int barWidth) {
    Picture picture = ResourcePicture(backgroundId);
    const Picture& bar = ResourcePicture(IDB_STT_PROG_NOR);
    for (int y = 0; y < kBarHeight; ++y) {
        for (int x = 0; x < barWidth; ++x) {
            picture.pixels[static_cast<size_t>(kBarTop + y) * kWidth + kBarLeft + x] = bar.at(x, y);
        }
    }
    return picture;
}

// The client area as it is on the screen, with the window's region: pixels
// outside it show whatever lies behind the window and are not compared.
struct Shown : Picture {
    std::vector<bool> inRegion;
};

Shown CaptureClient(HWND window) {
    // Wine hands drawing to the X server when the thread finds its queue
    // empty; a look for a message that never comes does that without
    // dispatching anything.
    MSG none;
    ::PeekMessageW(&none, nullptr, WM_APP + 0x3FFF, WM_APP + 0x3FFF, PM_NOREMOVE);
    Shown picture;
    RECT client;
    ::GetClientRect(window, &client);
    picture.width = client.right;
    picture.height = client.bottom;
    POINT origin = {0, 0};
    ::ClientToScreen(window, &origin);
    BITMAPINFO format = TopDown32(picture.width, picture.height);
    HDC screen = ::GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ old = ::SelectObject(memory, dib);
    ::BitBlt(memory, 0, 0, picture.width, picture.height, screen, origin.x, origin.y, SRCCOPY);
    ::GdiFlush();
    const DWORD* source = static_cast<const DWORD*>(bits);
    picture.pixels.assign(source, source + static_cast<size_t>(picture.width) * picture.height);
    for (DWORD& p : picture.pixels) p &= 0x00FFFFFF;
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(dib);
    ::ReleaseDC(nullptr, screen);

    picture.inRegion.assign(picture.pixels.size(), true);
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    if (::GetWindowRgn(window, region) != ERROR) {
        for (int y = 0; y < picture.height; ++y) {
            for (int x = 0; x < picture.width; ++x) {
                picture.inRegion[static_cast<size_t>(y) * picture.width + x] =
                    ::PtInRegion(region, x, y) != FALSE;
            }
        }
    }
    ::DeleteObject(region);
    return picture;
}

// Number of pixels of the window (inside its region) that differ.
int Differences(const Shown& shown, const Picture& expected) {
    if (shown.width != expected.width || shown.height != expected.height) return -1;
    int count = 0;
    for (size_t i = 0; i < shown.pixels.size(); ++i) {
        if (shown.inRegion[i] && shown.pixels[i] != expected.pixels[i]) ++count;
    }
    return count;
}

// The width of the bar in a picture, or -1 when it shows anything but the
// background with a bar of some width from the trough's left end.
int BarWidthIn(const Shown& shown, int backgroundId) {
    for (int width = 0; width <= kBarWidth; ++width) {
        if (Differences(shown, Expected(backgroundId, width)) == 0) return width;
    }
    return -1;
}

int ShownBarWidth(HWND window, int backgroundId) {
    return BarWidthIn(CaptureClient(window), backgroundId);
}

// The client area once the screen shows `expected`, or as it shows it after a
// second. On a busy machine the screen can lag behind the window's drawing
// (the X server takes the window's pixels in its own time), so one look at an
// older picture must not decide a check.
Shown CaptureOnceShown(HWND window, const Picture& expected) {
    Shown shown = CaptureClient(window);
    for (DWORD start = ::GetTickCount();
         Differences(shown, expected) != 0 && ::GetTickCount() - start < 1000;) {
        ::Sleep(20);
        shown = CaptureClient(window);
    }
    return shown;
}

::testing::AssertionResult ShowsBar(HWND window, int backgroundId, int width) {
    Picture expected = Expected(backgroundId, width);
    Shown shown = CaptureOnceShown(window, expected);
    if (Differences(shown, expected) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the bar shown is " << BarWidthIn(shown, backgroundId) << " pixels wide, not " << width;
}

bool KoreanUser() {
    return PRIMARYLANGID(::GetUserDefaultLangID()) == LANG_KOREAN;
}
int ExpectedBackground() {
    return KoreanUser() ? IDB_BGD_PROG1_NOR : IDB_BGD_PROG2_NOR;
}

void SendProgress(HWND window, WPARAM total, LPARAM pos) {
    g_progressSent = true;
    ::SendMessageW(window, WM_LAUNCH_PROGRESS, total, pos);
}

// Leaves the throttle's 100 ms behind so that the next message is drawn.
void PastThrottle() {
    ::Sleep(130);
}

// The real dialog with a command line of its own and a launch key already
// recorded, so the startup step is skipped; the launch timer's first tick
// runs the test body instead of the run and ends the dialog.
class ProbeDialog : public COrvinLauncherDlg {
public:
    explicit ProbeDialog(std::function<void(ProbeDialog&)> body) : m_body(std::move(body)) {
        m_strKey = L"test-key";
    }
    std::vector<UINT_PTR> m_postKeys;
    bool m_timerWhileVisible = false;

protected:
    std::wstring GetLaunchCommandLine() const override {
        return L"\"C:\\Orvin\\OrvinLauncher.exe\" \"orvin://key=test-key&svr=http://127.0.0.1:9/\"";
    }
    BOOL OnInitDialog() override {
        BOOL result = COrvinLauncherDlg::OnInitDialog();
        for (UINT_PTR key : m_postKeys) ::PostMessageW(m_hWnd, WM_KEYDOWN, key, 1);
        return result;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_TIMER && wParam == IDT_LAUNCH) {
            KillTimer(IDT_LAUNCH);
            m_timerWhileVisible = IsWindowVisible() != FALSE;
            ::UpdateWindow(m_hWnd);
            PumpMessages();
            if (m_body) m_body(*this);
            EndDialog(kProbeDone);
            result = 0;
            return true;
        }
        return COrvinLauncherDlg::OnMessage(message, wParam, lParam, result);
    }

private:
    std::function<void(ProbeDialog&)> m_body;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        Logger::Instance()->SetFilePath(dir / L"window.log");
    }
    void TearDown() override { Logger::Release(); }
    INT_PTR Run(ProbeDialog& dialog) {
        INT_PTR result = dialog.DoModal();
        EXPECT_TRUE(dialog.m_timerWhileVisible);
        return result;
    }
    TempDir dir;
};

// Must stay the first test of this executable (see g_progressSent).
TEST_F(WindowTest, FirstProgressMessageWithTwoValuesIsNotDrawnAtOnce) {
    ASSERT_FALSE(g_progressSent) << "this case needs the process's first progress message";
    ProbeDialog dialog([](ProbeDialog& d) {
        const int background = ExpectedBackground();
        ASSERT_TRUE(ShowsBar(d.m_hWnd, background, 0));
        SendProgress(d.m_hWnd, 10, 3);
        // Stored, but the throttle's clock started with this very message.
        EXPECT_EQ(3, d.m_nProgressPos);
        EXPECT_EQ(10, d.m_nProgressTotal);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0));

        PastThrottle();
        SendProgress(d.m_hWnd, 10, 3);
        DWORD drawn = ::GetTickCount();
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 73));

        // Right after a draw another message with two values waits...
        SendProgress(d.m_hWnd, 10, 6);
        int width = ShownBarWidth(d.m_hWnd, background);
        if (::GetTickCount() - drawn < 90) {
            EXPECT_EQ(73, width);
        }
        // ...but equal values are drawn at once.
        SendProgress(d.m_hWnd, 10, 10);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 246));
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

TEST_F(WindowTest, BarWidthFollowsPositionAndTotal) {
    ProbeDialog dialog([](ProbeDialog& d) {
        const int background = ExpectedBackground();
        SendProgress(d.m_hWnd, 0, 0);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0)) << "(0,0) is the background only";
        PastThrottle();
        SendProgress(d.m_hWnd, 10, 0);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0)) << "position 0";
        PastThrottle();
        SendProgress(d.m_hWnd, 10, 3);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 73)) << "3 of 10 is 73.8, truncated";
        PastThrottle();
        SendProgress(d.m_hWnd, 10, 15);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 246)) << "above the total";
        SendProgress(d.m_hWnd, 0, 0);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0));
        SendProgress(d.m_hWnd, 7, 7);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 246)) << "(N,N) at once";
        PastThrottle();
        SendProgress(d.m_hWnd, 1000, 999);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 245));
        PastThrottle();
        SendProgress(d.m_hWnd, 1000, 1);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0)) << "0.246 truncates to nothing";
        // A later paint shows the last values through the paint path.
        ::InvalidateRect(d.m_hWnd, nullptr, FALSE);
        ::UpdateWindow(d.m_hWnd);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0));
        PastThrottle();
        SendProgress(d.m_hWnd, 4, 1);
        ::InvalidateRect(d.m_hWnd, nullptr, FALSE);
        ::UpdateWindow(d.m_hWnd);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 61));
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

TEST_F(WindowTest, CountsBeyondTheRangeStayInsideTheTrough) {
    ProbeDialog dialog([](ProbeDialog& d) {
        const int background = ExpectedBackground();
        // 1,500,000,000 x 246 does not fit in 32 bits.
        PastThrottle();
        SendProgress(d.m_hWnd, 2000000000, 1500000000);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 184));
        PastThrottle();
        SendProgress(d.m_hWnd, 10, -4);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 0));
        PastThrottle();
        SendProgress(d.m_hWnd, static_cast<WPARAM>(-10), -40);
        EXPECT_TRUE(ShowsBar(d.m_hWnd, background, 246));
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

TEST_F(WindowTest, BackgroundFollowsTheUserLanguage) {
    ProbeDialog dialog([](ProbeDialog& d) {
        const int expected = ExpectedBackground();
        const int other = expected == IDB_BGD_PROG1_NOR ? IDB_BGD_PROG2_NOR : IDB_BGD_PROG1_NOR;
        Shown shown = CaptureOnceShown(d.m_hWnd, Expected(expected, 0));
        EXPECT_EQ(0, Differences(shown, Expected(expected, 0)));
        // The two panels differ in their captions, so the check can tell them apart.
        EXPECT_GT(Differences(shown, Expected(other, 0)), 100);
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

bool WriteBmp(const std::wstring& path, const Picture& picture) {
    const size_t rowBytes = static_cast<size_t>((picture.width * 3 + 3) & ~3);
    std::vector<unsigned char> data(rowBytes * picture.height, 0);
    for (int y = 0; y < picture.height; ++y) {
        unsigned char* row = data.data() + rowBytes * (picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x) {
            DWORD p = picture.at(x, y);
            row[x * 3] = static_cast<unsigned char>(p & 0xFF);
            row[x * 3 + 1] = static_cast<unsigned char>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<unsigned char>((p >> 16) & 0xFF);
        }
    }
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + data.size());
    info.biSize = sizeof(info);
    info.biWidth = picture.width;
    info.biHeight = picture.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(data.size());
    std::vector<unsigned char> bytes(reinterpret_cast<unsigned char*>(&file),
                                     reinterpret_cast<unsigned char*>(&file) + sizeof(file));
    bytes.insert(bytes.end(), reinterpret_cast<unsigned char*>(&info),
                 reinterpret_cast<unsigned char*>(&info) + sizeof(info));
    bytes.insert(bytes.end(), data.begin(), data.end());
    return testing_support::WriteFileBytes(path, bytes.data(), bytes.size());
}

// Leaves a picture of the window at 3/10 beside the build for a person to
// look at: <build>/screenshots/progress-<language>.bmp.
TEST_F(WindowTest, ScreenshotAtThreeTenths) {
    ProbeDialog dialog([](ProbeDialog& d) {
        SendProgress(d.m_hWnd, 10, 10);
        PastThrottle();
        SendProgress(d.m_hWnd, 10, 3);
        Picture expected = Expected(ExpectedBackground(), 73);
        Shown shown = CaptureOnceShown(d.m_hWnd, expected);
        ASSERT_EQ(0, Differences(shown, expected));
        std::wstring folder = testing_support::ExecutableFolder() + L"..\\screenshots\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring path = folder + (KoreanUser() ? L"progress-ko.bmp" : L"progress-en.bmp");
        EXPECT_TRUE(WriteBmp(path, shown));
        // Header and 68 rows of 801 bytes padded to 804.
        EXPECT_EQ(54u + 804u * 68u, testing_support::ReadFileBytes(path).size());
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

TEST_F(WindowTest, RegionCutsThreePixelsAtEachCorner) {
    ProbeDialog dialog([](ProbeDialog& d) {
        auto regionPixels = [&](RECT* box) {
            HRGN region = ::CreateRectRgn(0, 0, 0, 0);
            long long pixels = -1;
            if (::GetWindowRgn(d.m_hWnd, region) != ERROR) {
                DWORD size = ::GetRegionData(region, 0, nullptr);
                std::vector<unsigned char> buffer(size);
                auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
                if (size && ::GetRegionData(region, size, data)) {
                    pixels = 0;
                    const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
                    for (DWORD i = 0; i < data->rdh.nCount; ++i) {
                        pixels += static_cast<long long>(rects[i].right - rects[i].left) *
                                  (rects[i].bottom - rects[i].top);
                    }
                    if (box) ::GetRgnBox(region, box);
                }
            }
            ::DeleteObject(region);
            return pixels;
        };
        auto inside = [&](int x, int y) {
            HRGN region = ::CreateRectRgn(0, 0, 0, 0);
            bool in = ::GetWindowRgn(d.m_hWnd, region) != ERROR && ::PtInRegion(region, x, y);
            ::DeleteObject(region);
            return in;
        };
        RECT client;
        d.GetClientRect(&client);
        EXPECT_EQ(kWidth, client.right);
        EXPECT_EQ(kHeight, client.bottom);
        EXPECT_EQ(kWidth * kHeight - 12, regionPixels(nullptr));
        const int w = kWidth;
        const int h = kHeight;
        const POINT cut[12] = {{0, 0},         {0, 1},     {1, 0},         {w - 1, 0},
                               {w - 1, 1},     {w - 2, 0}, {w - 1, h - 1}, {w - 1, h - 2},
                               {w - 2, h - 1}, {0, h - 1}, {0, h - 2},     {1, h - 1}};
        for (const POINT& p : cut) EXPECT_FALSE(inside(p.x, p.y)) << p.x << "," << p.y;
        const POINT kept[8] = {{1, 1}, {w - 2, 1}, {w - 2, h - 2}, {1, h - 2},
                               {2, 0}, {w - 3, 0}, {0, 2},         {w - 1, h - 3}};
        for (const POINT& p : kept) EXPECT_TRUE(inside(p.x, p.y)) << p.x << "," << p.y;

        // Every resize rebuilds it; sizes below 2 keep the last one.
        d.SetWindowPos(nullptr, 0, 0, 100, 40, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(100 * 40 - 12, regionPixels(nullptr));
        d.SetWindowPos(nullptr, 0, 0, 1, 1, SWP_NOMOVE | SWP_NOZORDER);
        RECT box = {};
        EXPECT_EQ(100 * 40 - 12, regionPixels(&box));
        EXPECT_EQ(100, box.right);
        EXPECT_FALSE(inside(0, 0)) << "the 1x1 window's only pixel is cut";
        d.SetWindowPos(nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(kWidth * kHeight - 12, regionPixels(nullptr));
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

TEST_F(WindowTest, BorderlessTopmostCentredWithoutTaskbarButton) {
    ProbeDialog dialog([](ProbeDialog& d) {
        LONG_PTR ex = ::GetWindowLongPtrW(d.m_hWnd, GWL_EXSTYLE);
        EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
        EXPECT_FALSE(ex & WS_EX_APPWINDOW);
        EXPECT_TRUE(ex & WS_EX_TOPMOST);
        LONG_PTR style = ::GetWindowLongPtrW(d.m_hWnd, GWL_STYLE);
        EXPECT_FALSE(style & WS_CAPTION);
        EXPECT_TRUE(style & WS_POPUP);
        RECT window;
        ::GetWindowRect(d.m_hWnd, &window);
        EXPECT_EQ(kWidth, window.right - window.left);
        EXPECT_EQ(kHeight, window.bottom - window.top);
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        ::GetMonitorInfoW(::MonitorFromWindow(d.m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& area = monitor.rcWork;
        EXPECT_LE(std::abs((window.left + window.right) - (area.left + area.right)), 2);
        EXPECT_LE(std::abs((window.top + window.bottom) - (area.top + area.bottom)), 2);
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
}

std::wstring ExecutableBaseName() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

TEST_F(WindowTest, EmptyTitleGivesTheExecutableBaseName) {
    std::wstring text;
    ProbeDialog dialog([&](ProbeDialog& d) { text = d.GetWindowText(); });
    EXPECT_EQ(kProbeDone, Run(dialog));
    EXPECT_EQ(ExecutableBaseName(), text);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(std::wstring::npos, text.find(L".exe"));
}

TEST_F(WindowTest, TitleComesFromTheStartupDocument) {
    std::wstring text;
    ProbeDialog dialog([&](ProbeDialog& d) { text = d.GetWindowText(); });
    dialog.m_startup.app_title = L"포토북 편집기";
    EXPECT_EQ(kProbeDone, Run(dialog));
    EXPECT_EQ(L"포토북 편집기", text);
}

TEST_F(WindowTest, ResourceIconWithoutAnIconFile) {
    ASSERT_FALSE(
        testing_support::FileExists(testing_support::ExecutableFolder() + ExecutableBaseName() + L".ico"));
    HICON big = nullptr;
    HICON small = nullptr;
    HICON resource = nullptr;
    ProbeDialog dialog([&](ProbeDialog& d) {
        resource = d.m_hIcon;
        big = reinterpret_cast<HICON>(::SendMessageW(d.m_hWnd, WM_GETICON, ICON_BIG, 0));
        small = reinterpret_cast<HICON>(::SendMessageW(d.m_hWnd, WM_GETICON, ICON_SMALL, 0));
    });
    EXPECT_EQ(kProbeDone, Run(dialog));
    ASSERT_NE(nullptr, resource);
    EXPECT_EQ(resource, big);
    EXPECT_EQ(resource, small);
}

TEST_F(WindowTest, EnterAndEscapeDoNotEndTheDialog) {
    ProbeDialog dialog(nullptr);
    dialog.m_postKeys = {VK_RETURN, VK_ESCAPE, VK_RETURN};
    EXPECT_EQ(kProbeDone, Run(dialog));
}

// The same keys without the override reach the dialog manager and end a
// dialog, so the case above can tell the difference.
class UnguardedDialog : public ProbeDialog {
public:
    UnguardedDialog() : ProbeDialog(nullptr) {}
    BOOL PreTranslateMessage(MSG* msg) override { return CDialog::PreTranslateMessage(msg); }
};

TEST_F(WindowTest, EscapeWouldEndAnUnguardedDialog) {
    UnguardedDialog dialog;
    dialog.m_postKeys = {VK_ESCAPE};
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
}

// A solid 32 x 32 icon file of one colour.
std::vector<unsigned char> SolidIconFile(COLORREF color) {
    const int size = 32;
    std::vector<unsigned char> bytes;
    auto put16 = [&](unsigned v) {
        bytes.push_back(static_cast<unsigned char>(v & 0xFF));
        bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    };
    auto put32 = [&](DWORD v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const DWORD imageBytes = 40 + size * size * 4 + size * 4;
    put16(0);
    put16(1);  // icon
    put16(1);  // one image
    bytes.push_back(size);
    bytes.push_back(size);
    bytes.push_back(0);
    bytes.push_back(0);
    put16(1);
    put16(32);
    put32(imageBytes);
    put32(6 + 16);
    put32(40);
    put32(size);
    put32(size * 2);  // colour and mask
    put16(1);
    put16(32);
    put32(BI_RGB);
    put32(size * size * 4 + size * 4);
    put32(0);
    put32(0);
    put32(0);
    put32(0);
    for (int i = 0; i < size * size; ++i) {
        bytes.push_back(GetBValue(color));
        bytes.push_back(GetGValue(color));
        bytes.push_back(GetRValue(color));
        bytes.push_back(0xFF);
    }
    bytes.insert(bytes.end(), size * 4, 0);  // mask: all opaque
    return bytes;
}

constexpr COLORREF kFileIconColor = RGB(200, 30, 160);

COLORREF IconCentre(HICON icon) {
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    RECT all = {0, 0, 32, 32};
    ::FillRect(memory, &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::DrawIconEx(memory, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    COLORREF centre = ::GetPixel(memory, 16, 16);
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return centre;
}

// An icon file beside the running executable, with its base name, for as
// long as the object lives. (The rule reads the executable's own path; the
// test suites of one build run one after the other, so no other run sees it.)
class IconFileBesideExecutable {
public:
    IconFileBesideExecutable()
        : m_path(testing_support::ExecutableFolder() + ExecutableBaseName() + L".ico") {}
    ~IconFileBesideExecutable() { ::DeleteFileW(m_path.c_str()); }
    bool Write(const std::vector<unsigned char>& bytes) {
        return testing_support::WriteFileBytes(m_path, bytes.data(), bytes.size());
    }

private:
    std::wstring m_path;
};

struct IconsShown {
    HICON resource = nullptr;
    HICON big = nullptr;
    HICON small = nullptr;
    COLORREF centre = 0;
};

IconsShown ShowDialogIcons() {
    IconsShown shown;
    ProbeDialog dialog([&](ProbeDialog& d) {
        shown.resource = d.m_hIcon;
        shown.big = reinterpret_cast<HICON>(::SendMessageW(d.m_hWnd, WM_GETICON, ICON_BIG, 0));
        shown.small = reinterpret_cast<HICON>(::SendMessageW(d.m_hWnd, WM_GETICON, ICON_SMALL, 0));
        shown.centre = IconCentre(shown.big);
    });
    EXPECT_EQ(kProbeDone, dialog.DoModal());
    return shown;
}

TEST_F(WindowTest, IconFileBesideTheExecutableReplacesTheResourceIcon) {
    IconFileBesideExecutable file;
    ASSERT_TRUE(file.Write(SolidIconFile(kFileIconColor)));
    IconsShown shown = ShowDialogIcons();
    ASSERT_NE(nullptr, shown.resource);
    EXPECT_NE(shown.resource, shown.big);
    EXPECT_EQ(shown.big, shown.small);
    EXPECT_EQ(kFileIconColor, shown.centre);
}

TEST_F(WindowTest, UnreadableIconFileLeavesTheResourceIcon) {
    IconFileBesideExecutable file;
    std::string junk = "not an icon";
    ASSERT_TRUE(file.Write(std::vector<unsigned char>(junk.begin(), junk.end())));
    IconsShown shown = ShowDialogIcons();
    ASSERT_NE(nullptr, shown.resource);
    EXPECT_EQ(shown.resource, shown.big);
    EXPECT_EQ(shown.resource, shown.small);
    EXPECT_NE(kFileIconColor, shown.centre);
}

}  // namespace
