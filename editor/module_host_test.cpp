// The editor module host against real DLLs built from the module contract
// header: the test modules record every call with its arguments, so the
// order, the arguments and the calling convention are all visible.

#include "editor/module_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "framework/dialog.h"
#include "launch/startup_file_xml.h"
#include "resources/resource.h"
#include "support/logger.h"
#include "testing/test_support.h"

using testing_support::TempDir;

namespace {

constexpr UINT kRunBody = WM_APP + 7;

// A plain dialog on the launcher's template that runs the test body inside
// its modal loop, as the launcher runs the editor inside its own.
class HostDialog : public CDialog {
public:
    explicit HostDialog(std::function<void(HostDialog&)> body)
        : CDialog(IDD_ORVINLAUNCHER_DIALOG, nullptr), m_body(std::move(body)) {}
    BOOL OnInitDialog() override {
        // A known size and place, so the shrink and the centring show.
        SetWindowPos(nullptr, 10, 20, 267, 68, SWP_NOZORDER);
        ::PostMessageW(m_hWnd, kRunBody, 0, 0);
        return TRUE;
    }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == kRunBody) {
            m_body(*this);
            EndDialog(IDOK);
            result = 0;
            return true;
        }
        return CDialog::OnMessage(message, wParam, lParam, result);
    }

private:
    std::function<void(HostDialog&)> m_body;
};

struct Outcome {
    bool result = false;
    std::wstring editResult;
    HWND window = nullptr;
    RECT after = {};
};

const wchar_t* const kModuleVariables[] = {L"ORVIN_TEST_MODULE_INIT", L"ORVIN_TEST_MODULE_WORK",
                                           L"ORVIN_TEST_MODULE_TEXT", L"ORVIN_TEST_MODULE_FINAL_TEXT"};

std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string Narrow(const std::wstring& text) {
    return testing_support::WideToUtf8String(text);
}

std::string Joined(const std::vector<std::wstring>& lines) {
    std::string all;
    for (const auto& line : lines) all += Narrow(line) + "\n";
    return all;
}

class ModuleHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        m_log = m_dir / L"host.log";
        Logger::Instance()->SetFilePath(m_log);
        m_calls = m_dir / L"calls.txt";
        ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", m_calls.c_str());
        for (const wchar_t* name : kModuleVariables) ::SetEnvironmentVariableW(name, nullptr);

        m_install = m_dir / L"install\\";
        ASSERT_TRUE(::CreateDirectoryW(m_install.c_str(), nullptr));
        startup.install_path = m_install;
        startup.config_url = L"https://config.example.com/editor/config.xml";
        startup.todo = L"new_work";
        startup.editor_id = L"photobook-A4";
        startup.rsid = L"R-100";
        startup.lsid = L"L-200";
        startup.count = 7;
        startup.user_id = L"사용자01";
        startup.storage_url = L"https://storage.example.com/works";
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", nullptr);
        for (const wchar_t* name : kModuleVariables) ::SetEnvironmentVariableW(name, nullptr);
        Logger::Release();
    }

    // Copies a DLL built beside the test into the install folder.
    void Install(const std::wstring& name, const std::wstring& from = L"") {
        std::wstring source = testing_support::ExecutableFolder() + from + name;
        ASSERT_TRUE(::CopyFileW(source.c_str(), (m_install + name).c_str(), FALSE)) << Narrow(source);
    }

    Outcome Run(const std::wstring& moduleName, const std::wstring& initialResult = L"") {
        Outcome outcome;
        outcome.editResult = initialResult;
        HostDialog dialog([&](HostDialog& d) {
            outcome.window = d.GetSafeHwnd();
            outcome.result = RunEditorModule(d, startup, moduleName, outcome.editResult);
            ::GetWindowRect(d.GetSafeHwnd(), &outcome.after);
        });
        EXPECT_EQ(IDOK, dialog.DoModal());
        return outcome;
    }

    std::vector<std::wstring> Calls() {
        std::vector<unsigned char> bytes = testing_support::ReadFileBytes(m_calls);
        return SplitLines(testing_support::Utf8ToWideString(std::string(bytes.begin(), bytes.end())));
    }
    std::wstring Log() { return testing_support::ReadLogFile(m_log); }

    TempDir m_dir;
    std::wstring m_log;
    std::wstring m_calls;
    std::wstring m_install;
    startup_file_xml startup;
};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

