// The whole run against the local shop server: startup document, update from
// real packages made by the manifest producer, the test editor module, the
// edit result, the cart service and the browser return. Most journeys run the
// real dialog in this process (so its result can be read); one runs the real
// OrvinLauncher.exe.

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/OrvinLauncherDlg.h"
#include "app/launch_dialog_test_support.h"
#include "framework/file_find.h"
#include "support/logger.h"
#include "support/platform.h"
#include "testing/test_support.h"
#include "tools/manifest_producer/producer.h"
#include "testing/hosted_shop.h"

using testing_support::TempDir;

namespace {

std::string Utf8(const std::wstring& text) {
    return testing_support::WideToUtf8String(text);
}

size_t Count(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

void SetEnv(const wchar_t* name, const std::wstring& value) {
    SetEnvironmentVariableW(name, value.c_str());
}
void ClearEnv(const wchar_t* name) {
    SetEnvironmentVariableW(name, nullptr);
}

class Journey : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = work / L"run.log";
        Logger::Instance()->SetFilePath(log);
        shopRoot = work / L"shop\\";
        module = work / L"module\\";
        browser = work / L"browser\\";
        for (const std::wstring& f :
             {shopRoot, shopRoot + L"startup\\", shopRoot + L"update\\", module, browser}) {
            CreateDirectoryW(f.c_str(), nullptr);
        }
        const std::wstring bin = testing_support::ExecutableFolder();
        ASSERT_TRUE(
            CopyFileW((bin + L"TestEditorModule.dll").c_str(), (module + L"Editor.dll").c_str(), FALSE));
        ASSERT_TRUE(testing_support::WriteFileText(module + L"settings.ini", "[editor]\r\ntheme=light\r\n"));
        ASSERT_TRUE(testing_support::WriteFileText(module + L"brushes.dat", std::string(5000, 'b')));
        ASSERT_TRUE(
            CopyFileW((bin + L"cart_test_recorder.exe").c_str(), (browser + L"browser.exe").c_str(), FALSE));

        name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        installRelative = L"OrvinE2E\\" + testing_support::Utf8ToWideString(name);
        install = GetDataRootFolder() + L"\\" + installRelative + L"\\";
        testing_support::RemoveTree(install);

        moduleLog = work / L"module-calls.txt";
        SetEnv(L"ORVIN_TEST_MODULE_LOG", moduleLog);
        SetEnv(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"0\",\"uploaded_list\":[\"work-1\"]}");
        WriteStartup(L"K1");
    }
    void TearDown() override {
        for (const wchar_t* n :
             {L"ORVIN_TEST_MODULE_LOG", L"ORVIN_TEST_MODULE_TEXT", L"ORVIN_TEST_MODULE_WORK"}) {
            ClearEnv(n);
        }
        Logger::Release();
        testing_support::RemoveTree(install);
    }

    void WriteStartup(const std::wstring& key) {
        std::string doc =
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<startup>\r\n"
            "  <install_path>" +
            Utf8(installRelative) +
            "</install_path>\r\n"
            "  <update_url ssl=\"\">$(SERVER)/shop/update/</update_url>\r\n"
            "  <todo>new_work</todo>\r\n  <editor_id>E-7</editor_id>\r\n"
            "  <config_url>$(SERVER)/shop/config</config_url>\r\n  <rsid>R-1</rsid>\r\n  <count>2</count>\r\n"
            "  <return_url>$(SERVER)/shop/return</return_url>\r\n"
            "  <return2_url>$(SERVER)/shop/cart</return2_url>\r\n"
            "  <setkey_url>$(SERVER)/shop/launch</setkey_url>\r\n"
            "  <agent type=\"file\">" +
            Utf8(browser) +
            "browser.exe</agent>\r\n"
            "  <app_title>Orvin 편집기</app_title>\r\n"
            "  <internal_call id=\"theme\">light</internal_call>\r\n"
            "</startup>\r\n";
        ASSERT_TRUE(testing_support::WriteFileText(shopRoot + L"startup\\" + key + L".xml", doc));
    }

