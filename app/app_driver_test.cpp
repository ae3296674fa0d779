// The launch driver inside the real dialog, and the whole executable's start
// and end: command-line handling, notice boxes, the timer run and its result.

#include <gtest/gtest.h>

#include "app/OrvinLauncherDlg.h"
#include "support/logger.h"
#include "testing/test_support.h"

using testing_support::BoxAnswerer;
using testing_support::TempDir;

namespace {

const wchar_t kNotice[] = L"사이트에서 상품을 주문하실수 있습니다.";
const wchar_t kNoProtocol[] = L"*오류 : 프로토콜 문자열을 찾지 못했습니다.";
const wchar_t kNoInformation[] = L"*오류 : 실행에 관련된 정보가 정상적으로 설정되어있지 않습니다.";
const wchar_t kBadArguments[] = L"*오류 : 명령 인수값이 올바르지 않습니다. (";
const wchar_t kUpdateFailed[] = L"*오류 : 모듈 업데이트에 실패 했습니다.";

size_t Count(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

class ScriptedDialog : public COrvinLauncherDlg {
public:
    explicit ScriptedDialog(std::wstring line) : m_line(std::move(line)) {}
    BOOL OnInitDialog() override {
        BOOL result = COrvinLauncherDlg::OnInitDialog();
        for (const MSG& m : m_post) ::PostMessageW(m_hWnd, m.message, m.wParam, m.lParam);
        return result;
    }
    std::vector<MSG> m_post;

protected:
    std::wstring GetLaunchCommandLine() const override { return m_line; }

private:
    std::wstring m_line;
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = dir / L"run.log";
        Logger::Instance()->SetFilePath(log);
    }
    void TearDown() override { Logger::Release(); }
    std::wstring Log() { return testing_support::ReadLogFile(log); }
    // Runs the dialog with a command line; returns its result.
    INT_PTR Run(const std::wstring& line, BoxAnswerer* boxes = nullptr) {
        ScriptedDialog dialog(line);
        INT_PTR result = dialog.DoModal();
        (void)boxes;
        return result;
    }
    TempDir dir;
    std::wstring log;
};

TEST_F(DriverTest, QuotedProtocolTextLosesItsClosingQuote) {
    EXPECT_EQ(IDCANCEL, Run(L"\"C:\\app\\OrvinLauncher.exe\" \"orvin://key=K&svr=S\""));
    std::wstring text = Log();
    // The startup step recorded the key before its download failed, so the
    // timer's run does not repeat it and goes on to the module update.
    EXPECT_EQ(1u, Count(text, std::wstring(kBadArguments) + L"key=K&svr=S)"))
        << testing_support::WideToUtf8String(text);
    EXPECT_EQ(1u, Count(text, kUpdateFailed));
}

TEST_F(DriverTest, WithoutAKeyTheTimerRunRepeatsTheStartupStep) {
    EXPECT_EQ(IDCANCEL, Run(L"x orvin://svr=S"));
    std::wstring text = Log();
    EXPECT_EQ(2u, Count(text, std::wstring(kBadArguments) + L"svr=S)"))
        << testing_support::WideToUtf8String(text);
    EXPECT_EQ(0u, Count(text, kUpdateFailed));
}

TEST_F(DriverTest, TwoTrailingQuotesKeepTheSecondToLast) {
    EXPECT_EQ(IDCANCEL, Run(L"x orvin://key=K&svr=S\"\""));
    EXPECT_EQ(1u, Count(Log(), std::wstring(kBadArguments) + L"key=K&svr=S\")"));
}

TEST_F(DriverTest, FirstSeparatorCounts) {
    EXPECT_EQ(IDCANCEL, Run(L"x a://key=K&svr=http://h/"));
    EXPECT_EQ(1u, Count(Log(), std::wstring(kBadArguments) + L"key=K&svr=http://h/)"));
}

TEST_F(DriverTest, SeparatorAtTheEndIsAMissingProtocolAndShowsTheNoticeTwice) {
    BoxAnswerer boxes(IDOK);
    EXPECT_EQ(IDCANCEL, Run(L"\"C:\\app\\OrvinLauncher.exe\" orvin://"));
    std::wstring text = Log();
    EXPECT_EQ(2u, Count(text, kNoProtocol));
    EXPECT_EQ(0u, Count(text, kBadArguments));
    EXPECT_EQ(2, boxes.Count());
    for (const std::wstring& shown : boxes.Texts()) EXPECT_EQ(kNotice, shown);
}

TEST_F(DriverTest, NoSeparatorAtAll) {
    BoxAnswerer boxes(IDOK);
    EXPECT_EQ(IDCANCEL, Run(L"\"C:\\app\\OrvinLauncher.exe\""));
    EXPECT_EQ(2u, Count(Log(), kNoProtocol));
    EXPECT_EQ(2, boxes.Count());
}

TEST_F(DriverTest, EmptyCommandLine) {
    BoxAnswerer boxes(IDOK);
    EXPECT_EQ(IDCANCEL, Run(L""));
    EXPECT_EQ(2u, Count(Log(), kNoInformation));
    EXPECT_EQ(2, boxes.Count());
}

TEST_F(DriverTest, KeysAndForeignTimersDoNotEndOrRestartTheRun) {
    ScriptedDialog dialog(L"x orvin://key=K&svr=S");
    dialog.m_strKey = L"K";  // the startup step is skipped
    auto message = [](UINT m, WPARAM w) {
        MSG msg = {};
        msg.message = m;
        msg.wParam = w;
        return msg;
    };
    dialog.m_post = {message(WM_KEYDOWN, VK_RETURN), message(WM_KEYDOWN, VK_ESCAPE), message(WM_TIMER, 999)};
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    std::wstring text = Log();
    // The run happened exactly once, from the launch timer, and got as far
    // as the module update.
    EXPECT_EQ(0u, Count(text, kBadArguments));
    EXPECT_EQ(1u, Count(text, kUpdateFailed)) << testing_support::WideToUtf8String(text);
}

TEST(Launcher, StartRecordsGoToTheDayLogAndAMissingProtocolEndsTheRun) {
    std::wstring log = testing_support::DayLogPath();
    size_t before = testing_support::LogSize(log);
    BoxAnswerer boxes(IDOK, /*anyProcess=*/true);
    std::wstring exe = testing_support::ExecutableFolder() + L"OrvinLauncher.exe";
    DWORD code = 0;
    ASSERT_TRUE(testing_support::RunProcess(L"\"" + exe + L"\" \"orvin://\"", 240000, &code));
    std::wstring text = testing_support::ReadLogSince(log, before);
    size_t start = text.find(L"  \r\n");
    ASSERT_NE(std::wstring::npos, start) << testing_support::WideToUtf8String(text);
    // " ", " ", then the start record, each behind its time stamp.
    std::wstring records = text.substr(start);
    EXPECT_NE(std::wstring::npos, records.find(L"  \r\n"));
    EXPECT_EQ(1u, Count(text, L"* 런처 시작 ********************\r\n"));
    EXPECT_EQ(2u, Count(text, kNoProtocol));
    EXPECT_EQ(2, boxes.Count());
    EXPECT_EQ(5u, Count(text, L"\r\n")) << testing_support::WideToUtf8String(text);
}

}  // namespace
