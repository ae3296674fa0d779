// Publisher trust: the origin rule, the signature check on real signed DLLs
// (keys made at build time by testing/sign_test_modules.sh), the driver's
// refusals for each kind of address, and one journey through the real
// launcher built with the test origin and keys (OrvinLauncherPinned.exe).

#include <gtest/gtest.h>

#include <functional>

#include "app/OrvinLauncherDlg.h"
#include "app/launch_dialog_test_support.h"
#include "editor/module_host.h"
#include "editor/module_signature.h"
#include "resources/resource.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/publisher_trust.h"
#include "app/signing_test_support.h"
#include "testing/test_support.h"
#include "tools/manifest_producer/producer.h"
#include "testing/hosted_shop.h"

using testing_support::TempDir;

namespace {

using signing_test::Signing;
using signing_test::Utf8;

std::wstring Pin(const std::wstring& name) {
    std::vector<unsigned char> bytes = testing_support::ReadFileBytes(Signing(name + L".pin"));
    std::string text(bytes.begin(), bytes.end());
    return testing_support::Utf8ToWideString(text.substr(0, text.find_first_of("\r\n")));
}

// Puts a trust of the test's own in place of the built-in one.
class ScopedTrust {
public:
    ScopedTrust(const std::wstring& origins, const std::wstring& keys)
        : m_trust(origins, keys), m_previous(PublisherTrust::Use(&m_trust)) {}
    ~ScopedTrust() { PublisherTrust::Use(m_previous); }

private:
    PublisherTrust m_trust;
    const PublisherTrust* m_previous;
};

class LogToFile {
public:
    explicit LogToFile(std::wstring path) : m_path(std::move(path)) {
        Logger::Release();
        Logger::Instance()->SetFilePath(m_path);
    }
    ~LogToFile() { Logger::Release(); }
    std::wstring Text() const { return testing_support::ReadLogFile(m_path); }
    bool Has(const std::wstring& text) const { return Text().find(text) != std::wstring::npos; }

private:
    std::wstring m_path;
};

TEST(OriginRule, SchemeHostAndPortWithDefaultsAndNothingThatCouldMeanAnotherHost) {
    EXPECT_EQ(L"https://shop.example:443", UrlOrigin(L"HTTPS://Shop.EXAMPLE/launch?key=1"));
    EXPECT_EQ(L"http://shop.example:80", UrlOrigin(L"http://shop.example:80"));
    EXPECT_EQ(L"http://127.0.0.1:8080", UrlOrigin(L"http://127.0.0.1:8080?x#y"));
    // The origin is the host the request layer would connect to: Wine's split
    // escapes an IPv6 address's brackets (and could not connect to it).
    const std::wstring v6 = UrlOrigin(L"https://[::1]:8443/a");
    EXPECT_TRUE(v6.empty() || v6 == L"https://[::1]:8443") << Utf8(v6);
    for (const wchar_t* odd :
         {L"", L"shop.example", L"ftp://shop.example/", L"https:///path", L"https://shop.example@evil.test/",
          L"https://evil.test\\@shop.example/", L"https://shop%2eexample/", L"https://shop.example:0/",
          L"https://shop.example:65536/", L"https://shop.example:/", L"https://shop.example:44x/",
          L"https://sh op.example/", L"javascript://shop.example/%0aalert(1)"}) {
        EXPECT_EQ(L"", UrlOrigin(odd)) << Utf8(odd);
    }

    const PublisherTrust open;
    EXPECT_FALSE(open.PinsOrigins());
    EXPECT_FALSE(open.PinsKeys());
    EXPECT_TRUE(open.AllowsUrl(L"http://anywhere.test/") && open.AllowsUrl(L"not a url"));
    EXPECT_TRUE(open.AllowsKey(L"anything"));
    // Tests and tools link the unpinned settings; only shipped executables
    // compile their own.
    EXPECT_FALSE(PublisherTrust::Current().PinsOrigins() || PublisherTrust::Current().PinsKeys());

    const PublisherTrust shop(L" https://shop.example ; https://cdn.shop.example:8443/;http://127.0.0.1:8080", L"");
    EXPECT_TRUE(shop.PinsOrigins());
    EXPECT_FALSE(shop.PinsKeys());
    for (const wchar_t* allowed :
         {L"https://SHOP.example/launch?key=1&field=startup", L"https://shop.example:443/update/",
          L"https://cdn.shop.example:8443/update/editor.cab", L"http://127.0.0.1:8080/shop/cart?exit_code=0"}) {
        EXPECT_TRUE(shop.AllowsUrl(allowed)) << Utf8(allowed);
    }
    for (const wchar_t* foreign :
         {L"http://shop.example/launch", L"https://shop.example:8443/", L"https://cdn.shop.example/update/",
          L"https://shop.example.evil.test/", L"https://evilshop.example/", L"https://shop.example@evil.test/",
          L"http://127.0.0.1:8081/", L"http://localhost:8080/", L"", L"/shop/cart"}) {
        EXPECT_FALSE(shop.AllowsUrl(foreign)) << Utf8(foreign);
    }
    // A list with a typing error pins and matches nothing, rather than opening.
    EXPECT_FALSE(PublisherTrust(L"shop.example", L"").AllowsUrl(L"https://shop.example/"));
    EXPECT_FALSE(PublisherTrust(L"https://shop.example/launch", L"").AllowsUrl(L"https://shop.example/launch"));

    const std::wstring pin(64, L'a');
    const PublisherTrust keys(L"", L"AAAA" + pin.substr(4) + L";" + std::wstring(64, L'b'));
    EXPECT_FALSE(keys.PinsOrigins());
    EXPECT_TRUE(keys.AllowsUrl(L"http://anywhere.test/"));
    EXPECT_TRUE(keys.AllowsKey(pin) && keys.AllowsKey(std::wstring(64, L'B')));
    EXPECT_FALSE(keys.AllowsKey(std::wstring(64, L'c')) || keys.AllowsKey(L""));
    EXPECT_FALSE(PublisherTrust(L"", L"ab12").AllowsKey(L"ab12"));

    TempDir work;
    LogToFile log(work / L"log.txt");
    {
        ScopedTrust trust(L"https://shop.example", L"");
        EXPECT_TRUE(CheckUrlOrigin(L"https://shop.example/cart"));
        EXPECT_FALSE(CheckUrlOrigin(L"https://evil.test/cart?x=1"));
    }
    EXPECT_TRUE(CheckUrlOrigin(L"https://evil.test/other"));  // the built-in trust again: unpinned
    const std::wstring text = log.Text();
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 주소입니다. (url:https://evil.test/cart?x=1)\r\n"))
        << Utf8(text);
    EXPECT_EQ(std::wstring::npos, text.find(L"shop.example/cart"));
    EXPECT_EQ(std::wstring::npos, text.find(L"evil.test/other"));
}

TEST(ModuleSignature, WineVerifiesTheSignatureAndTheSignerKeyIsTheOpensslPin) {
    struct Case {
        const wchar_t* file;
        LONG status;
        const wchar_t* pin;
    } cases[] = {{L"Signed.dll", 0, L"publisher"},
                 {L"NextKey.dll", 0, L"next"},
                 {L"OtherKey.dll", 0, L"other"},
                 {L"Unsigned.dll", TRUST_E_NOSIGNATURE, nullptr},
                 {L"Tampered.dll", TRUST_E_BAD_DIGEST, nullptr},
                 // Self-signed like the others, but expired without a
                 // timestamp, or made for TLS servers: no pin forgives either.
                 {L"Expired.dll", CERT_E_EXPIRED, nullptr},
                 {L"WrongUsage.dll", CERT_E_WRONG_USAGE, nullptr}};
    ASSERT_NE(Pin(L"publisher"), Pin(L"other"));
    for (const Case& c : cases) {
        ScopedHandle file(CreateFileW(Signing(c.file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file) << Utf8(c.file);
        ModuleSignature signature;
        EXPECT_EQ(c.pin != nullptr, ReadModuleSignature(file.get(), Signing(c.file), signature)) << Utf8(c.file);
        EXPECT_EQ(c.status, signature.status) << Utf8(c.file) << " " << std::hex << signature.status;
        EXPECT_EQ(c.pin ? Pin(c.pin) : L"", signature.signerKey) << Utf8(c.file);
    }
    TempDir work;
    LogToFile log(work / L"log.txt");
    ScopedTrust trust(L"", Pin(L"expired") + L";" + Pin(L"wrongusage"));
    for (const wchar_t* file : {L"Expired.dll", L"WrongUsage.dll"}) {
        ScopedHandle hold;
        EXPECT_FALSE(VerifyEditorModule(Signing(file), hold)) << Utf8(file);
        EXPECT_FALSE(hold);
    }
    EXPECT_TRUE(log.Has(L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:" + Signing(L"Expired.dll") + L", 0x800b0101)"))
        << Utf8(log.Text());
    EXPECT_TRUE(log.Has(L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:" + Signing(L"WrongUsage.dll") +
                        L", 0x800b0110)"));
}

TEST(ModuleSignature, ManifestProducerNamesTheSignersKeyAndRefusesUnsignedOnlyWhenAsked) {
    producer::ProducerOptions options;
    options.sourceFolder = Signing(L"");
    std::wstring key;
    long status = -1;
    options.module = L"Signed.dll";
    EXPECT_TRUE(producer::ReadModuleSigner(options, key, status));
    EXPECT_EQ(Pin(L"publisher"), key);
    options.module = L"Unsigned.dll";
    EXPECT_FALSE(producer::ReadModuleSigner(options, key, status));
    EXPECT_EQ(TRUST_E_NOSIGNATURE, status);
    options.module = L"Missing.dll";
    EXPECT_FALSE(producer::ReadModuleSigner(options, key, status));
    EXPECT_EQ(0, status);  // left to the producer's own validation

    TempDir out;
    auto produce = [&](const std::wstring& module, const wchar_t* flag) {
        DeleteFileW((out / L"activeupdate.xml").c_str());
        DWORD code = 99;
        EXPECT_TRUE(testing_support::RunProcess(
            L"\"" + testing_support::ExecutableFolder() + L"manifest_producer.exe\" --source \"" + Signing(L"") +
                L".\" --output \"" + out.path() + L".\" --module " + module + L" --package editor.cab=" + module +
                flag,
            120000, &code));
        EXPECT_EQ(code == 0, testing_support::FileExists(out / L"activeupdate.xml"));
        return code;
    };
    EXPECT_EQ(0u, produce(L"Unsigned.dll", L""));  // a warning only
    EXPECT_EQ(1u, produce(L"Unsigned.dll", L" --require-signed"));
    EXPECT_EQ(1u, produce(L"Tampered.dll", L" --require-signed"));
    EXPECT_EQ(0u, produce(L"OtherKey.dll", L" --require-signed"));  // signed; which key is the launcher's business
}

constexpr UINT kRunBody = WM_APP + 9;

// The launcher's dialog template as the editor's owner, the body run inside
// its modal loop as the launcher runs the editor.
class HostDialog : public CDialog {
public:
    explicit HostDialog(std::function<void(HostDialog&)> body)
        : CDialog(IDD_ORVINLAUNCHER_DIALOG, nullptr), m_body(std::move(body)) {}
    BOOL OnInitDialog() override {
        ::PostMessageW(m_hWnd, kRunBody, 0, 0);
        return TRUE;
    }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message != kRunBody) return CDialog::OnMessage(message, wParam, lParam, result);
        m_body(*this);
        EndDialog(IDOK);
        result = 0;
        return true;
    }

private:
    std::function<void(HostDialog&)> m_body;
};

TEST(ModuleSignature, OnlyThePublishersModuleLoadsAndTheCheckedFileCannotBeSwapped) {
    TempDir work;
    LogToFile log(work / L"log.txt");
    const std::wstring calls = work / L"calls.txt";
    SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", calls.c_str());
    SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{}");
    startup_file_xml startup;
    startup.install_path = work.path();
    startup.todo = L"new_work";
    const std::wstring installed = work / L"Editor.dll";
    auto run = [&](const wchar_t* file) {
        DeleteFileW(calls.c_str());
        EXPECT_TRUE(CopyFileW(Signing(file).c_str(), installed.c_str(), FALSE));
        bool result = false;
        HostDialog dialog([&](HostDialog& d) {
            std::wstring editResult;
            result = RunEditorModule(d, startup, L"Editor.dll", editResult);
        });
        dialog.DoModal();
        return result && testing_support::FileExists(calls);
    };

    {
        // Without keys every module loads, the unsigned and the tampered ones too.
        EXPECT_TRUE(run(L"Unsigned.dll"));
        EXPECT_TRUE(run(L"Tampered.dll"));
        ScopedTrust trust(L"", Pin(L"publisher") + L";" + Pin(L"next"));
        EXPECT_TRUE(run(L"Signed.dll")) << Utf8(log.Text());
        EXPECT_TRUE(run(L"NextKey.dll")) << Utf8(log.Text());  // the key a shop rotates to
        EXPECT_EQ(std::wstring::npos, log.Text().find(L"오류")) << Utf8(log.Text());
        // A file replaced after its install is checked when it is loaded.
        EXPECT_FALSE(run(L"OtherKey.dll"));
        EXPECT_FALSE(run(L"Unsigned.dll"));
        EXPECT_FALSE(run(L"Tampered.dll"));
        EXPECT_EQ(nullptr, GetModuleHandleW(installed.c_str()));
    }
    const std::wstring text = log.Text();
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 서명자의 모듈입니다. (path:" + installed +
                                            L", key:" + Pin(L"other") + L")\r\n"))
        << Utf8(text);
    EXPECT_NE(std::wstring::npos,
              text.find(L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:" + installed + L", 0x800b0100)\r\n"));
    EXPECT_NE(std::wstring::npos,
              text.find(L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:" + installed + L", 0x80096010)\r\n"));
    EXPECT_EQ(std::wstring::npos, text.find(L"모듈을 로딩하지 못했습니다"));

    // Between the check and the mapping nobody can write, replace, rename or
    // delete the file; the loader can still map it.
    ScopedTrust trust(L"", Pin(L"publisher"));
    ASSERT_TRUE(CopyFileW(Signing(L"Signed.dll").c_str(), installed.c_str(), FALSE));
    const std::wstring other = work / L"other.dll";
    const std::wstring renamed = work / L"renamed.dll";
    ASSERT_TRUE(CopyFileW(Signing(L"OtherKey.dll").c_str(), other.c_str(), FALSE));
    ScopedHandle hold;
    ASSERT_TRUE(VerifyEditorModule(installed, hold));
    ASSERT_TRUE(hold);
    EXPECT_FALSE(CopyFileW(other.c_str(), installed.c_str(), FALSE));
    EXPECT_FALSE(MoveFileExW(other.c_str(), installed.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(MoveFileExW(installed.c_str(), renamed.c_str(), 0));
    EXPECT_FALSE(DeleteFileW(installed.c_str()));
    ScopedHandle writer(CreateFileW(installed.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                    FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    HMODULE module = LoadLibraryExW(installed.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    EXPECT_NE(nullptr, module);
    hold.reset();
    if (module) FreeLibrary(module);
    EXPECT_TRUE(CopyFileW(other.c_str(), installed.c_str(), FALSE));  // released: the swap works again
    SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", nullptr);
    SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", nullptr);
}

// Runs against the local shop server with the test editor module published
// in whichever signed form the case asks for.
class PinnedJourney : public ::testing::Test {
protected:
    explicit PinnedJourney(int port = 0) : shop(work.path() + L"shop\\", port) {}

    void SetUp() override {
        ASSERT_NE(0, shop.port());
        log = work / L"run.log";
        Logger::Release();
        Logger::Instance()->SetFilePath(log);
        shopRoot = work / L"shop\\";
        module = work / L"module\\";
        browser = Signing(L"browser\\");  // the one the pinned executable may start
        for (const std::wstring& f : {shopRoot, shopRoot + L"startup\\", shopRoot + L"update\\", module, browser}) {
            CreateDirectoryW(f.c_str(), nullptr);
        }
        ASSERT_TRUE(CopyFileW((testing_support::ExecutableFolder() + L"cart_test_recorder.exe").c_str(),
                              (browser + L"browser.exe").c_str(), FALSE));
        installRelative = L"OrvinTrust\\" + testing_support::Utf8ToWideString(
                                                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        install = GetDataRootFolder() + L"\\" + installRelative + L"\\";
        testing_support::RemoveTree(install);
        moduleLog = work / L"module-calls.txt";
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", moduleLog.c_str());
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", L"{\"exit_code\":\"0\",\"uploaded_list\":[\"work-1\"]}");
        WriteStartup(L"K1", L"$(SERVER)");
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_LOG", nullptr);
        SetEnvironmentVariableW(L"ORVIN_TEST_MODULE_TEXT", nullptr);
        Logger::Release();
        testing_support::RemoveTree(install);
    }

    // update: base of the update folder; shop: base of the cart and return pages.
    void WriteStartup(const std::wstring& key, const std::wstring& shopBase,
                      const std::wstring& updateBase = L"$(SERVER)") {
        const std::string doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<startup>\r\n  <install_path>" +
                                Utf8(installRelative) + "</install_path>\r\n  <update_url ssl=\"\">" +
                                Utf8(updateBase) +
                                "/shop/update/</update_url>\r\n  <todo>new_work</todo>\r\n"
                                "  <return_url>" +
                                Utf8(shopBase) + "/shop/return</return_url>\r\n  <return2_url>" + Utf8(shopBase) +
                                "/shop/cart</return2_url>\r\n  <setkey_url>$(SERVER)/shop/launch</setkey_url>\r\n"
                                "  <agent type=\"file\">" +
                                Utf8(browser) + "browser.exe</agent>\r\n</startup>\r\n";
        ASSERT_TRUE(testing_support::WriteFileText(shopRoot + L"startup\\" + key + L".xml", doc));
    }

    void Publish(const wchar_t* signedForm) {
        ASSERT_TRUE(CopyFileW(Signing(signedForm).c_str(), (module + L"Editor.dll").c_str(), FALSE));
        producer::ProducerOptions options;
        options.sourceFolder = module;
        options.outputFolder = shopRoot + L"update\\";
        options.module = L"Editor.dll";
        options.packages = {{L"editor.cab", {L"Editor.dll"}}};
        options.signCert = Signing(L"publisher.pem");  // the list a keyed launcher requires
        options.signKey = Signing(L"publisher.key");
        std::wstring error;
        ASSERT_EQ(producer::ProduceResult::ok, producer::ProduceManifest(options, error)) << Utf8(error);
    }

    std::wstring CommandLine(const std::wstring& program, const std::wstring& server) {
        return L"\"" + program + L"\" \"orvin://key=K1&svr=" + server + L"/shop/launch\"";
    }
    INT_PTR RunDialog() {
        LaunchDialog dialog(CommandLine(L"C:\\Orvin\\OrvinLauncher.exe", shop.base()));
        return dialog.DoModal();
    }

    std::wstring Log() { return testing_support::ReadLogFile(log); }
    bool LogHas(const std::wstring& text) { return Log().find(text) != std::wstring::npos; }
    bool BrowserOpened(DWORD waitMs) {
        const std::wstring recorded = browser + L"recorded.txt";
        for (DWORD waited = 0; waited < waitMs && !testing_support::FileExists(recorded); waited += 100) Sleep(100);
        const bool opened = testing_support::FileExists(recorded);
        DeleteFileW(recorded.c_str());
        return opened;
    }
    bool ModuleRan() { return testing_support::FileExists(moduleLog) && DeleteFileW(moduleLog.c_str()); }

    TempDir work;
    std::wstring log, shopRoot, module, browser, install, installRelative, moduleLog;
    testing_support::HostedShop shop;
};

TEST_F(PinnedJourney, EachKindOfAddressOutsideTheOriginsIsRefusedBeforeAnyRequest) {
    Publish(L"Signed.dll");
    ScopedTrust trust(shop.base(), Pin(L"publisher"));

    // Everything at the shop's own origin, the module signed by the shop.
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    EXPECT_EQ(std::wstring::npos, Log().find(L"오류")) << Utf8(Log());
    EXPECT_TRUE(ModuleRan());
    EXPECT_EQ(1u, shop.count("/shop/cart"));
    EXPECT_TRUE(BrowserOpened(30000));

    // Cart and return page at another server: both skipped, the run still
    // succeeds. (That server answers, so a request that slips through shows.)
    testing_support::HostedShop elsewhere(work.path() + L"shop\\");
    WriteStartup(L"K1", elsewhere.base());
    EXPECT_EQ(IDOK, RunDialog()) << Utf8(Log());
    EXPECT_TRUE(ModuleRan());
    for (const wchar_t* page : {L"/shop/cart", L"/shop/return"}) {
        EXPECT_TRUE(LogHas(L"*오류 : 허용되지 않은 주소입니다. (url:" + elsewhere.base() + page +
                           L"?exit_code=0&keyresult=")) << Utf8(page);
    }
    EXPECT_FALSE(BrowserOpened(1000));

    // The update folder elsewhere: the update fails before the manifest is asked for.
    WriteStartup(L"K1", L"$(SERVER)", elsewhere.base());
    EXPECT_EQ(IDCANCEL, RunDialog());
    EXPECT_TRUE(LogHas(L"*오류 : 허용되지 않은 주소입니다. (url:" + elsewhere.base() + L"/shop/update/)"));
    EXPECT_TRUE(LogHas(L"*오류 : 모듈 업데이트에 실패 했습니다."));
    EXPECT_FALSE(ModuleRan());
    EXPECT_TRUE(elsewhere.requests().empty());

    // A server address elsewhere: nothing is requested at all.
    shop.clear_requests();
    Logger::Release();
    DeleteFileW(log.c_str());
    Logger::Instance()->SetFilePath(log);
    {
        ScopedTrust other(L"http://127.0.0.1:1", Pin(L"publisher"));
        EXPECT_EQ(IDCANCEL, RunDialog());
    }
    EXPECT_TRUE(LogHas(L"*오류 : 허용되지 않은 주소입니다. (url:" + shop.launch_url() + L"?key=K1&field=startup)"));
    EXPECT_TRUE(LogHas(L"*오류 : 명령 인수값이 올바르지 않습니다. (key=K1&svr=" + shop.launch_url() + L")"));
    EXPECT_EQ(std::wstring::npos, Log().find(L"startup.xml을 다운로드"));
    EXPECT_TRUE(shop.requests().empty());
}

TEST_F(PinnedJourney, ModulesNotSignedByThePublisherAreInstalledButNeverRun) {
    ScopedTrust trust(shop.base(), Pin(L"publisher"));
    const struct {
        const wchar_t* file;
        std::wstring record;
    } cases[] = {
        {L"OtherKey.dll", L"*오류 : 허용되지 않은 서명자의 모듈입니다. (path:"},
        {L"Unsigned.dll", L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:"},
        {L"Tampered.dll", L"*오류 : 모듈의 서명이 올바르지 않습니다. (path:"},
    };
    for (const auto& c : cases) {
        Publish(c.file);
        shop.clear_requests();
        EXPECT_EQ(IDCANCEL, RunDialog()) << Utf8(c.file);
        EXPECT_TRUE(LogHas(c.record + install + L"Editor.dll")) << Utf8(Log());
        EXPECT_FALSE(ModuleRan()) << Utf8(c.file);
        EXPECT_EQ(0u, shop.count("/shop/cart"));
    }
}

// The real pinned executable: its origin is the shop on the port it was built
// for, its keys the publisher's and the next one.
class PinnedExecutable : public PinnedJourney {
protected:
    PinnedExecutable() : PinnedJourney(ORVIN_PINNED_TEST_PORT) {}

    std::wstring Run(const wchar_t* program, const std::wstring& server) {
        const std::wstring dayLog = testing_support::DayLogPath();
        const size_t before = testing_support::LogSize(dayLog);
        EXPECT_TRUE(testing_support::RunProcess(
            CommandLine(testing_support::ExecutableFolder() + program, server), 300000));
        return testing_support::ReadLogSince(dayLog, before);
    }
};

TEST_F(PinnedExecutable, RunsThePublishersModuleFromItsOriginAndNothingElse) {
    const wchar_t* pinned = L"OrvinLauncherPinned.exe";
    Publish(L"Signed.dll");
    std::wstring text = Run(pinned, shop.base());
    EXPECT_EQ(std::wstring::npos, text.find(L"오류")) << Utf8(text);
    EXPECT_TRUE(ModuleRan());
    EXPECT_EQ(1u, shop.count("/shop/cart"));
    EXPECT_TRUE(BrowserOpened(30000));

    // A module that is not the publisher's: the pinned launcher refuses it,
    // the default launcher runs it as it always has.
    Publish(L"OtherKey.dll");
    shop.clear_requests();
    text = Run(pinned, shop.base());
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 서명자의 모듈입니다. (path:" + install +
                                            L"Editor.dll, key:" + Pin(L"other") + L")"))
        << Utf8(text);
    EXPECT_FALSE(ModuleRan());
    EXPECT_EQ(0u, shop.count("/shop/cart"));
    text = Run(L"OrvinLauncher.exe", shop.base());
    EXPECT_EQ(std::wstring::npos, text.find(L"오류")) << Utf8(text);
    EXPECT_TRUE(ModuleRan());
    EXPECT_TRUE(BrowserOpened(30000));

    // Another server: refused before it is asked anything.
    testing_support::HostedShop elsewhere(work.path() + L"shop\\");
    text = Run(pinned, elsewhere.base());
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 주소입니다. (url:" + elsewhere.launch_url() +
                                            L"?key=K1&field=startup)"))
        << Utf8(text);
    EXPECT_TRUE(elsewhere.requests().empty());
    EXPECT_FALSE(ModuleRan());
}

// A page's server address, or a document's update folder, that reads as the
// shop to one URL parser and as another server to another.
TEST_F(PinnedExecutable, AddressesThatSplitTwoWaysReachNoOtherServer) {
    Publish(L"Signed.dll");
    testing_support::HostedShop elsewhere(work.path() + L"shop\\");
    const std::wstring other = L"127.0.0.1:" + std::to_wstring(elsewhere.port());
    for (const std::wstring& server : {shop.base() + L"%23%40" + other, shop.base() + L"%3Fx%40" + other,
                                       shop.base() + L"%5C%40" + other}) {
        const std::wstring text = Run(L"OrvinLauncherPinned.exe", server);
        EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 주소입니다. (url:")) << Utf8(text);
        EXPECT_FALSE(ModuleRan());
    }
    // With a "?" after it, WinInet's split reads "#@" as the end of a user name.
    WriteStartup(L"K1", L"$(SERVER)", shop.base() + L"#@" + other + L"/?v=1");
    const std::wstring text = Run(L"OrvinLauncherPinned.exe", shop.base());
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : 허용되지 않은 주소입니다. (url:" + shop.base() + L"#@" + other +
                                            L"/?v=1/shop/update/)"))
        << Utf8(text);
    EXPECT_FALSE(ModuleRan());
    EXPECT_TRUE(elsewhere.requests().empty()) << elsewhere.requests().front().target;
}

}  // namespace