    void Publish(const std::wstring& packageOfModule, const std::wstring& packageOfData) {
        producer::ProducerOptions options;
        options.sourceFolder = module;
        options.outputFolder = shopRoot + L"update\\";
        options.module = L"Editor.dll";
        if (packageOfModule == packageOfData) {
            options.packages = {{packageOfModule, {L"Editor.dll", L"settings.ini", L"brushes.dat"}}};
        } else {
            options.packages = {{packageOfModule, {L"Editor.dll"}},
                                {packageOfData, {L"settings.ini", L"brushes.dat"}}};
        }
        std::wstring error;
        ASSERT_EQ(producer::ProduceResult::ok, producer::ProduceManifest(options, error)) << Utf8(error);
    }

    std::wstring CommandLine(const std::wstring& key) {
        return L"\"C:\\Program Files\\Orvin\\OrvinLauncher.exe\" \"orvin://key=" + key + L"&svr=" +
               shop.launch_url() + L"\"";
    }

    // The command line of the real OrvinLauncher.exe of this build.
    std::wstring LauncherLine(const std::wstring& key = L"K1",
                              const std::wstring& exe = testing_support::ExecutableFolder() + L"OrvinLauncher.exe") {
        std::wstring line = CommandLine(key);
        return line.replace(0, line.find(L"\" ") + 1, L"\"" + exe + L"\"");
    }

    INT_PTR RunDialog(const std::wstring& key = L"K1") {
        LaunchDialog dialog(CommandLine(key));
        return dialog.DoModal();
    }

    std::wstring Log() { return testing_support::ReadLogFile(log); }
    bool LogHas(const std::wstring& text) { return Log().find(text) != std::wstring::npos; }

    // What the browser (the recorder started through the shell) was given.
    std::wstring BrowserCommandLine() {
        const std::wstring recorded = browser + L"recorded.txt";
        for (int i = 0; i < 300 && !testing_support::FileExists(recorded); ++i) Sleep(100);
        std::vector<unsigned char> bytes = testing_support::ReadFileBytes(recorded);
        std::wstring text(bytes.size() / 2, L'\0');
        if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * 2);
        return text;
    }

    std::string ModuleCalls() {
        std::vector<unsigned char> bytes = testing_support::ReadFileBytes(moduleLog);
        return std::string(bytes.begin(), bytes.end());
    }

    // Runs the real executable on the published module, the way the shell
    // starts it, and checks the whole journey.
    void ExpectWholeJourneyOf(const std::wstring& exe) {
        const std::wstring dayLog = testing_support::DayLogPath();
        size_t before = testing_support::LogSize(dayLog);
        ASSERT_TRUE(testing_support::RunProcess(LauncherLine(L"K1", exe), 300000)) << Utf8(exe);
        std::wstring text = testing_support::ReadLogSince(dayLog, before);
        EXPECT_EQ(1u, Count(text, L"* 런처 시작 ********************")) << Utf8(text);
        EXPECT_EQ(1u, Count(text, L"* 업데이트 시작 ********************"));
        EXPECT_EQ(0u, Count(text, L"오류"));
        EXPECT_EQ(0u, Count(text, L"*경고"));
        EXPECT_TRUE(testing_support::FileExists(install + L"brushes.dat"));
        EXPECT_EQ(1u, shop.cart_requests().size());
        EXPECT_NE(std::wstring::npos,
                  BrowserCommandLine().find(shop.base() + L"/shop/return?exit_code=0&keyresult="));
    }

    TempDir work;
    std::wstring log, shopRoot, module, browser, install, installRelative, moduleLog;
    std::string name;
    testing_support::HostedShop shop{work.path() + L"shop\\"};
};

