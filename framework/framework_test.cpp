// The framework layer's own logic: the modal loop, message pre-translation,
// the message pump and the file finder.

#include <gtest/gtest.h>

#include <set>

#include "framework/dialog.h"
#include "framework/file_find.h"
#include "framework/message_pump.h"
#include "resources/resource.h"
#include "testing/test_support.h"

namespace {

constexpr UINT kEndWith = WM_APP + 1;

// Records what passes through the loop and ends on request.
class ProbeDialog : public CDialog {
public:
    ProbeDialog() : CDialog(IDD_ORVINLAUNCHER_DIALOG, nullptr) {}
    BOOL OnInitDialog() override {
        initialised = true;
        for (UINT m : posted) ::PostMessageW(m_hWnd, m, 0, 0);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message >= WM_APP) seen.push_back(msg->message);
        if (swallowKeys && msg->message == WM_KEYDOWN) return TRUE;
        return CDialog::PreTranslateMessage(msg);
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == kEndWith) {
            EndDialog(static_cast<INT_PTR>(wParam));
            return true;
        }
        if (message >= WM_APP) handled.push_back(message);
        return CDialog::OnMessage(message, wParam, lParam, result);
    }
    bool initialised = false;
    bool swallowKeys = false;
    std::vector<UINT> posted;
    std::vector<UINT> seen;
    std::vector<UINT> handled;
};

TEST(ModalLoop, EveryMessageMeetsPreTranslateFirstAndEndDialogReturnsTheCode) {
    ProbeDialog dialog;
    dialog.posted = {WM_APP + 10, WM_APP + 11};
    // The end request is queued after the probes.
    dialog.posted.push_back(kEndWith);
    INT_PTR result = dialog.DoModal();
    EXPECT_TRUE(dialog.initialised);
    EXPECT_EQ(0, result);  // wParam of the end request
    ASSERT_EQ(3u, dialog.seen.size());
    EXPECT_EQ(WM_APP + 10, dialog.seen[0]);
    EXPECT_EQ(WM_APP + 11, dialog.seen[1]);
    EXPECT_EQ((std::vector<UINT>{WM_APP + 10, WM_APP + 11}), dialog.handled);
    EXPECT_EQ(nullptr, dialog.GetSafeHwnd());
}

class KeyDialog : public ProbeDialog {
public:
    BOOL OnInitDialog() override {
        ::PostMessageW(m_hWnd, WM_KEYDOWN, key, 0);
        ::PostMessageW(m_hWnd, kEndWith, 77, 0);
        return TRUE;
    }
    WPARAM key = VK_ESCAPE;
};

TEST(ModalLoop, EscapeAndEnterEndAPlainDialogUnlessPreTranslateSwallowsThem) {
    KeyDialog escape;
    escape.key = VK_ESCAPE;
    EXPECT_EQ(IDCANCEL, escape.DoModal());
    KeyDialog enter;
    enter.key = VK_RETURN;
    EXPECT_EQ(IDOK, enter.DoModal());
    KeyDialog swallowed;
    swallowed.swallowKeys = true;
    EXPECT_EQ(77, swallowed.DoModal());
}

TEST(ModalLoop, MissingTemplateFails) {
    class Missing : public CDialog {
    public:
        Missing() : CDialog(9999, nullptr) {}
    } dialog;
    EXPECT_EQ(-1, dialog.DoModal());
}

int g_dispatched = 0;

LRESULT CALLBACK CountingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_APP) ++g_dispatched;
    return DefWindowProcW(h, m, w, l);
}

TEST(PumpMessages, DispatchesUntilQuitAndDropsIt) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    int& dispatched = g_dispatched;
    dispatched = 0;
    WNDCLASSW cls = {};
    cls.lpfnWndProc = CountingProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"PumpProbe";
    RegisterClassW(&cls);
    HWND window = CreateWindowW(L"PumpProbe", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    PostMessageW(window, WM_APP, 0, 0);
    PostMessageW(window, WM_APP, 0, 0);
    PostQuitMessage(3);
    PumpMessages();
    EXPECT_EQ(2, dispatched);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    PostMessageW(window, WM_APP, 0, 0);
    PumpMessages();
    EXPECT_EQ(3, dispatched);
    DestroyWindow(window);
}

TEST(CFileFind, VisitsEveryEntryIncludingTheLast) {
    testing_support::TempDir dir;
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) {
        ASSERT_TRUE(testing_support::WriteFileText(dir / name, "x"));
    }
    CreateDirectoryW((dir / L"sub").c_str(), nullptr);
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(dir / L"*.*"));
    std::set<std::wstring> files;
    std::set<std::wstring> folders;
    BOOL more = TRUE;
    while (more) {
        more = finder.FindNextFile();
        if (finder.IsDots()) continue;
        (finder.IsDirectory() ? folders : files).insert(finder.GetFilePath());
    }
    EXPECT_EQ((std::set<std::wstring>{dir / L"a.txt", dir / L"b.txt", dir / L"c.txt"}), files);
    EXPECT_EQ((std::set<std::wstring>{dir / L"sub"}), folders);
    CFileFind none;
    EXPECT_FALSE(none.FindFile(dir / L"nothing*"));
}

}  // namespace