size_t Count(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

TEST_F(ModuleHostTest, FullSequenceWithSixParametersInOrder) {
    Install(L"TestEditorModule.dll");
    startup.params = {{L"site", L"shop01"},
                      {L"테마", L"봄 여름"},
                      {L"empty", L""},
                      {L"set_key_url", L"https://svc.example.com/?key=K&field=setkey"},
                      {L"set_return_url", L"https://svc.example.com/?key=K&field=result"},
                      {L"is_local_execution", L"false"}};
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"0\",\"uploaded_list\":[\"w1\"]}");
    Outcome outcome = Run(L"TestEditorModule.dll");
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(L"{\"exit_code\":\"0\",\"uploaded_list\":[\"w1\"]}", outcome.editResult);

    std::vector<std::wstring> calls = Calls();
    ASSERT_EQ(9u, calls.size()) << Joined(calls);
    const std::wstring init = L"Initialize|owner=" +
                              std::to_wstring(reinterpret_cast<INT_PTR>(outcome.window)) + L"|modal|" +
                              m_install + L"||config.example.com|window=";
    EXPECT_TRUE(StartsWith(calls[0], init)) << Narrow(calls[0]);
    EXPECT_EQ(L"InternalCall|site|shop01|", calls[1]);
    EXPECT_EQ(L"InternalCall|테마|봄 여름|", calls[2]);
    EXPECT_EQ(L"InternalCall|empty||", calls[3]);
    EXPECT_EQ(L"InternalCall|set_key_url|https://svc.example.com/?key=K&field=setkey|", calls[4]);
    EXPECT_EQ(L"InternalCall|set_return_url|https://svc.example.com/?key=K&field=result|", calls[5]);
    EXPECT_EQ(L"InternalCall|is_local_execution|false|", calls[6]);
    EXPECT_EQ(L"NewWork|https://config.example.com/editor/config.xml|photobook-A4|R-100|7|result=null",
              calls[7]);
    EXPECT_EQ(L"Uninitialize", calls[8]);
    EXPECT_EQ(L"", Log());
}

TEST_F(ModuleHostTest, WindowIsShrunkToOnePixelAndCentredBeforeInitialize) {
    Install(L"TestEditorModule.dll");
    Outcome outcome = Run(L"TestEditorModule.dll");
    ASSERT_TRUE(outcome.result);
    std::vector<std::wstring> calls = Calls();
    ASSERT_FALSE(calls.empty());
    // The module saw a 1 x 1 owner, centred over the work area.
    size_t at = calls[0].find(L"|window=");
    ASSERT_NE(std::wstring::npos, at);
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_EQ(4, swscanf(calls[0].c_str() + at + 8, L"%d,%d,%d,%d", &x, &y, &w, &h));
    EXPECT_EQ(1, w);
    EXPECT_EQ(1, h);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(outcome.window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& area = monitor.rcWork;
    EXPECT_LE(std::abs(2 * x + 1 - (area.left + area.right)), 2) << x;
    EXPECT_LE(std::abs(2 * y + 1 - (area.top + area.bottom)), 2) << y;
    // It stays shrunk afterwards.
    EXPECT_EQ(1, outcome.after.right - outcome.after.left);
}

TEST_F(ModuleHostTest, EachTodoCallsItsEntryPointWithItsArguments) {
    Install(L"TestEditorModule.dll");
    const struct {
        const wchar_t* todo;
        const wchar_t* line;
    } cases[] = {
        {L"new_work",
         L"NewWork|https://config.example.com/editor/config.xml|photobook-A4|R-100|7|result=null"},
        {L"open_work",
         L"OpenWork|https://config.example.com/editor/config.xml|photobook-A4|R-100|7|result=null"},
        {L"open_local_work", L"OpenLocalWork|L-200|photobook-A4|result=null"},
        {L"open_storage",
         L"OpenStorage|https://config.example.com/editor/config.xml|photobook-A4|result=null"},
        {L"download_work", L"DownloadWorks|R-100|사용자01|https://storage.example.com/works|result=null"},
    };
    startup.count = -3;
    for (const auto& c : cases) {
        ::DeleteFileW(m_calls.c_str());
        startup.todo = c.todo;
        std::wstring expected = c.line;
        size_t seven = expected.find(L"|7|");
        if (seven != std::wstring::npos) expected.replace(seven, 3, L"|-3|");
        ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", c.todo);
        Outcome outcome = Run(L"TestEditorModule.dll");
        EXPECT_TRUE(outcome.result) << Narrow(c.todo);
        EXPECT_EQ(c.todo, outcome.editResult);
        std::vector<std::wstring> calls = Calls();
        ASSERT_EQ(3u, calls.size()) << Joined(calls);
        EXPECT_TRUE(StartsWith(calls[0], L"Initialize|"));
        EXPECT_EQ(expected, calls[1]);
        EXPECT_EQ(L"Uninitialize", calls[2]);
    }
    EXPECT_EQ(L"", Log());
}

TEST_F(ModuleHostTest, TodoDifferingOnlyInCaseSelectsNothing) {
    Install(L"TestEditorModule.dll");
    startup.params = {{L"a", L"1"}};
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"should not appear");
    for (const wchar_t* todo : {L"New_Work", L"NEW_WORK", L"new_work ", L"", L"download_works"}) {
        ::DeleteFileW(m_calls.c_str());
        startup.todo = todo;
        Outcome outcome = Run(L"TestEditorModule.dll", L"as passed");
        EXPECT_FALSE(outcome.result) << Narrow(todo);
        EXPECT_EQ(L"as passed", outcome.editResult);
        std::vector<std::wstring> calls = Calls();
        ASSERT_EQ(3u, calls.size()) << Joined(calls);
        EXPECT_TRUE(StartsWith(calls[0], L"Initialize|"));
        EXPECT_EQ(L"InternalCall|a|1|", calls[1]);
        EXPECT_EQ(L"Uninitialize", calls[2]);
    }
    EXPECT_EQ(L"", Log());
}

