// The browser return as the shell calls it makes: each browser choice through
// a recorded shell call, and the file type through the real shell starting a
// real program.

#include "editor/cart_handoff.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "support/logger.h"
#include "testing/test_support.h"

using testing_support::TempDir;

namespace {

struct ShellCall {
    HWND owner;
    bool hasVerb;
    std::wstring verb;
    std::wstring file;
    bool hasParameters;
    std::wstring parameters;
    bool hasDirectory;
    INT show;
};

std::vector<ShellCall> g_shellCalls;

HINSTANCE WINAPI RecordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                 LPCWSTR directory, INT show) {
    g_shellCalls.push_back(ShellCall{owner, verb != nullptr, verb ? verb : L"", file ? file : L"",
                                     parameters != nullptr, parameters ? parameters : L"",
                                     directory != nullptr, show});
    // What ShellExecuteW gives for success.
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}

const wchar_t kUrl[] = L"http://shop.example/return?exit_code=0&keyresult=http%3A%2F%2Fs%3Fkey%3Dk";

class ReturnPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_shellCalls.clear();
        previous = SetShellExecuteCall(RecordShellCall);
    }
    void TearDown() override { SetShellExecuteCall(previous); }

    // Exactly one call, made the way every browser start is made.
    ShellCall OnlyCall() {
        EXPECT_EQ(1u, g_shellCalls.size());
        if (g_shellCalls.empty()) return ShellCall{};
        const ShellCall& call = g_shellCalls.front();
        EXPECT_EQ(nullptr, call.owner);
        EXPECT_FALSE(call.hasDirectory);
        EXPECT_EQ(SW_SHOWNORMAL, call.show);
        return call;
    }
    void ExpectProgram(const std::wstring& agent, const std::wstring& type, const std::wstring& program) {
        const std::string where =
            testing_support::WideToUtf8String(L"agent '" + agent + L"' type '" + type + L"'");
        g_shellCalls.clear();
        OpenReturnPage(agent, kUrl, type);
        ShellCall call = OnlyCall();
        EXPECT_FALSE(call.hasVerb) << testing_support::WideToUtf8String(call.verb) << where;
        EXPECT_EQ(program, call.file) << where;
        EXPECT_TRUE(call.hasParameters) << where;
        EXPECT_EQ(kUrl, call.parameters) << where;
    }
    void ExpectOpened(const std::wstring& agent, const std::wstring& type, const std::wstring& target) {
        const std::string where =
            testing_support::WideToUtf8String(L"agent '" + agent + L"' type '" + type + L"'");
        g_shellCalls.clear();
        OpenReturnPage(agent, kUrl, type);
        ShellCall call = OnlyCall();
        EXPECT_TRUE(call.hasVerb) << where;
        EXPECT_EQ(L"open", call.verb) << where;
        EXPECT_EQ(target, call.file) << where;
        EXPECT_FALSE(call.hasParameters) << where;
    }
    void ExpectNothing(const std::wstring& agent, const std::wstring& url, const std::wstring& type) {
        g_shellCalls.clear();
        OpenReturnPage(agent, url, type);
        EXPECT_TRUE(g_shellCalls.empty()) << testing_support::WideToUtf8String(agent + L" / " + type);
    }

    ShellExecuteCall previous = nullptr;
};

TEST_F(ReturnPageTest, EachNamedBrowserStartsItsProgramWithTheUrl) {
    for (const wchar_t* type : {L"", L"id", L"ID", L"Id"}) {
        ExpectProgram(L"ie", type, L"iexplore.exe");
        ExpectProgram(L"explore", type, L"iexplore.exe");
        ExpectProgram(L"chrome", type, L"chrome.exe");
        ExpectProgram(L"chorme", type, L"chrome.exe");
        ExpectProgram(L"firefox", type, L"firefox.exe");
        ExpectProgram(L"safari", type, L"safari.exe");
        ExpectProgram(L"sapari", type, L"safari.exe");
        ExpectProgram(L"opera", type, L"opera.exe");
        ExpectProgram(L"edg", type, L"msedge.exe");
    }
}

TEST_F(ReturnPageTest, BrowserNamesIgnoreLetterCase) {
    ExpectProgram(L"Chrome", L"", L"chrome.exe");
    ExpectProgram(L"IE", L"", L"iexplore.exe");
    ExpectProgram(L"FireFox", L"id", L"firefox.exe");
    ExpectProgram(L"EDG", L"", L"msedge.exe");
}

TEST_F(ReturnPageTest, EdgeOpensItsProtocolWithTheUrl) {
    ExpectOpened(L"edge", L"", std::wstring(L"microsoft-edge:") + kUrl);
    ExpectOpened(L"Edge", L"id", std::wstring(L"microsoft-edge:") + kUrl);
}

TEST_F(ReturnPageTest, AnyOtherBrowserNameOpensTheUrlItself) {
    // Whole-text comparisons: near misses are other names.
    for (const wchar_t* agent :
         {L"", L"netscape", L"chrome ", L" ie", L"chrome.exe", L"edges", L"i", L"크롬"}) {
        ExpectOpened(agent, L"", kUrl);
    }
}