TEST_F(Journey, FirstInstallFromACabinetThenEverythingIsCurrent) {
    Publish(L"editor.cab", L"editor.cab");
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    EXPECT_TRUE(LogHas(L"* 실행준비 시작 ********************"));
    EXPECT_TRUE(LogHas(L"* 업데이트 시작 ********************"));
    EXPECT_EQ(1u, shop.count("/shop/update/editor.cab"));
    EXPECT_EQ("[editor]\r\ntheme=light\r\n", [&] {
        auto b = testing_support::ReadFileBytes(install + L"settings.ini");
        return std::string(b.begin(), b.end());
    }());
    EXPECT_TRUE(testing_support::FileExists(install + L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
    // The editor ran with its parameters: the document's own, then the launcher's three.
    std::string calls = ModuleCalls();
    EXPECT_NE(std::string::npos, calls.find("NewWork")) << calls;
    EXPECT_NE(std::string::npos, calls.find("theme")) << calls;
    EXPECT_NE(std::string::npos, calls.find("is_local_execution")) << calls;
    // The cart was told once, and the browser went back to the shop.
    ASSERT_EQ(1u, shop.cart_requests().size());
    EXPECT_EQ(0u, shop.cart_requests()[0].find("/shop/cart?exit_code=0&keyresult=http%3A%2F%2F127.0.0.1%3A"));
    std::wstring opened = BrowserCommandLine();
    EXPECT_NE(std::wstring::npos, opened.find(shop.base() + L"/shop/return?exit_code=0&keyresult="))
        << Utf8(opened);

    // The second run: everything current, no archive fetched.
    shop.clear_requests();
    DeleteFileW((browser + L"recorded.txt").c_str());
    EXPECT_EQ(IDOK, RunDialog());
    EXPECT_EQ(0u, shop.count("/shop/update/editor.cab"));
    EXPECT_EQ(1u, shop.count("/shop/update/activeupdate.xml"));
}

TEST_F(Journey, FirstInstallFromAZipAndOneOutdatedFileReplaced) {
    Publish(L"editor.zip", L"data.zip");
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    EXPECT_EQ(1u, shop.count("/shop/update/editor.zip"));
    EXPECT_EQ(1u, shop.count("/shop/update/data.zip"));
    // A damaged installed file: only its own package comes again.
    ASSERT_TRUE(testing_support::WriteFileText(install + L"brushes.dat", "damaged"));
    shop.clear_requests();
    EXPECT_EQ(IDOK, RunDialog());
    EXPECT_EQ(0u, shop.count("/shop/update/editor.zip"));
    EXPECT_EQ(1u, shop.count("/shop/update/data.zip"));
    EXPECT_EQ(5000u, testing_support::ReadFileBytes(install + L"brushes.dat").size());
}

TEST_F(Journey, ServerFailingTheStartupEndsTheRunWithoutAnUpdate) {
    EXPECT_EQ(IDCANCEL, RunDialog(L"unknown-key"));
    EXPECT_TRUE(LogHas(L"* 오류: startup.xml을 다운로드 하지 못했습니다. (url:" + shop.launch_url() +
                       L"?key=unknown-key&field=startup)"));
    EXPECT_EQ(5u, shop.count("/shop/launch"));  // five attempts, once: the key was recorded
    EXPECT_EQ(0u, shop.count("/shop/update/activeupdate.xml") + shop.cart_requests().size());
}

TEST_F(Journey, UndecryptableManifestFailsTheUpdate) {
    ASSERT_TRUE(testing_support::WriteFileText(
        shopRoot + L"update\\activeupdate.xml",
        "<?xml version=\"1.0\"?><update data=\"bm90IGEgbWFuaWZlc3Q=\"></update>"));
    EXPECT_EQ(IDCANCEL, RunDialog());
    EXPECT_TRUE(LogHas(L"* 오류: activeupdate.xml의 포멧이 올바르지 않습니다. (url:"));
    EXPECT_TRUE(LogHas(L"*오류 : 모듈 업데이트에 실패 했습니다."));
    EXPECT_TRUE(ModuleCalls().empty());
}

TEST_F(Journey, DamagedArchiveFailsTheUpdateAndKeepsTheDownloadFolder) {
    Publish(L"editor.zip", L"editor.zip");
    std::wstring archive = shopRoot + L"update\\editor.zip";
    std::vector<unsigned char> bytes = testing_support::ReadFileBytes(archive);
    for (size_t i = 40; i < bytes.size() && i < 400; ++i) bytes[i] ^= 0x5A;
    ASSERT_TRUE(testing_support::WriteFileBytes(archive, bytes.data(), bytes.size()));
    EXPECT_EQ(IDCANCEL, RunDialog());
    EXPECT_TRUE(LogHas(L"* 오류: 파일에 압축을 풀수 없습니다. (src:" + install + L"download\\editor.zip"));
    EXPECT_TRUE(testing_support::FileExists(install + L"download"));
    EXPECT_TRUE(shop.cart_requests().empty());
}

TEST_F(Journey, EditResultWithoutUploadsOrAskingNotToCallTheCart) {
    Publish(L"editor.cab", L"editor.cab");
    SetEnv(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"0\",\"uploaded_list\":[]}");
    EXPECT_EQ(IDCANCEL, RunDialog());
    EXPECT_TRUE(LogHas(L"*알림 : 편집결과 JSON정보에 업로드 목록이 없습니다."));
    EXPECT_TRUE(LogHas(L"*오류 : 편집 결과 처리에 실패 했습니다."));
    SetEnv(L"ORVIN_TEST_MODULE_TEXT", L"{\"uploaded_list\":[\"w\"],\"off_return_url\":true}");
    EXPECT_EQ(IDCANCEL, RunDialog());
    EXPECT_TRUE(LogHas(L"*알림 : 편집결과 JSON정보에 장바구니 호출을 하지 않도록 설정했습니다."));
    EXPECT_TRUE(shop.cart_requests().empty());
    EXPECT_FALSE(testing_support::FileExists(browser + L"recorded.txt"));
}

TEST_F(Journey, CartFailingThreeTimesThenConfirming) {
    Publish(L"editor.cab", L"editor.cab");
    shop.set_cart_failures(3);
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    EXPECT_EQ(4u, shop.cart_requests().size());
    EXPECT_NE(std::wstring::npos, BrowserCommandLine().find(L"/shop/return?exit_code=0&keyresult="));
}

TEST_F(Journey, RealLauncherExecutableRunsTheWholeJourney) {
    Publish(L"editor.cab", L"data.zip");
    ExpectWholeJourneyOf(testing_support::ExecutableFolder() + L"OrvinLauncher.exe");
}

// Wine takes its own DLLs before one beside a program unless told to prefer
// native ones (Windows needs no telling). It reads WINEDLLOVERRIDES only
// from the environment Wine itself was started with, so the tests name the
// program in Wine's per-program settings instead.
class NativeDllsFirst {
public:
    NativeDllsFirst(const std::vector<std::wstring>& programs, const std::vector<std::wstring>& dlls) {
        for (const std::wstring& program : programs) {
            m_keys.push_back(L"Software\\Wine\\AppDefaults\\" + program);
            for (const std::wstring& dll : dlls) {
                const wchar_t kNativeFirst[] = L"native,builtin";
                EXPECT_EQ(ERROR_SUCCESS,
                          RegSetKeyValueW(HKEY_CURRENT_USER, (m_keys.back() + L"\\DllOverrides").c_str(),
                                          dll.c_str(), REG_SZ, kNativeFirst, sizeof(kNativeFirst)));
            }
        }
    }
    ~NativeDllsFirst() {
        for (const std::wstring& key : m_keys) RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    }

private:
    std::vector<std::wstring> m_keys;
};

// A launcher saved to a Downloads folder (under the name a browser gives a
// second download), where a web page has had the browser save DLLs named
// like Windows DLLs that the launcher uses and that are not KnownDLLs:
// Windows would look for them there first.
//
// Under Wine version.dll cannot be tried this way: Wine's own user32.dll and
// setupapi.dll import it, so Wine loads a planted copy into every program
// that uses them before the program's first line runs.
TEST_F(Journey, RealLauncherRunsNoDllPlantedBesideIt) {
    Publish(L"editor.cab", L"data.zip");
    const std::wstring bin = testing_support::ExecutableFolder();
    const std::wstring downloads = work / L"Downloads\\";
    const std::wstring launcher = L"OrvinLauncher (1).exe";
    ASSERT_TRUE(CreateDirectoryW(downloads.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((bin + L"OrvinLauncher.exe").c_str(), (downloads + launcher).c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((bin + L"planted_dll_probe.exe").c_str(), (downloads + L"planted_dll_probe.exe").c_str(),
                          FALSE));
    // Both are loaded in every run: the requests and the MD5 checks.
    const std::vector<std::wstring> planted = {L"wininet", L"bcrypt"};
    for (const std::wstring& name : planted) {
        ASSERT_TRUE(CopyFileW((bin + L"planted_dll.dll").c_str(), (downloads + name + L".dll").c_str(), FALSE));
    }
    NativeDllsFirst nativeFirst({launcher, L"planted_dll_probe.exe"}, planted);

    // The control: a program that loads these DLLs by name runs the plants.
    DWORD probeExit = 1;
    ASSERT_TRUE(testing_support::RunProcess(
        L"\"" + downloads + L"planted_dll_probe.exe\" wininet.dll bcrypt.dll", 60000, &probeExit));
    EXPECT_EQ(0u, probeExit);
    for (const std::wstring& name : planted) {
        EXPECT_TRUE(DeleteFileW((downloads + name + L".dll.ran").c_str()))
            << "the planted " << Utf8(name) << ".dll did not run in the control: this test could not see an attack";
    }

    ExpectWholeJourneyOf(downloads + launcher);
    for (const std::wstring& name : planted) {
        EXPECT_FALSE(testing_support::FileExists(downloads + name + L".dll.ran")) << "the launcher ran " << Utf8(name);
    }
}

TEST_F(Journey, PackageBrokenOffOnceIsFetchedAgainWhole) {
    Publish(L"editor.cab", L"data.zip");
    // An orderly close half-way, then (on a fresh install) a reset.
    for (bool reset : {false, true}) {
        const std::string how = reset ? "reset" : "closed";
        testing_support::RemoveTree(install);
        shop.clear_requests();
        shop.set_cuts(testing_support::ShopCut::packages, 1, reset);
        const size_t before = Log().size();
        EXPECT_EQ(IDOK, RunDialog()) << how << Utf8(Log());
        EXPECT_EQ(2u, shop.count("/shop/update/editor.cab")) << how;
        EXPECT_EQ(1u, shop.count("/shop/update/data.zip")) << how;
        EXPECT_EQ(5000u, testing_support::ReadFileBytes(install + L"brushes.dat").size()) << how;
        EXPECT_EQ(std::wstring::npos, Log().find(L"오류", before)) << how << Utf8(Log());
    }
}

TEST_F(Journey, PackageThatAlwaysBreaksOffFailsTheUpdateAndLeavesNoPartialFile) {
    Publish(L"editor.cab", L"editor.cab");
    const size_t size = testing_support::ReadFileBytes(shopRoot + L"update\\editor.cab").size();
    shop.set_cuts(testing_support::ShopCut::packages, testing_support::kCutEveryAnswer, false);
    EXPECT_EQ(IDCANCEL, RunDialog());
    const std::wstring url = shop.base() + L"/shop/update/editor.cab";
    const std::wstring path = install + L"download\\editor.cab";
    EXPECT_TRUE(LogHas(L"*오류 : 파일을 다운로드 하지 못했습니다. (url:" + url + L", status:-1, err:0x"))
        << Utf8(Log());
    EXPECT_TRUE(LogHas(L"     the response body ended after " + std::to_wstring(size / 2) + L" of " +
                       std::to_wstring(size) + L" bytes"));
    EXPECT_TRUE(LogHas(L"* 오류: 파일을 다운로드 할수 없습니다. (url" + url + L", path:" + path + L")"));
    EXPECT_TRUE(LogHas(L"*오류 : 모듈 업데이트에 실패 했습니다."));
    EXPECT_EQ(5u, shop.count("/shop/update/editor.cab"));
    EXPECT_TRUE(ModuleCalls().empty());
    EXPECT_TRUE(shop.cart_requests().empty());
    EXPECT_FALSE(testing_support::FileExists(path));
    EXPECT_FALSE(testing_support::FileExists(path + L".tmp~"));
    EXPECT_FALSE(testing_support::FileExists(install + L"Editor.dll"));

    // The server mended, the next run installs.
    shop.set_cuts(testing_support::ShopCut::packages, 0, false);
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    EXPECT_TRUE(testing_support::FileExists(install + L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
}

TEST_F(Journey, DocumentsCutAfterTheirClosingTagAreFetchedAgain) {
    Publish(L"editor.cab", L"editor.cab");
    // The startup document, then the manifest: each whole up to its closing
    // tag, but short of the length its answer announced.
    shop.set_cuts(testing_support::ShopCut::startup, 1, false);
    shop.set_cuts(testing_support::ShopCut::manifest, 1, false);
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    size_t startups = 0;
    for (const auto& r : shop.requests()) startups += r.query.find("field=startup") != std::string::npos;
    EXPECT_EQ(2u, startups);
    EXPECT_EQ(2u, shop.count("/shop/update/activeupdate.xml"));
    EXPECT_EQ(std::wstring::npos, Log().find(L"오류")) << Utf8(Log());
}

TEST_F(Journey, TwoLaunchesAtOnceInstallOnceAndBothRunTheirEditors) {
    Publish(L"editor.cab", L"data.zip");
    // Slow packages: the second launcher reaches its update while the first
    // one is still downloading.
    shop.set_package_delay(3000);
    const std::wstring dayLog = testing_support::DayLogPath();
    const size_t before = testing_support::LogSize(dayLog);
    HANDLE first = testing_support::StartProcess(LauncherLine());
    HANDLE second = testing_support::StartProcess(LauncherLine());
    EXPECT_TRUE(testing_support::FinishProcess(first, 300000));
    EXPECT_TRUE(testing_support::FinishProcess(second, 300000));
    ASSERT_TRUE(first && second);
    std::wstring text = testing_support::ReadLogSince(dayLog, before);

    EXPECT_EQ(1u, shop.count("/shop/update/editor.cab")) << Utf8(text);
    EXPECT_EQ(1u, shop.count("/shop/update/data.zip"));
    EXPECT_EQ(2u, shop.count("/shop/update/activeupdate.xml"));
    EXPECT_EQ(2u, shop.cart_requests().size());  // each run's editor gave its result
    // The install folder holds exactly the manifest's files.
    std::set<std::wstring> names;
    CFileFind find;
    BOOL more = find.FindFile(install + L"*");
    ASSERT_TRUE(more);
    while (more) {
        more = find.FindNextFile();
        if (!find.IsDots()) names.insert(find.GetFileName());
    }
    EXPECT_EQ((std::set<std::wstring>{L"Editor.dll", L"brushes.dat", L"settings.ini"}), names);

    // Both runs' records, each whole: two of every record, and every time
    // stamp at the start of a line.
    EXPECT_EQ(2u, Count(text, L"* 런처 시작 ********************")) << Utf8(text);
    EXPECT_EQ(2u, Count(text, L"* 업데이트 시작 ********************"));
    EXPECT_EQ(2u, Count(text, L"* install path: " + install + L"\r\n\r\n"));
    EXPECT_EQ(2u, Count(text, L"<app_title>Orvin 편집기</app_title>\r\n"));
    EXPECT_EQ(1u, Count(text, L"*알림 : 다른 런처가 같은 설치 폴더를 업데이트하고 있어 끝나기를 기다립니다. (path:" +
                                  install + L")\r\n"));
    EXPECT_EQ(0u, Count(text, L"오류"));
    size_t stamps = 0;
    for (size_t at = 0; at + 9 <= text.size(); ++at) {
        const bool stamp = iswdigit(text[at]) && iswdigit(text[at + 1]) && text[at + 2] == L':' &&
                           iswdigit(text[at + 3]) && iswdigit(text[at + 4]) && text[at + 5] == L':' &&
                           iswdigit(text[at + 6]) && iswdigit(text[at + 7]) && text[at + 8] == L' ';
        if (!stamp) continue;
        ++stamps;
        EXPECT_TRUE(at == 0 || (at >= 2 && text.compare(at - 2, 2, L"\r\n") == 0)) << Utf8(text.substr(at));
    }
    EXPECT_GT(stamps, 20u);
}

TEST_F(Journey, LauncherKilledDuringItsUpdateLeavesTheFolderToTheOneWaiting) {
    Publish(L"editor.cab", L"editor.cab");
    const std::wstring dayLog = testing_support::DayLogPath();
    const size_t before = testing_support::LogSize(dayLog);
    const std::wstring waiting = L"*알림 : 다른 런처가 같은 설치 폴더를 업데이트하고 있어 끝나기를 기다립니다.";
    // The first launcher waits for its package long enough to be killed while
    // it holds the install folder, and a second one waits for it.
    shop.set_package_delay(120000);
    HANDLE killed = testing_support::StartProcess(LauncherLine());
    ASSERT_TRUE(killed);
    for (int i = 0; i < 1200 && shop.count("/shop/update/editor.cab") == 0; ++i) Sleep(100);
    HANDLE next = testing_support::StartProcess(LauncherLine());
    ASSERT_TRUE(next);
    for (int i = 0; i < 1200 && Count(testing_support::ReadLogSince(dayLog, before), waiting) == 0; ++i)
        Sleep(100);
    shop.set_package_delay(0);
    EXPECT_FALSE(testing_support::FinishProcess(killed, 0));

    EXPECT_TRUE(testing_support::FinishProcess(next, 300000));
    std::wstring text = testing_support::ReadLogSince(dayLog, before);
    EXPECT_EQ(1u, Count(text, waiting)) << Utf8(text);
    EXPECT_EQ(0u, Count(text, L"오류")) << Utf8(text);
    EXPECT_EQ(2u, shop.count("/shop/update/editor.cab"));
    EXPECT_TRUE(testing_support::FileExists(install + L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
    EXPECT_EQ(1u, shop.cart_requests().size());
}

}  // namespace