TEST_F(ModuleHostTest, ModuleWithoutInternalCallWorks) {
    Install(L"TestEditorModuleNoInternalCall.dll");
    startup.params = {{L"a", L"1"}, {L"b", L"2"}};
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{}");
    Outcome outcome = Run(L"TestEditorModuleNoInternalCall.dll");
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(L"{}", outcome.editResult);
    std::vector<std::wstring> calls = Calls();
    ASSERT_EQ(3u, calls.size()) << Joined(calls);
    EXPECT_TRUE(StartsWith(calls[1], L"NewWork|"));
    EXPECT_EQ(L"", Log()) << "a missing InternalCall is not an error";
}

TEST_F(ModuleHostTest, WorkReturningZeroStillHandsOverItsText) {
    Install(L"TestEditorModule.dll");
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_WORK", L"0");
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"2\"}");
    Outcome outcome = Run(L"TestEditorModule.dll");
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(L"{\"exit_code\":\"2\"}", outcome.editResult);
    std::vector<std::wstring> calls = Calls();
    ASSERT_EQ(3u, calls.size()) << Joined(calls);
    EXPECT_EQ(L"Uninitialize", calls[2]);
    EXPECT_EQ(L"", Log());
}

TEST_F(ModuleHostTest, WorkSucceedingWithoutTextLeavesTheResultAlone) {
    Install(L"TestEditorModule.dll");
    Outcome outcome = Run(L"TestEditorModule.dll");
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(L"", outcome.editResult);
    Outcome prefilled = Run(L"TestEditorModule.dll", L"earlier");
    EXPECT_TRUE(prefilled.result);
    EXPECT_EQ(L"earlier", prefilled.editResult);
}

TEST_F(ModuleHostTest, TextIsReadOnlyAfterUninitializeReturned) {
    Install(L"TestEditorModule.dll");
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"draft");
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_FINAL_TEXT",
                              L"{\"exit_code\":\"0\",\"uploaded_list\":[\"최종\"]}");
    Outcome outcome = Run(L"TestEditorModule.dll");
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(L"{\"exit_code\":\"0\",\"uploaded_list\":[\"최종\"]}", outcome.editResult);
}

TEST_F(ModuleHostTest, InitializeFailingStopsEverything) {
    Install(L"TestEditorModule.dll");
    startup.params = {{L"a", L"1"}};
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_INIT", L"0");
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"x");
    Outcome outcome = Run(L"TestEditorModule.dll");
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(L"", outcome.editResult);
    std::vector<std::wstring> calls = Calls();
    ASSERT_EQ(1u, calls.size()) << Joined(calls);
    EXPECT_TRUE(StartsWith(calls[0], L"Initialize|"));
    EXPECT_EQ(1u, Count(Log(), L"* 오류: Initialize()함수호출에 실패 했습니다.\r\n")) << Narrow(Log());
}

TEST_F(ModuleHostTest, MissingInitializeIsLoggedWithTheLookupError) {
    Install(L"TestEditorModuleNoInitialize.dll");
    Outcome outcome = Run(L"TestEditorModuleNoInitialize.dll");
    EXPECT_FALSE(outcome.result);
    EXPECT_TRUE(Calls().empty()) << Joined(Calls());
    EXPECT_EQ(1u, Count(Log(), L"* 오류: Initialize()함수가 존재하지 않습니다. (0x0000007f)\r\n"))
        << Narrow(Log());
}

