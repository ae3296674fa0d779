// What a pinned build holds against a forged server, tried the way an
// attacker would: the real pinned launcher (OrvinLauncherPinned.exe) against
// the local shop server, whose documents and update folder the test forges.
// The publisher's signed file list, the browser programs it may start and the
// install root. Keys come from testing/sign_test_modules.sh; lists are signed
// by the real producer and, once, by openssl.

#include <gtest/gtest.h>

#include <functional>

#include "support/platform.h"
#include "support/signer_key.h"
#include "testing/hosted_shop.h"
#include "app/signing_test_support.h"
#include "testing/test_support.h"
#include "tools/manifest_producer/producer.h"
#include "update/publisher_files.h"
#include "update/signed_file_list.h"

using testing_support::TempDir;

namespace {

using signing_test::Signing;
using signing_test::Utf8;

std::string ReadText(const std::wstring& path) {
    const std::vector<unsigned char> bytes = testing_support::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(SignedFileListFormat, OneReadingOrNone) {
    SignedFileList list;
    list.serial = 17;
    list.expires = 4102444800;  // 2100-01-01
    list.files = {{L"Editor.dll", std::wstring(64, L'a'), 5}, {L"sub\\Editor.dat", std::wstring(64, L'0'), 0}};
    const std::string text = FormatSignedFileList(list);
    EXPECT_EQ("orvin-file-list 1\nserial 17\nexpires 2100-01-01T00:00:00Z\n" + std::string(64, 'a') +
                  " 5 Editor.dll\n" + std::string(64, '0') + " 0 sub\\Editor.dat\n",
              text);
    SignedFileList read;
    ASSERT_TRUE(ParseSignedFileList(text.data(), text.size(), read));
    EXPECT_EQ(17u, read.serial);
    EXPECT_EQ(4102444800, read.expires);
    ASSERT_NE(nullptr, read.Find(L"SUB/editor.DAT"));
    EXPECT_EQ(0u, read.Find(L"sub/Editor.dat")->size);
    EXPECT_EQ(nullptr, read.Find(L"..\\Editor.dll"));

    const std::string line = std::string(64, 'a') + " 5 ";
    const std::string head = "orvin-file-list 1\nserial 1\nexpires 2100-01-01T00:00:00Z\n";
    for (const std::string& bad :
         {std::string(), head, head + line + "a.dll", head + line + "a.dll\r\n", head + line + "a.dll\n\n",
          head + line + "a.dll\n" + line + "A.DLL\n", head + line + "..\\a.dll\n", head + line + "x\\.\\a.dll\n",
          head + line + "a.dll.\n", head + line + "c:a.dll\n", head + line + "\xc3(.dll\n",
          head + std::string(64, 'A') + " 5 a.dll\n", head + std::string(63, 'a') + " 5 a.dll\n",
          head + std::string(64, 'a') + " 05 a.dll\n", head + std::string(64, 'a') + " -5 a.dll\n",
          head + std::string(64, 'a') + " 99999999999999999999 a.dll\n", head + line + "\n",
          "orvin-file-list 2\nserial 1\nexpires 2100-01-01T00:00:00Z\n" + line + "a.dll\n",
          "orvin-file-list 1\nserial 01\nexpires 2100-01-01T00:00:00Z\n" + line + "a.dll\n",
          "orvin-file-list 1\nserial 18446744073709551616\nexpires 2100-01-01T00:00:00Z\n" + line + "a.dll\n",
          "orvin-file-list 1\nserial 1\nexpires 2100-02-30T00:00:00Z\n" + line + "a.dll\n",
          "orvin-file-list 1\nserial 1\nexpires 2100-01-01 00:00:00Z\n" + line + "a.dll\n",
          "orvin-file-list 1\nexpires 2100-01-01T00:00:00Z\nserial 1\n" + line + "a.dll\n",
          head + line + std::string("a\0.dll\n", 7)}) {
        SignedFileList untouched;
        untouched.serial = 99;
        EXPECT_FALSE(ParseSignedFileList(bad.data(), bad.size(), untouched)) << bad;
        EXPECT_EQ(99u, untouched.serial);
    }
}

// The shop at the pinned launcher's own origin, with an install folder of
// the test's own.
class PinnedLauncher : public ::testing::Test {
protected:
    PinnedLauncher() : shop(work.path() + L"shop\\", ORVIN_PINNED_TEST_PORT) {}

    void SetUp() override {
        // Named first: the tear-down removes it whatever stops the set-up.
        installRelative = L"OrvinTrust\\Pinned_" + testing_support::Utf8ToWideString(
                                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        install = GetDataRootFolder() + L"\\" + installRelative + L"\\";
        testing_support::RemoveTree(install);
        ASSERT_NE(0, shop.port());
        shopRoot = work / L"shop\\";
        module = work / L"module\\";
        for (const std::wstring& f : {shopRoot, shopRoot + L"startup\\", shopRoot + L"update\\", module}) {
            CreateDirectoryW(f.c_str(), nullptr);
        }
        moduleLog = work / L"module-calls.txt";
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", moduleLog.c_str());
        // A usable result: with no return pages in the document the run ends well.
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"0\",\"uploaded_list\":[\"w\"]}");
        WriteStartup(installRelative);
        ASSERT_TRUE(CopyFileW(Signing(L"Signed.dll").c_str(), (module + L"Editor.dll").c_str(), FALSE));
        ASSERT_TRUE(testing_support::WriteFileText(module + L"Editor.dat", "settings the editor trusts\r\n"));
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", nullptr);
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", nullptr);
        testing_support::RemoveTree(install);
    }

    // The startup document; more: further elements.
    void WriteStartup(const std::wstring& installPath, const std::string& more = std::string()) {
        ASSERT_TRUE(testing_support::WriteFileText(
            shopRoot + L"startup\\K1.xml",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<startup>\r\n  <install_path>" + Utf8(installPath) +
                "</install_path>\r\n  <update_url ssl=\"\">$(SERVER)/shop/update/</update_url>\r\n"
                "  <todo>new_work</todo>\r\n" + more + "</startup>\r\n"));
    }

    // Packs the module folder's files into editor.cab; signed with the
    // publisher's key unless told otherwise (a forger has no key: the list
    // already on the server stays).
    void Publish(const std::vector<std::wstring>& files, bool sign = true) {
        producer::ProducerOptions options;
        options.sourceFolder = module;
        options.outputFolder = shopRoot + L"update\\";
        options.module = L"Editor.dll";
        options.packages = {{L"editor.cab", files}};
        if (sign) {
            options.signCert = Signing(L"publisher.pem");
            options.signKey = Signing(L"publisher.key");
        }
        std::wstring error;
        ASSERT_EQ(producer::ProduceResult::ok, producer::ProduceManifest(options, error)) << Utf8(error);
    }
    // Puts a list signed with `who`'s key over `document` on the server.
    void ServeList(const std::string& document, const std::wstring& who = L"publisher") {
        std::string signedData;
        std::wstring error;
        ASSERT_TRUE(producer::SignFileList(ReadText(Signing(who + L".pem")), ReadText(Signing(who + L".key")),
                                           document, signedData, error))
            << Utf8(error);
        ASSERT_TRUE(testing_support::WriteFileText(shopRoot + L"update\\activeupdate.sig", signedData));
    }
    void ServeOpensslList() {
        ASSERT_TRUE(CopyFileW(Signing(L"OpensslList.sig").c_str(), (shopRoot + L"update\\activeupdate.sig").c_str(),
                              FALSE));
    }

    // One run of a real launcher; the day log's records of it.
    std::wstring Run(const wchar_t* program = L"OrvinLauncherPinned.exe") {
        shop.clear_requests();
        const std::wstring dayLog = testing_support::DayLogPath();
        const size_t before = testing_support::LogSize(dayLog);
        EXPECT_TRUE(testing_support::RunProcess(L"\"" + testing_support::ExecutableFolder() + program +
                                                    L"\" \"orvin://key=K1&svr=" + shop.launch_url() + L"\"",
                                                300000));
        return testing_support::ReadLogSince(dayLog, before);
    }
    bool ModuleRan() { return testing_support::FileExists(moduleLog) && DeleteFileW(moduleLog.c_str()); }
    std::wstring ListUrl() { return shop.base() + L"/shop/update/activeupdate.sig"; }
    std::string Installed(const wchar_t* name) { return ReadText(install + name); }

    TempDir work;
    testing_support::HostedShop shop;
    std::wstring shopRoot, module, install, installRelative, moduleLog;
};

TEST_F(PinnedLauncher, OnlyListedFilesAreInstalledOrKeptAndNoListIsOlderThanTheLastOne) {
    // The list as openssl writes it (serial 1, the module alone) is read.
    Publish({L"Editor.dll"});
    ServeOpensslList();
    std::wstring text = Run();
    EXPECT_EQ(std::wstring::npos, text.find(L"오류")) << Utf8(text);
    EXPECT_TRUE(ModuleRan());
    EXPECT_EQ("1", ReadText(PublisherFiles::SerialPath(install)));

    // The producer's list; a DLL planted beside the module (where the loader
    // looks first) and one in a subfolder go before anything is loaded.
    Publish({L"Editor.dll", L"Editor.dat"});
    CreateDirectoryW((install + L"plugins").c_str(), nullptr);
    for (const wchar_t* planted : {L"version.dll", L"plugins\\winmm.DLL"}) {
        ASSERT_TRUE(CopyFileW(Signing(L"Unsigned.dll").c_str(), (install + planted).c_str(), FALSE));
    }
    ASSERT_TRUE(testing_support::WriteFileText(install + L"notes.txt", "data the list does not name"));
    text = Run();
    EXPECT_EQ(std::wstring::npos, text.find(L"오류")) << Utf8(text);
    EXPECT_TRUE(ModuleRan());
    EXPECT_NE(std::wstring::npos,
              text.find(L"*알림 : 목록에 없는 프로그램 파일을 지웠습니다. (path:" + install + L"version.dll)"))
        << Utf8(text);
    EXPECT_FALSE(testing_support::FileExists(install + L"version.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"plugins\\winmm.DLL"));
    EXPECT_TRUE(testing_support::FileExists(install + L"notes.txt"));
    const std::string serial = ReadText(PublisherFiles::SerialPath(install));
    EXPECT_GT(serial.size(), 9u) << serial;  // the time of publishing
    EXPECT_EQ(1u, shop.count("/shop/update/activeupdate.sig"));

    // A forger's manifest and package that add a DLL, or change a data file
    // (with its MD5 in the manifest): nothing of them is installed or run.
    const std::string trusted = Installed(L"Editor.dat");
    ASSERT_TRUE(CopyFileW(Signing(L"Unsigned.dll").c_str(), (module + L"winmm.dll").c_str(), FALSE));
    Publish({L"Editor.dll", L"Editor.dat", L"winmm.dll"}, false);
    text = Run();
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : activeupdate.sig에 없는 파일입니다. (name:winmm.dll)"))
        << Utf8(text);
    EXPECT_EQ(0u, shop.count("/shop/update/editor.cab"));
    ASSERT_TRUE(testing_support::WriteFileText(module + L"Editor.dat", "settings of the forger\r\n"));
    Publish({L"Editor.dll", L"Editor.dat"}, false);
    text = Run();
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 다운로드 받은 파일이 서명된 목록과 다릅니다. (src:" + install +
                                            L"download\\Editor.dat)"))
        << Utf8(text);
    EXPECT_FALSE(ModuleRan());
    EXPECT_FALSE(testing_support::FileExists(install + L"winmm.dll"));
    EXPECT_NE("settings of the forger\r\n", Installed(L"Editor.dat"));

    // The publisher's own older list, validly signed: refused.
    ASSERT_TRUE(testing_support::WriteFileText(module + L"Editor.dat", trusted));
    Publish({L"Editor.dll"});
    ServeOpensslList();
    text = Run();
    EXPECT_NE(std::wstring::npos,
              text.find(L"*오류 : activeupdate.sig의 일련번호가 이미 받은 것보다 낮습니다. (serial:1, accepted:" +
                        testing_support::Utf8ToWideString(serial) + L")"))
        << Utf8(text);
    EXPECT_FALSE(ModuleRan());
    EXPECT_EQ(0u, shop.count("/shop/update/editor.cab"));

    // The default launcher neither asks for the list nor needs it.
    text = Run(L"OrvinLauncher.exe");
    EXPECT_TRUE(ModuleRan()) << Utf8(text);
    EXPECT_EQ(0u, shop.count("/shop/update/activeupdate.sig"));
}

TEST_F(PinnedLauncher, AMissingForeignExpiredOrMalformedListStopsTheUpdate) {
    Publish({L"Editor.dll", L"Editor.dat"});
    SignedFileList list;
    const std::string good = ReadText(shopRoot + L"update\\activeupdate.sig");
    {
        // What the producer signed, read back to forge variants of it.
        std::string content;
        std::wstring key;
        DWORD status = 0;
        ASSERT_TRUE(ReadSignedMessage(reinterpret_cast<const unsigned char*>(good.data()), good.size(), content, key,
                                      status));
        ASSERT_TRUE(ParseSignedFileList(content.data(), content.size(), list));
    }
    SignedFileList expired = list;
    expired.expires = 1577836800;  // 2020-01-01
    std::string crlf = FormatSignedFileList(list);
    crlf.insert(crlf.find('\n'), "\r");
    std::string altered = good;
    altered[altered.find("Editor.dat")] = 'e';

    const struct {
        const char* what;
        std::function<void()> forge;
        std::wstring record;
    } cases[] = {
        {"missing", [&] { DeleteFileW((shopRoot + L"update\\activeupdate.sig").c_str()); },
         L"*오류 : activeupdate.sig를 다운로드 하지 못했습니다. (url:" + ListUrl() + L")"},
        {"other key", [&] { ServeList(FormatSignedFileList(list), L"other"); },
         L"*오류 : 허용되지 않은 서명자의 파일 목록입니다. (url:" + ListUrl() + L", key:"},
        {"expired", [&] { ServeList(FormatSignedFileList(expired)); },
         L"*오류 : activeupdate.sig의 유효 기간이 지났습니다. (url:" + ListUrl() + L", expires:2020-01-01T00:00:00Z)"},
        {"malformed", [&] { ServeList(crlf); },
         L"*오류 : activeupdate.sig의 포멧이 올바르지 않습니다. (url:" + ListUrl() + L")"},
        {"altered", [&] { testing_support::WriteFileText(shopRoot + L"update\\activeupdate.sig", altered); },
         L"*오류 : activeupdate.sig의 서명이 올바르지 않습니다. (url:" + ListUrl() + L", 0x"},
        {"not a signature", [&] { testing_support::WriteFileText(shopRoot + L"update\\activeupdate.sig", crlf); },
         L"*오류 : activeupdate.sig의 서명이 올바르지 않습니다. (url:" + ListUrl() + L", 0x"},
    };
    for (const auto& c : cases) {
        c.forge();
        const std::wstring text = Run();
        EXPECT_NE(std::wstring::npos, text.find(c.record)) << c.what << "\n" << Utf8(text);
        EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 모듈 업데이트에 실패 했습니다.")) << c.what;
        EXPECT_FALSE(ModuleRan()) << c.what;
        EXPECT_EQ(0u, shop.count("/shop/update/editor.cab")) << c.what;
        EXPECT_FALSE(testing_support::FileExists(install + L"Editor.dll")) << c.what;
    }
}

TEST_F(PinnedLauncher, AnInstallPathOutsideTheInstallRootIsRefusedBeforeAnythingIsTouched) {
    Publish({L"Editor.dll"});
    // Another program's folder below LocalLow, with a download folder of its own.
    const std::wstring victimRelative = L"OrvinVictim" + std::to_wstring(GetCurrentProcessId());
    const std::wstring victim = GetDataRootFolder() + L"\\" + victimRelative + L"\\";
    CreateDirectoryW(victim.c_str(), nullptr);
    CreateDirectoryW((victim + L"download").c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(victim + L"download\\keep.txt", "theirs"));
    ASSERT_TRUE(testing_support::WriteFileText(victim + L"Editor.dll", "theirs"));
    for (const std::wstring& path : std::vector<std::wstring>{victimRelative, L"OrvinTrustee\\x", L"\\" + victimRelative + L"\\OrvinTrust"}) {
        WriteStartup(path);
        const std::wstring text = Run();
        EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 설치 폴더입니다. (path:")) << Utf8(text);
        EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 모듈 업데이트에 실패 했습니다.")) << Utf8(path);
        EXPECT_EQ(0u, shop.count("/shop/update/activeupdate.xml")) << Utf8(path);
        EXPECT_FALSE(ModuleRan()) << Utf8(path);
    }
    EXPECT_EQ("theirs", ReadText(victim + L"download\\keep.txt"));
    EXPECT_EQ("theirs", ReadText(victim + L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(GetDataRootFolder() + L"\\OrvinTrustee"));
    testing_support::RemoveTree(victim);

    // Inside the root in another letter case: installed and run.
    WriteStartup(L"ORVINTRUST\\" + installRelative.substr(installRelative.find(L'\\') + 1));
    const std::wstring text = Run();
    EXPECT_EQ(std::wstring::npos, text.find(L"오류")) << Utf8(text);
    EXPECT_TRUE(ModuleRan());
}

TEST_F(PinnedLauncher, OnlyTheListedBrowserProgramStartsAndTakesTheUrlAsOneArgument) {
    Publish({L"Editor.dll"});
    // The browser the build lists, and the same program anywhere else.
    const std::wstring listed = Signing(L"browser\\");
    const std::wstring other = work / L"other\\";
    CreateDirectoryW(other.c_str(), nullptr);
    for (const std::wstring& folder : {listed, other}) {
        ASSERT_TRUE(CopyFileW((testing_support::ExecutableFolder() + L"cart_test_recorder.exe").c_str(),
                              (folder + L"browser.exe").c_str(), FALSE));
        DeleteFileW((folder + L"recorded.txt").c_str());
    }
    // A return page whose query would be a second command to a shell.
    const std::string returnUrl = "$(SERVER)/shop/return?x=;calc;";
    auto document = [&](const std::wstring& browser) {
        return "  <return_url>" + returnUrl + "</return_url>\r\n  <agent type=\"file\">" + Utf8(browser) +
               "browser.exe</agent>\r\n";
    };

    WriteStartup(installRelative, document(listed));
    std::wstring text = Run();
    EXPECT_TRUE(ModuleRan()) << Utf8(text);
    const std::wstring recorded = listed + L"recorded.txt";
    for (int waited = 0; waited < 300 && !testing_support::FileExists(recorded); ++waited) Sleep(100);
    const std::vector<unsigned char> bytes = testing_support::ReadFileBytes(recorded);
    const std::wstring line(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(nullptr, argv) << Utf8(line);
    EXPECT_EQ(2, count) << Utf8(line);
    const std::wstring argument = count == 2 ? argv[1] : L"";
    LocalFree(argv);
    EXPECT_EQ(0u, argument.find(shop.base() + L"/shop/return?x=;calc;")) << Utf8(line);
    EXPECT_NE(std::wstring::npos, line.find(L" \"" + argument + L"\"")) << Utf8(line);

    // Any other program: refused, the default browser opens instead.
    WriteStartup(installRelative, document(other));
    text = Run();
    EXPECT_TRUE(ModuleRan()) << Utf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"*경고 : 허용되지 않은 브라우저 프로그램입니다. (path:" + other +
                                            L"browser.exe)"))
        << Utf8(text);
    EXPECT_FALSE(testing_support::FileExists(other + L"recorded.txt"));
}

}  // namespace