TEST_F(ReturnPageTest, FileTypeStartsTheNamedProgram) {
    ExpectProgram(L"C:\\Apps\\Whale\\whale.exe", L"file", L"C:\\Apps\\Whale\\whale.exe");
    ExpectProgram(L"C:\\Apps\\Whale\\WHALE.EXE", L"FILE", L"C:\\Apps\\Whale\\WHALE.EXE");
    ExpectProgram(L"D:\\브라우저\\b.Exe", L"File", L"D:\\브라우저\\b.Exe");
    ExpectProgram(L".exe", L"file", L".exe");
}

TEST_F(ReturnPageTest, FileTypeWithoutAProgramOpensTheUrl) {
    ExpectOpened(L"C:\\Apps\\Whale\\whale.lnk", L"FILE", kUrl);
    ExpectOpened(L"C:\\Apps\\whale.exe.bak", L"file", kUrl);
    ExpectOpened(L"C:\\Apps\\whaleexe", L"file", kUrl);
    ExpectOpened(L"exe", L"file", kUrl);
    ExpectOpened(L"", L"file", kUrl);
    // A browser name means nothing to the file type.
    ExpectOpened(L"chrome", L"file", kUrl);
}

TEST_F(ReturnPageTest, AnotherTypeOpensNothing) {
    ExpectNothing(L"chrome", kUrl, L"name");
    ExpectNothing(L"C:\\Apps\\whale.exe", kUrl, L"files");
    ExpectNothing(L"", kUrl, L" ");
    ExpectNothing(L"ie", kUrl, L"ids");
}

TEST_F(ReturnPageTest, EmptyUrlOpensNothing) {
    ExpectNothing(L"chrome", L"", L"");
    ExpectNothing(L"edge", L"", L"id");
    ExpectNothing(L"", L"", L"");
    ExpectNothing(L"C:\\Apps\\whale.exe", L"", L"file");
}

TEST_F(ReturnPageTest, OnlyWebPagesAreOpenedWhateverTheBrowserChoice) {
    TempDir dir;
    const std::wstring log = dir / L"log.txt";
    Logger::Release();
    Logger::Instance()->SetFilePath(log);
    // What a server could set as its return page to start a program or reach
    // a share through the shell.
    const wchar_t* hostile[] = {L"file:///C:/Windows/System32/calc.exe",
                                L"search-ms:query=x&crumb=location:\\\\evil.example\\share",
                                L"ms-msdt:/id PCWDiagnostic /skip force",
                                L"\\\\evil.example\\share\\run.exe",
                                L"C:\\Windows\\System32\\calc.exe",
                                L"http:\\\\evil.example\\share",
                                L" https://shop.example/return",
                                L"javascript:alert(1)//http://shop.example/"};
    for (const wchar_t* url : hostile) {
        for (const auto& choice : {std::make_pair(L"chrome", L""), std::make_pair(L"", L""),
                                   std::make_pair(L"edge", L"id"), std::make_pair(L"C:\\b\\b.lnk", L"file")}) {
            ExpectNothing(choice.first, url, choice.second);
        }
    }
    ExpectProgram(L"chrome", L"", L"chrome.exe");
    g_shellCalls.clear();
    OpenReturnPage(L"", L"HTTPS://shop.example/return", L"");
    EXPECT_EQ(L"HTTPS://shop.example/return", OnlyCall().file);
    const std::wstring text = testing_support::ReadLogFile(log);
    Logger::Release();
    for (const wchar_t* url : hostile) {
        EXPECT_NE(std::wstring::npos,
                  text.find(L"*오류 : 웹 페이지가 아닌 주소는 열지 않습니다. (url:" + std::wstring(url) + L")\r\n"))
            << testing_support::WideToUtf8String(url);
    }
    EXPECT_EQ(std::wstring::npos, text.find(L"(url:HTTPS://")) << testing_support::WideToUtf8String(text);
}

TEST(ReturnPageShell, FileTypeStartsARealProgramWithTheUrl) {
    if (testing_support::ThreadsUnreliable()) {
        // Under qemu-i386 a second 32-bit program takes minutes to start, and
        // GTEST_SKIP itself brings Wine down there. The recorded calls above
        // cover the arguments; the real start is checked on the other builds.
        std::printf("not run: 32-bit Wine under qemu-i386\n");
        return;
    }
    // The real shell call: a small program records the command line it got.
    TempDir dir;
    const std::wstring program = dir / L"Recorder.EXE";
    ASSERT_TRUE(CopyFileW((testing_support::ExecutableFolder() + L"cart_test_recorder.exe").c_str(),
                          program.c_str(), FALSE));
    const std::wstring url = L"http://127.0.0.1:9/return?exit_code=0&keyresult=a%3Fb";
    OpenReturnPage(program, url, L"FILE");

    const std::wstring recorded = dir / L"recorded.txt";
    // A 32-bit program can take a minute to start under emulation.
    for (int i = 0; i < 1800 && !testing_support::FileExists(recorded); ++i) Sleep(100);
    std::vector<unsigned char> bytes = testing_support::ReadFileBytes(recorded);
    ASSERT_FALSE(bytes.empty());
    std::wstring commandLine(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    EXPECT_NE(std::wstring::npos, commandLine.find(L"Recorder.EXE"))
        << testing_support::WideToUtf8String(commandLine);
    ASSERT_GE(commandLine.size(), url.size());
    EXPECT_EQ(url, commandLine.substr(commandLine.size() - url.size()))
        << testing_support::WideToUtf8String(commandLine);
}

}  // namespace