TEST_F(ModuleHostTest, MissingWorkEntryPointsAreLoggedByName) {
    Install(L"TestEditorModuleNoWork.dll");
    startup.params = {{L"a", L"1"}};
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"x");
    const struct {
        const wchar_t* todo;
        const wchar_t* record;
    } cases[] = {
        {L"new_work", L"* 오류: NewWork()함수가 존재하지 않습니다. (0x0000007f)\r\n"},
        {L"open_work", L"* 오류: OpenWork()함수가 존재하지 않습니다. (0x0000007f)\r\n"},
        {L"open_local_work", L"* 오류: OpenLocalWork()함수가 존재하지 않습니다. (0x0000007f)\r\n"},
        {L"open_storage", L"* 오류: OpenStorage()함수가 존재하지 않습니다. (0x0000007f)\r\n"},
        {L"download_work", L"* 오류: DownloadWorks()함수가 존재하지 않습니다. (0x0000007f)\r\n"},
    };
    for (const auto& c : cases) {
        ::DeleteFileW(m_calls.c_str());
        ::DeleteFileW(m_log.c_str());
        startup.todo = c.todo;
        Outcome outcome = Run(L"TestEditorModuleNoWork.dll", L"untouched");
        EXPECT_FALSE(outcome.result);
        EXPECT_EQ(L"untouched", outcome.editResult);
        // Initialize and the parameters ran; Uninitialize did not.
        std::vector<std::wstring> calls = Calls();
        ASSERT_EQ(2u, calls.size()) << Joined(calls);
        EXPECT_TRUE(StartsWith(calls[0], L"Initialize|"));
        EXPECT_EQ(L"InternalCall|a|1|", calls[1]);
        std::wstring log = Log();
        EXPECT_EQ(1u, Count(log, c.record)) << Narrow(log);
        EXPECT_EQ(1u, Count(log, L"* 오류:")) << Narrow(log);
    }
}

TEST_F(ModuleHostTest, MissingUninitializeFailsAndTakesNoText) {
    Install(L"TestEditorModuleNoUninitialize.dll");
    ::SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"0\"}");
    Outcome outcome = Run(L"TestEditorModuleNoUninitialize.dll");
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(L"", outcome.editResult);
    std::vector<std::wstring> calls = Calls();
    ASSERT_EQ(2u, calls.size()) << Joined(calls);
    EXPECT_TRUE(StartsWith(calls[1], L"NewWork|"));
    EXPECT_EQ(1u, Count(Log(), L"* 오류: Uninitialize()함수가 존재하지 않습니다. (0x0000007f)\r\n"))
        << Narrow(Log());
}

TEST_F(ModuleHostTest, EmptyFileIsNotLoadedAndNothingIsCalled) {
    ASSERT_TRUE(testing_support::WriteFileBytes(m_install + L"Empty.dll", "", 0));
    Outcome outcome = Run(L"Empty.dll");
    EXPECT_FALSE(outcome.result);
    EXPECT_TRUE(Calls().empty());
    // The window was never shrunk.
    EXPECT_EQ(267, outcome.after.right - outcome.after.left);
    std::wstring log = Log();
    const std::wstring prefix = L"* 오류: 모듈을 로딩하지 못했습니다. (path:" + m_install + L"Empty.dll, 0x";
    size_t at = log.find(prefix);
    ASSERT_NE(std::wstring::npos, at) << Narrow(log);
    std::wstring code = log.substr(at + prefix.size(), 10);
    EXPECT_EQ(L')', code[8]) << Narrow(code);
    EXPECT_NE(L"00000000", code.substr(0, 8));
    EXPECT_EQ(1u, Count(log, L"* 오류:"));
}

TEST_F(ModuleHostTest, MissingFileAndNoModuleNameAreLoadFailures) {
    Outcome missing = Run(L"NotThere.dll");
    EXPECT_FALSE(missing.result);
    Outcome unnamed = Run(L"");
    EXPECT_FALSE(unnamed.result);
    std::wstring log = Log();
    EXPECT_EQ(1u, Count(log, L"(path:" + m_install + L"NotThere.dll, 0x")) << Narrow(log);
    EXPECT_EQ(1u, Count(log, L"(path:" + m_install + L", 0x")) << Narrow(log);
    EXPECT_EQ(2u, Count(log, L"* 오류: 모듈을 로딩하지 못했습니다."));
}

