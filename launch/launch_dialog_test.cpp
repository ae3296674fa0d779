// The startup step inside the real progress dialog: the dialog's own
// preparation run and timer run against the loopback server.

#include <gtest/gtest.h>

#include <string>

#include "app/OrvinLauncherDlg.h"
#include "framework/message_pump.h"
#include "support/logger.h"
#include "support/platform.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"

using testing_support::HttpAnswer;
using testing_support::HttpTestServer;

namespace {

const wchar_t kStart[] = L"* 실행준비 시작 ********************";
const wchar_t kBadArguments[] = L"*오류 : 명령 인수값이 올바르지 않습니다. (";
const wchar_t kUpdateFailed[] = L"*오류 : 모듈 업데이트에 실패 했습니다.";
const wchar_t kFormat[] = L"* 오류: startup.xml의 포멧이 올바르지 않습니다. (url:";
const wchar_t kDownloadFailed[] = L"* 오류: startup.xml을 다운로드 하지 못했습니다. (url:";
const wchar_t kMissing[] = L"*오류 : 명령 인수값이 올바르지 않습니다. key, svr 값이 없습니다.";

size_t Count(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string Narrow(const std::wstring& text) {
    return testing_support::WideToUtf8String(text);
}

class CommandLineDialog : public COrvinLauncherDlg {
public:
    explicit CommandLineDialog(std::wstring line) : m_line(std::move(line)) {}
    std::wstring m_title;  // the window's title when the launch timer first fires

protected:
    std::wstring GetLaunchCommandLine() const override { return m_line; }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_TIMER && wParam == IDT_LAUNCH && m_title.empty()) {
            wchar_t title[256] = {};
            ::GetWindowTextW(m_hWnd, title, 256);
            m_title = title;
        }
        return COrvinLauncherDlg::OnMessage(message, wParam, lParam, result);
    }

private:
    std::wstring m_line;
};

class LaunchDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = dir / L"dialog.log";
        Logger::Instance()->SetFilePath(log);
        ASSERT_NE(0, server.port());
        // The install flow may create this folder before it fails.
        installName = L"OrvinLaunchDialogTest" + std::to_wstring(::GetCurrentProcessId());
    }
    void TearDown() override {
        Logger::Release();
        testing_support::RemoveTree(GetDataRootFolder() + L"\\" + installName + L"\\");
    }
    std::wstring Log() { return testing_support::ReadLogFile(log); }
    std::string Document(const std::string& title) {
        std::string install(installName.begin(), installName.end());
        // No manifest is served: the module update fails whether or not
        // it is built yet.
        return "<?xml version='1.0' encoding='utf-8'?>\n<startup>\n"
               "<module>Editor.dll</module>\n"
               "<install_path>" +
               install +
               "</install_path>\n"
               "<update_url>" +
               server.url_narrow("/update/") +
               "</update_url>\n"
               "<app_title>" +
               title +
               "</app_title>\n"
               "</startup>\n";
    }

    testing_support::TempDir dir;
    std::wstring log;
    HttpTestServer server;
    std::wstring installName;
};

TEST_F(LaunchDialogTest, GoodDocumentIsFetchedOnceAndTitlesTheWindow) {
    server.answer("/start", HttpAnswer::Text(200, Document("주문 편집기")));
    const std::wstring arguments = L"key=K&svr=" + server.url("/start");
    CommandLineDialog dialog(L"\"x.exe\" \"orvin://" + arguments + L"\"");
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(L"K", dialog.m_strKey);
    EXPECT_EQ(L"주문 편집기", dialog.m_title);
    EXPECT_EQ(L"Editor.dll", dialog.m_startup.module);
    // The timer run skipped the startup step: the key was recorded.
    EXPECT_EQ(1u, server.count("/start"));
    ASSERT_FALSE(server.requests().empty());
    EXPECT_EQ("/start?key=K&field=startup", server.requests().front().target);

    std::wstring text = Log();
    EXPECT_EQ(1u, Count(text, kStart)) << Narrow(text);
    EXPECT_EQ(1u, Count(text, L"* url: " + server.url("/start?key=K&field=startup") + L"\r\n"));
    EXPECT_EQ(1u, Count(text, L" >>\r\n"));
    EXPECT_EQ(0u, Count(text, kBadArguments));
    EXPECT_EQ(1u, Count(text, kUpdateFailed));
    EXPECT_LT(text.find(kStart), text.find(kUpdateFailed));
}

TEST_F(LaunchDialogTest, RefusedDocumentEndsThePreparationWithTheDriversLine) {
    server.answer("/start", HttpAnswer::Text(200, "<startup>x</startup>"));
    const std::wstring arguments = L"key=K&svr=" + server.url("/start");
    CommandLineDialog dialog(L"\"x.exe\" \"orvin://" + arguments + L"\"");
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    std::wstring text = Log();
    size_t format = text.find(kFormat + server.url("/start?key=K&field=startup") + L")");
    ASSERT_NE(std::wstring::npos, format) << Narrow(text);
    size_t driver = text.find(kBadArguments + arguments + L")");
    ASSERT_NE(std::wstring::npos, driver) << Narrow(text);
    EXPECT_LT(format, driver);
    // The key was recorded before the document was refused, so the timer
    // run went on to the module update without a second request.
    EXPECT_EQ(1u, Count(text, kBadArguments));
    EXPECT_EQ(1u, server.count("/start"));
    EXPECT_EQ(1u, Count(text, kUpdateFailed));
    // The window kept the program's name as its title.
    EXPECT_NE(L"", dialog.m_title);
}

