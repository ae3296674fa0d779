// The progress window: a borderless, topmost picture panel with a progress
// bar, drawn off-screen and shaped with cut corners.

#include <io.h>

#include "app/OrvinLauncherDlg.h"
#include "app/memory_dc.h"
#include "resources/resource.h"

namespace {
constexpr int kClientWidth = 267;
constexpr int kClientHeight = 68;
constexpr int kBarWidth = 246;
constexpr int kBarHeight = 10;
constexpr int kBarLeft = 11;
constexpr int kBarTop = 39;

// The bar's share of the trough. The product is taken in 64 bits and the
// result kept inside the trough, so a large or negative count sent by mistake
// can neither overflow nor draw outside the bar's picture.
int BarWidth(int pos, int total) {
    if (pos == 0) return 0;
    if (pos >= total) return kBarWidth;
    long long width = static_cast<long long>(pos) * kBarWidth / total;
    if (width < 0) return 0;
    return width > kBarWidth ? kBarWidth : static_cast<int>(width);
}
}  // namespace

COrvinLauncherDlg::COrvinLauncherDlg(CWnd* parent)
    : CDialog(IDD_ORVINLAUNCHER_DIALOG, parent),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

COrvinLauncherDlg::~COrvinLauncherDlg() {
    m_strKey.clear();
    m_strModuleName.clear();
    m_bmpBackground.DeleteObject();
    m_bmpProgress.DeleteObject();
}

BOOL COrvinLauncherDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    InitWindowAppearance();
    SetWindowPos(nullptr, 0, 0, kClientWidth, kClientHeight, SWP_NOMOVE | SWP_NOZORDER);
    CenterWindow();
    ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
    SetWindowPos(wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return TRUE;
}

BOOL COrvinLauncherDlg::InitWindowAppearance() {
    HINSTANCE instance = ResourceInstance();
    bool korean = PRIMARYLANGID(::GetUserDefaultLangID()) == LANG_KOREAN;
    m_bmpBackground.LoadBitmap(instance, MAKEINTRESOURCEW(korean ? IDB_BGD_PROG1_NOR : IDB_BGD_PROG2_NOR));
    m_bmpProgress.LoadBitmap(instance, MAKEINTRESOURCEW(IDB_STT_PROG_NOR));

    RunLaunch(true);

    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t drive[_MAX_DRIVE] = {};
    wchar_t dir[_MAX_DIR] = {};
    wchar_t base[_MAX_FNAME] = {};
    wchar_t ext[_MAX_EXT] = {};
    _wsplitpath_s(path, drive, _MAX_DRIVE, dir, _MAX_DIR, base, _MAX_FNAME, ext, _MAX_EXT);

    SetWindowText(m_startup.app_title.empty() ? std::wstring(base) : m_startup.app_title);

    std::wstring iconPath = std::wstring(drive) + dir + base + L".ico";
    if (_waccess(iconPath.c_str(), 0) == 0) {
        HICON icon =
            static_cast<HICON>(::LoadImageW(nullptr, iconPath.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
        if (icon) {
            SetIcon(icon, TRUE);
            SetIcon(icon, FALSE);
            m_fileIcon.reset(icon);
        }
    }
    return TRUE;
}

void COrvinLauncherDlg::DrawProgressWindow(CDC* dc) {
    CDC memory;
    if (!memory.CreateCompatibleDC(dc)) return;
    const ScopedSelectObject background(memory.GetSafeHdc(), m_bmpBackground.GetSafeHandle());
    dc->BitBlt(0, 0, kClientWidth, kClientHeight, &memory, 0, 0, SRCCOPY);
    if (m_nProgressTotal != 0) {
        const int width = BarWidth(m_nProgressPos, m_nProgressTotal);
        const ScopedSelectObject bar(memory.GetSafeHdc(), m_bmpProgress.GetSafeHandle());
        dc->BitBlt(kBarLeft, kBarTop, width, kBarHeight, &memory, 0, 0, SRCCOPY);
    }
}

void COrvinLauncherDlg::OnPaint() {
    CPaintDC paint(m_hWnd);
    RECT client;
    GetClientRect(&client);
    CMemoryDC buffer(&paint, client);
    DrawProgressWindow(buffer.m_bValid ? &buffer.m_dc : static_cast<CDC*>(&paint));
}

void COrvinLauncherDlg::RedrawProgress(bool force) {
    static DWORD lastRedraw = ::GetTickCount();
    DWORD now = ::GetTickCount();
    if (!force && now - lastRedraw <= 100) return;
    lastRedraw = now;
    CClientDC client(m_hWnd);
    RECT rect;
    GetClientRect(&rect);
    CMemoryDC buffer(&client, rect);
    DrawProgressWindow(buffer.m_bValid ? &buffer.m_dc : static_cast<CDC*>(&client));
}

LRESULT COrvinLauncherDlg::OnProgress(WPARAM wParam, LPARAM lParam) {
    m_nProgressPos = static_cast<int>(lParam);
    m_nProgressTotal = static_cast<int>(wParam);
    RedrawProgress(wParam == static_cast<WPARAM>(lParam));
    return 0;
}

void COrvinLauncherDlg::ApplyWindowRegion(int width, int height) {
    if (width < 2 || height < 2) return;
    CRgn region;
    if (!region.CreateRectRgn(0, 0, width, height)) return;
    const POINT corners[12] = {{0, 0},
                               {0, 1},
                               {1, 0},
                               {width - 1, 0},
                               {width - 1, 1},
                               {width - 2, 0},
                               {width - 1, height - 1},
                               {width - 1, height - 2},
                               {width - 2, height - 1},
                               {0, height - 1},
                               {0, height - 2},
                               {1, height - 1}};
    for (const POINT& p : corners) {
        CRgn pixel;
        if (pixel.CreateRectRgn(p.x, p.y, p.x + 1, p.y + 1)) region.CombineRgn(&region, &pixel, RGN_XOR);
    }
    if (::SetWindowRgn(m_hWnd, region.GetSafeHandle(), TRUE)) region.Detach();
}

BOOL COrvinLauncherDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

bool COrvinLauncherDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            result = 0;
            return true;
        case WM_ERASEBKGND:
            result = FALSE;
            return true;
        case WM_LAUNCH_PROGRESS:
            result = OnProgress(wParam, lParam);
            return true;
        case WM_SHOWWINDOW:
            OnShowWindow(static_cast<BOOL>(wParam));
            return false;
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            return false;
        case WM_SIZE:
            ApplyWindowRegion(LOWORD(lParam), HIWORD(lParam));
            return false;
        default:
            return CDialog::OnMessage(message, wParam, lParam, result);
    }
}