TEST_F(ModuleHostTest, NamesLeavingTheInstallFolderAreNeverLoaded) {
    // A real module beside the install folder, reachable only by climbing.
    ASSERT_TRUE(::CopyFileW((testing_support::ExecutableFolder() + L"TestEditorModule.dll").c_str(),
                            (m_dir / L"Outside.dll").c_str(), FALSE));
    for (const std::wstring& name :
         {std::wstring(L"..\\Outside.dll"), std::wstring(L"sub/../../Outside.dll"), m_dir / L"Outside.dll"}) {
        EXPECT_FALSE(Run(name).result) << Narrow(name);
        EXPECT_NE(std::wstring::npos, Log().find(L"* 오류: 모듈 파일 이름이 올바르지 않습니다. (path:" +
                                                 m_install + name + L")"));
    }
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"Outside.dll"));
}

TEST_F(ModuleHostTest, DependenciesAreFoundInTheModulesOwnFolder) {
    Install(L"TestEditorModuleWithHelper.dll");
    Install(L"TestEditorHelper.dll", L"helper\\");
    ASSERT_FALSE(testing_support::FileExists(testing_support::ExecutableFolder() + L"TestEditorHelper.dll"));
    Outcome outcome = Run(L"TestEditorModuleWithHelper.dll");
    EXPECT_TRUE(outcome.result) << Narrow(Log());
    std::vector<std::wstring> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(std::wstring::npos, calls[0].find(L"|helper=4217")) << Narrow(calls[0]);
}

TEST_F(ModuleHostTest, ConfigUrlHostReachesInitialize) {
    Install(L"TestEditorModule.dll");
    const struct {
        const wchar_t* url;
        const wchar_t* host;
    } cases[] = {{L"config.xml", L""}, {L"https://cfg.example.com", L"cfg.example.com"}, {L"", L""}};
    for (const auto& c : cases) {
        ::DeleteFileW(m_calls.c_str());
        startup.config_url = c.url;
        Outcome outcome = Run(L"TestEditorModule.dll");
        EXPECT_TRUE(outcome.result);
        std::vector<std::wstring> calls = Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_NE(std::wstring::npos, calls[0].find(L"|modal|" + m_install + L"||" + c.host + L"|window="))
            << Narrow(calls[0]);
    }
}

TEST(GetUrlHost, TextBetweenTheFirstDoubleSlashAndTheNextSlash) {
    EXPECT_EQ(L"host.example.com", GetUrlHost(L"http://host.example.com/path/x.xml"));
    EXPECT_EQ(L"host:8080", GetUrlHost(L"https://host:8080"));
    EXPECT_EQ(L"host?x=1", GetUrlHost(L"http://host?x=1"));
    EXPECT_EQ(L"x", GetUrlHost(L"//x/y"));
    EXPECT_EQ(L"b", GetUrlHost(L"a//b//c/d"));
    EXPECT_EQ(L"", GetUrlHost(L"http:///path"));
    EXPECT_EQ(L"", GetUrlHost(L"http://"));
    EXPECT_EQ(L"", GetUrlHost(L"host/path"));
    EXPECT_EQ(L"", GetUrlHost(L"http:/x"));
    EXPECT_EQ(L"", GetUrlHost(L""));
}

struct ShownEditor {
    bool seen = false;
    HWND owner = nullptr;
};
ShownEditor g_shownEditor;

LRESULT CALLBACK OnWindowMessage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    wchar_t name[64] = {};
    if (code == HC_ACTION && message->message == WM_SHOWWINDOW && message->wParam &&
        ::GetClassNameW(message->hwnd, name, 64) && wcscmp(name, L"OrvinSampleEditorWindow") == 0) {
        g_shownEditor.seen = true;
        g_shownEditor.owner = ::GetWindow(message->hwnd, GW_OWNER);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The sample module shows a window owned by the launcher's window and ends
// by itself with its result.
TEST_F(ModuleHostTest, SampleEditorShowsItsWindowAndEndsByItself) {
    Install(L"SampleEditor.dll");
    startup.params = {{L"a", L"1"}, {L"b", L"2"}};
    // The editor shows its window on this thread: a hook on the thread's
    // messages sees it shown, and no watcher thread is needed.
    g_shownEditor = ShownEditor();
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, OnWindowMessage, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    DWORD start = ::GetTickCount();
    Outcome outcome = Run(L"SampleEditor.dll");
    DWORD elapsed = ::GetTickCount() - start;
    ::UnhookWindowsHookEx(hook);
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(L"{\"exit_code\":\"0\",\"uploaded_list\":[\"sample-work\"]}", outcome.editResult);
    EXPECT_TRUE(g_shownEditor.seen);
    EXPECT_EQ(outcome.window, g_shownEditor.owner);
    EXPECT_GE(elapsed, 2500u);
    EXPECT_LT(elapsed, 30000u);
    EXPECT_EQ(L"", Log());
}

}  // namespace