TEST_F(LaunchDialogTest, UnreachableDocumentIsTriedFiveTimes) {
    const std::wstring arguments = L"key=K&svr=" + server.url("/gone");
    CommandLineDialog dialog(L"\"x.exe\" \"orvin://" + arguments + L"\"");
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    std::wstring text = Log();
    EXPECT_EQ(1u, Count(text, kDownloadFailed + server.url("/gone?key=K&field=startup") + L")"))
        << Narrow(text);
    EXPECT_EQ(1u, Count(text, kBadArguments + arguments + L")"));
    EXPECT_EQ(5u, server.count("/gone"));
}

TEST_F(LaunchDialogTest, WithoutServerBothRunsRepeatTheStartupStep) {
    CommandLineDialog dialog(L"\"x.exe\" \"orvin://key=K\"");
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_EQ(L"", dialog.m_strKey);
    std::wstring text = Log();
    EXPECT_EQ(2u, Count(text, kMissing)) << Narrow(text);
    EXPECT_EQ(2u, Count(text, kStart));
    EXPECT_EQ(2u, Count(text, std::wstring(kBadArguments) + L"key=K)"));
    EXPECT_EQ(0u, Count(text, kUpdateFailed));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(LaunchDialogTest, RefusedDocumentNeverDrivesTheUpdate) {
    // A climbing install_path before or after update_url, and a second
    // update_url without "://": the key is recorded, but nothing of the
    // document survives for the timer's run.
    const std::string update = "<update_url>" + server.url_narrow("/update/") + "</update_url>";
    const std::string climb = "<install_path>..\\..\\OrvinClimbed</install_path>";
    const std::wstring climbed = GetDataRootFolder() + L"\\..\\..\\OrvinClimbed";
    for (const std::string& body : {update + climb, climb + update, update + "<update_url>x</update_url>"}) {
        const std::string where = body;
        server.clear_requests();
        server.answer("/start", HttpAnswer::Text(200, "<startup><module>Editor.dll</module>" + body +
                                                          "<app_title>T</app_title>\n</startup>"));
        CommandLineDialog dialog(L"\"x.exe\" \"orvin://key=K&svr=" + server.url("/start") + L"\"");
        EXPECT_EQ(IDCANCEL, dialog.DoModal()) << where;
        EXPECT_EQ(L"", dialog.m_startup.install_path) << where;
        EXPECT_EQ(L"", dialog.m_startup.module) << where;
        EXPECT_EQ(0u, server.count("/update/activeupdate.xml")) << where;
        EXPECT_FALSE(testing_support::FileExists(climbed)) << where;
        EXPECT_NE(std::wstring::npos,
                  Log().find(L"* 오류: 작업 폴더를 생성할 수 없습니다. (path:, err:0x000000a1)"))
            << where;
    }
}

// Drives the dialog's own run through a command line read at its start.
class ProbingDialog : public CommandLineDialog {
public:
    using CommandLineDialog::CommandLineDialog;
    mutable int runs = 0;
    bool throwInRun = false;

protected:
    std::wstring GetLaunchCommandLine() const override {
        if (++runs == 2) {
            if (throwInRun) throw std::bad_alloc();
            // What an editor module may do inside the run: hide and show its
            // owner, and let a pending launch tick through its own loop.
            ::ShowWindow(m_hWnd, SW_HIDE);
            ::ShowWindow(m_hWnd, SW_SHOW);
            ::PostMessageW(m_hWnd, WM_TIMER, IDT_LAUNCH, 0);
            for (int i = 0; i < 5; ++i) {
                PumpMessages();
                ::Sleep(50);
            }
        }
        return CommandLineDialog::GetLaunchCommandLine();
    }
};

TEST_F(LaunchDialogTest, TheRunIsNeitherStartedTwiceNorLeftHangingByAnException) {
    server.answer("/start", HttpAnswer::Text(200, Document("T")));
    const std::wstring line = L"\"x.exe\" \"orvin://key=K&svr=" + server.url("/start") + L"\"";
    {
        ProbingDialog dialog(line);
        EXPECT_EQ(IDCANCEL, dialog.DoModal());
        EXPECT_EQ(2, dialog.runs);
        EXPECT_EQ(1u, Count(Log(), kUpdateFailed)) << Narrow(Log());
    }
    ProbingDialog dialog(line);
    dialog.throwInRun = true;
    EXPECT_EQ(IDCANCEL, dialog.DoModal());
    EXPECT_NE(std::wstring::npos, Log().find(L"*오류 : 실행 중 예외가 발생했습니다."));
}

}  // namespace
