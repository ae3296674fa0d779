// The installation flow against the in-process HTTP server, with real
// packages from the manifest producer and a real dialog window that records
// the progress messages it receives.

#include <gtest/gtest.h>

#include <set>

#include "framework/dialog.h"
#include "launch/startup_file_xml.h"
#include "resources/resource.h"
#include "support/contained_path.h"
#include "support/logger.h"
#include "support/scoped.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"
#include "tools/manifest_producer/producer.h"
#include "tools/publish/archive_writer.h"
#include "inet/download.h"
#include "update/manifest_crypto.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/install_lock.h"
#include "update/module_installer.h"
#include "update/update_file_xml.h"

using testing_support::HttpAnswer;
using testing_support::HttpTestServer;
using testing_support::TempDir;

namespace {

using Progress = std::pair<int, int>;

// A hidden dialog that records every progress message.
class RecordingDialog : public CDialog {
public:
    RecordingDialog() : CDialog(IDD_ORVINLAUNCHER_DIALOG, nullptr) {
        m_hWnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ORVINLAUNCHER_DIALOG),
                                      nullptr, Proc, reinterpret_cast<LPARAM>(this));
        ::ShowWindow(m_hWnd, SW_HIDE);
    }
    ~RecordingDialog() override {
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    std::vector<Progress> progress;

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            return TRUE;
        }
        auto* self = reinterpret_cast<RecordingDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
        if (self && message == WM_LAUNCH_PROGRESS) {
            self->progress.emplace_back(static_cast<int>(wParam), static_cast<int>(lParam));
            return TRUE;
        }
        return FALSE;
    }
};

struct FileSpec {
    std::wstring name;
    std::string content;
};

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = work / L"install.log";
        Logger::Instance()->SetFilePath(log);
        source = work / L"source\\";
        published = work / L"published\\";
        install = work / L"install\\";
        CreateDirectoryW(source.c_str(), nullptr);
        CreateDirectoryW(published.c_str(), nullptr);
        startup.install_path = install;
        startup.update_url = server.url("update/");
        startup.update_files_url = server.url("files/");
    }
    void TearDown() override { Logger::Release(); }

    void AddSource(const std::wstring& name, const std::string& content) {
        ASSERT_TRUE(testing_support::WriteFileText(source + name, content));
    }

    // Packs the source files with the manifest producer and serves the result.
    void Publish(const std::vector<producer::PackageSpec>& packages, const std::wstring& module) {
        producer::ProducerOptions options;
        options.sourceFolder = source;
        options.outputFolder = published;
        options.module = module;
        options.packages = packages;
        std::wstring error;
        ASSERT_EQ(producer::ProduceResult::ok, producer::ProduceManifest(options, error))
            << testing_support::WideToUtf8String(error);
        server.serve_file("/update/activeupdate.xml", published + L"activeupdate.xml");
        for (const auto& package : packages) {
            server.serve_file("/files/" + testing_support::WideToUtf8String(package.name),
                              published + package.name);
        }
    }

    // Serves a manifest written by hand (for entries no producer would make).
    void ServeManifest(const std::vector<producer::ManifestFile>& files) {
        std::wstring encoded;
        ASSERT_TRUE(
            EncryptManifestData(producer::BuildInnerManifest(files), 0x12345678, 0x9ABCDEF0, encoded));
        server.answer(
            "/update/activeupdate.xml",
            HttpAnswer::Text(200, testing_support::WideToUtf8String(producer::BuildOuterManifest(encoded))));
    }

    void ServeArchive(const std::wstring& name, const std::vector<std::wstring>& files, bool cabinet) {
        std::vector<ArchiveItem> items;
        for (const std::wstring& f : files) items.push_back({source + f, f});
        // A folder per archive: names that differ only in case are one file here.
        std::wstring folder = published + std::to_wstring(++m_archives) + L"\\";
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring path = folder + name;
        ASSERT_TRUE(cabinet ? WriteCabinet(path, items) : WriteZip(path, items));
        server.serve_file("/files/" + testing_support::WideToUtf8String(name), path);
    }

    bool Install(std::wstring* moduleName = nullptr) {
        std::wstring name;
        bool result = InstallModule(dialog, startup, name);
        if (moduleName) *moduleName = name;
        return result;
    }

    std::string Installed(const std::wstring& name) {
        std::vector<unsigned char> bytes = testing_support::ReadFileBytes(install + name);
        return std::string(bytes.begin(), bytes.end());
    }
    std::wstring Log() { return testing_support::ReadLogFile(log); }
    bool LogHas(const std::wstring& text) { return Log().find(text) != std::wstring::npos; }
    size_t Fetches(const std::string& path) { return server.count(path); }

    TempDir work;
    int m_archives = 0;
    std::wstring log, source, published, install;
    HttpTestServer server;
    RecordingDialog dialog;
    startup_file_xml startup;
};

TEST_F(InstallerTest, FirstInstallFromACabinetAndAZipThenEverythingIsCurrent) {
    std::vector<std::wstring> cabFiles, zipFiles;
    for (int i = 0; i < 10; ++i) {
        std::wstring name = L"file" + std::to_wstring(i) + L".dat";
        AddSource(name, "content of file " + std::to_string(i));
        (i < 4 ? cabFiles : zipFiles).push_back(name);
    }
    AddSource(L"Editor.dll", "not really a dll");
    cabFiles.insert(cabFiles.begin(), L"Editor.dll");
    Publish({{L"core.cab", cabFiles}, {L"data.zip", zipFiles}}, L"Editor.dll");

    std::wstring module;
    ASSERT_TRUE(Install(&module)) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ(L"Editor.dll", module);
    EXPECT_EQ("content of file 7", Installed(L"file7.dat"));
    EXPECT_EQ("not really a dll", Installed(L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
    EXPECT_EQ(1u, Fetches("/files/core.cab"));
    EXPECT_EQ(1u, Fetches("/files/data.zip"));

    // Two archives carrying eleven files.
    std::vector<Progress> expected = {{2, 1}, {2, 2}, {2, 2}};
    for (int j = 1; j <= 11; ++j) expected.emplace_back(2, j);
    expected.emplace_back(2, 2);
    EXPECT_EQ(expected, dialog.progress);
    EXPECT_TRUE(LogHas(L"* 업데이트 시작 ********************"));
    EXPECT_TRUE(LogHas(L"* install path: " + install + L"\r\n\r\n"));

    // The second run finds everything current: one (100, 100), nothing fetched.
    dialog.progress.clear();
    server.clear_requests();
    ASSERT_TRUE(Install());
    EXPECT_EQ((std::vector<Progress>{{100, 100}}), dialog.progress);
    EXPECT_EQ(0u, Fetches("/files/core.cab") + Fetches("/files/data.zip"));
    EXPECT_EQ(1u, Fetches("/update/activeupdate.xml"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
}

TEST_F(InstallerTest, OutdatedFileIsReplacedAndTheHashDecidesOverTheVersion) {
    AddSource(L"Editor.dll", "module v2");
    AddSource(L"same.dat", "same");
    ServeArchive(L"pkg.zip", {L"Editor.dll", L"same.dat"}, false);
    std::wstring moduleHash = ComputeFileMd5(source + L"Editor.dll");
    std::wstring sameHash = ComputeFileMd5(source + L"same.dat");
    // Upper-case hash text still matches, for the installed file and for the
    // unpacked one alike; the version never counts next to a hash.
    for (wchar_t& c : sameHash) c = static_cast<wchar_t>(towupper(c));
    for (wchar_t& c : moduleHash) c = static_cast<wchar_t>(towupper(c));
    ServeManifest({{L"Editor.dll", L"pkg.zip", moduleHash, L"", true},
                   {L"same.dat", L"pkg.zip", sameHash, L"9.9.9.9", false}});

    CreateDirectoryW(install.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"Editor.dll", "module v1"));
    ASSERT_TRUE(testing_support::WriteFileText(install + L"same.dat", "same"));
    FILETIME before;
    {
        HANDLE f = CreateFileW((install + L"same.dat").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        GetFileTime(f, nullptr, nullptr, &before);
        CloseHandle(f);
    }
    ASSERT_TRUE(Install()) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ("module v2", Installed(L"Editor.dll"));
    EXPECT_EQ("same", Installed(L"same.dat"));
    // Only the outdated file came through the package: (1,1), (1,1), (1,1), (1,1).
    EXPECT_EQ((std::vector<Progress>{{1, 1}, {1, 1}, {1, 1}, {1, 1}}), dialog.progress);
}

TEST_F(InstallerTest, VersionDecidesWithoutAHashAndEmptyMatchesEmpty) {
    AddSource(L"Editor.dll", "module");
    ServeArchive(L"pkg.zip", {L"Editor.dll"}, false);
    // No hash, no version, and the installed file has no version resource: current.
    ServeManifest({{L"Editor.dll", L"pkg.zip", L"", L"", true}});
    CreateDirectoryW(install.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"Editor.dll", "old but versionless"));
    ASSERT_TRUE(Install());
    EXPECT_EQ("old but versionless", Installed(L"Editor.dll"));
    EXPECT_EQ(0u, Fetches("/files/pkg.zip"));

    // A version that the file does not carry makes it outdated, read-only
    // or not.
    ASSERT_TRUE(SetFileAttributesW((install + L"Editor.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ServeManifest({{L"Editor.dll", L"pkg.zip", L"", L"1.0.0.0", true}});
    ASSERT_TRUE(Install()) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ("module", Installed(L"Editor.dll"));
    EXPECT_EQ(1u, Fetches("/files/pkg.zip"));
}

TEST_F(InstallerTest, UnreadableInstalledFileIsListedAndRepairedLater) {
    AddSource(L"Editor.dll", "module");
    ServeArchive(L"pkg.zip", {L"Editor.dll"}, false);
    ServeManifest({{L"Editor.dll", L"pkg.zip", ComputeFileMd5(source + L"Editor.dll"), L"", true}});
    CreateDirectoryW(install.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"Editor.dll", "module"));
    HANDLE locked =
        CreateFileW((install + L"Editor.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_EQ(L"-1", ComputeFileMd5(install + L"Editor.dll"));
    std::wstring module;
    std::vector<update_file_entry> list;
    ASSERT_TRUE(CollectUpdateFiles(install, startup.update_url, module, list));
    CloseHandle(locked);
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(L"Editor.dll", list[0].name);
    EXPECT_EQ(L"Editor.dll", module);
    ASSERT_TRUE(Install());
    EXPECT_EQ("module", Installed(L"Editor.dll"));
}

TEST_F(InstallerTest, ArchivesAreFetchedOncePerExactNameAndTheCabExtensionChoosesTheExtractor) {
    AddSource(L"Editor.dll", "m");
    AddSource(L"a.dat", "a");
    AddSource(L"b.dat", "b");
    AddSource(L"c.dat", "c");
    ServeArchive(L"Pack.CaB", {L"Editor.dll", L"a.dat"}, true);
    ServeArchive(L"pack.cab", {L"b.dat"}, true);
    ServeArchive(L"rest.bin", {L"c.dat"}, false);
    ServeManifest({{L"Editor.dll", L"Pack.CaB", L"", L"", true},
                   {L"a.dat", L"Pack.CaB", L"", L"", false},
                   {L"b.dat", L"pack.cab", L"", L"", false},
                   {L"c.dat", L"rest.bin", L"", L"", false}});
    ASSERT_TRUE(Install()) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ(1u, Fetches("/files/Pack.CaB"));
    EXPECT_EQ(1u, Fetches("/files/pack.cab"));
    EXPECT_EQ(1u, Fetches("/files/rest.bin"));
    EXPECT_EQ("a", Installed(L"a.dat"));
    EXPECT_EQ("b", Installed(L"b.dat"));
    EXPECT_EQ("c", Installed(L"c.dat"));
    EXPECT_EQ((std::vector<Progress>{{3, 1}, {3, 2}, {3, 3}, {3, 3}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 3}}),
              dialog.progress);
}

TEST_F(InstallerTest, StartupModuleWinsTheNameWhileTheManifestDecidesTheFiles) {
    AddSource(L"Editor.dll", "m");
    ServeArchive(L"pkg.zip", {L"Editor.dll"}, false);
    ServeManifest({{L"Editor.dll", L"pkg.zip", L"", L"", true}});
    startup.module = L"Other.dll";
    std::wstring module;
    ASSERT_TRUE(Install(&module));
    EXPECT_EQ(L"Other.dll", module);
    EXPECT_TRUE(testing_support::FileExists(install + L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"Other.dll"));
}

TEST_F(InstallerTest, FileMissingFromItsArchiveFailsWithTheHashOrTheCopyRecord) {
    AddSource(L"Editor.dll", "m");
    ServeArchive(L"pkg.zip", {L"Editor.dll"}, false);
    ServeManifest({{L"Editor.dll", L"pkg.zip", L"", L"", true},
                   {L"ghost.dat", L"pkg.zip", L"0123456789abcdef0123456789abcdef", L"", false}});
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 다운로드 받은파일이 올바르않습니다. (src:" + install +
                       L"download\\ghost.dat, hash:-1)"));
    // The download folder stays after a failure.
    EXPECT_TRUE(testing_support::FileExists(install + L"download"));

    ServeManifest({{L"Editor.dll", L"pkg.zip", L"", L"", true}, {L"ghost.dat", L"pkg.zip", L"", L"", false}});
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 파일을 복사할수 없습니다. (src:" + install + L"download\\ghost.dat, dest:" +
                       install + L"ghost.dat, 0x00000002)"));
}

TEST_F(InstallerTest, FailuresLeaveTheirRecordsAndASecondRunRepairs) {
    // No manifest at all.
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: activeupdate.xml을 다운로드 하지 못했습니다. (url:" + startup.update_url +
                       L"activeupdate.xml)"));
    // A manifest that does not decrypt into one.
    server.answer("/update/activeupdate.xml", HttpAnswer::Text(200, "<update data=\"AAAA\"></update>"));
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: activeupdate.xml의 포멧이 올바르지 않습니다. (url:" + startup.update_url +
                       L"activeupdate.xml)"));
    // An archive the server does not have.
    AddSource(L"Editor.dll", "m");
    ServeManifest({{L"Editor.dll", L"pkg.zip", L"", L"", true}});
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 파일을 다운로드 할수 없습니다. (url" + startup.update_files_url +
                       L"pkg.zip, path:" + install + L"download\\pkg.zip)"));
    // A damaged archive.
    server.answer("/files/pkg.zip", HttpAnswer::Text(200, "PK\x03\x04 this is not a zip"));
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 파일에 압축을 풀수 없습니다. (src:" + install + L"download\\pkg.zip, dest:" +
                       install + L"download\\, 0x"));
    EXPECT_TRUE(testing_support::FileExists(install + L"download\\pkg.zip"));
    // The server is mended: the next run installs.
    ServeArchive(L"pkg.zip", {L"Editor.dll"}, false);
    dialog.progress.clear();
    ASSERT_TRUE(Install());
    EXPECT_EQ("m", Installed(L"Editor.dll"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
}

TEST_F(InstallerTest, NamesLeadingOutOfTheInstallFolderAreRefusedBeforeAnythingChanges) {
    AddSource(L"Editor.dll", "m");
    ServeArchive(L"pkg.zip", {L"Editor.dll"}, false);
    CreateDirectoryW(install.c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"Editor.dll", "outdated"));
    // The last three would be moved into the run's own download folder and
    // deleted again with it.
    for (const std::wstring& hostile :
         {std::wstring(L"..\\evil.dll"), std::wstring(L"sub\\..\\..\\evil.dll"),
          std::wstring(L"C:\\evil.dll"), std::wstring(L"\\\\server\\share\\evil.dll"),
          std::wstring(L"sub/. ./evil.dll"), std::wstring(L"nul.dll"), std::wstring(L"download\\x.dat"),
          std::wstring(L"Download/x.dat"), std::wstring(L".\\download.\\x.dat")}) {
        const std::string where = testing_support::WideToUtf8String(hostile);
        server.clear_requests();
        ServeManifest({{L"Editor.dll", L"pkg.zip", L"0123456789abcdef0123456789abcdef", L"", true},
                       {hostile, L"pkg.zip", L"", L"", false}});
        EXPECT_FALSE(Install()) << where;
        EXPECT_TRUE(LogHas(L"* 오류: 업데이트 파일 이름이 올바르지 않습니다. (name:" + hostile + L")"))
            << where;
        EXPECT_EQ(0u, Fetches("/files/pkg.zip")) << where;
        EXPECT_EQ("outdated", Installed(L"Editor.dll")) << where;
    }
    ServeManifest({{L"Editor.dll", L"..\\..\\pkg.zip", L"", L"", true}});
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"package:..\\..\\pkg.zip)"));
}

TEST_F(InstallerTest, HarmlessNameFormsKeepWorking) {
    // ".\name" and "\name" cannot leave the folder: joined as they stand they
    // name the same files as "name".
    AddSource(L"Editor.dll", "m");
    AddSource(L"a.dat", "a");
    ServeArchive(L"pkg.zip", {L"Editor.dll", L"a.dat"}, false);
    ServeManifest({{L".\\Editor.dll", L"pkg.zip", ComputeFileMd5(source + L"Editor.dll"), L"", true},
                   {L"\\a.dat", L"./pkg.zip", L"", L"", false}});
    std::wstring module;
    ASSERT_TRUE(Install(&module)) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ(L".\\Editor.dll", module);
    EXPECT_EQ("m", Installed(L"Editor.dll"));
    EXPECT_EQ("a", Installed(L"a.dat"));
}

TEST_F(InstallerTest, ReadOnlyFilesAreReplacedAcrossRuns) {
    AddSource(L"Editor.dll", "m");
    AddSource(L"locked.dat", "version 1");
    ASSERT_TRUE(SetFileAttributesW((source + L"locked.dat").c_str(), FILE_ATTRIBUTE_READONLY));
    Publish({{L"pkg.zip", {L"Editor.dll", L"locked.dat"}}}, L"Editor.dll");
    ASSERT_TRUE(Install()) << testing_support::WideToUtf8String(Log());
    ASSERT_NE(0u, GetFileAttributesW((install + L"locked.dat").c_str()) & FILE_ATTRIBUTE_READONLY);

    // The outdated read-only file is replaced by the next run...
    SetFileAttributesW((source + L"locked.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
    AddSource(L"locked.dat", "version 2");
    SetFileAttributesW((source + L"locked.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    Publish({{L"pkg.zip", {L"Editor.dll", L"locked.dat"}}}, L"Editor.dll");
    ASSERT_TRUE(Install()) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ("version 2", Installed(L"locked.dat"));

    // ...and a read-only leftover of a failed run in the download folder does
    // not stop the one after it.
    SetFileAttributesW((install + L"locked.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"locked.dat", "damaged"));
    CreateDirectoryW((install + L"download").c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"download\\locked.dat", "stale"));
    SetFileAttributesW((install + L"download\\locked.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(Install()) << testing_support::WideToUtf8String(Log());
    EXPECT_EQ("version 2", Installed(L"locked.dat"));
    EXPECT_FALSE(testing_support::FileExists(install + L"download"));
}

// Junctions cannot be made under Wine: the folder named here reads as one.
std::wstring g_link;
DWORD MarkLink(const std::wstring& path, DWORD attributes) {
    std::wstring bare = path;
    while (!bare.empty() && bare.back() == L'\\') bare.pop_back();
    if (attributes != INVALID_FILE_ATTRIBUTES && lstrcmpiW(bare.c_str(), g_link.c_str()) == 0)
        return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}

TEST_F(InstallerTest, LinksInTheWorkingFoldersAreNeverWrittenThrough) {
    AddSource(L"Editor.dll", "m");
    AddSource(L"a.dat", "a");
    ServeArchive(L"pkg.zip", {L"Editor.dll", L"a.dat"}, false);
    ServeManifest(
        {{L"Editor.dll", L"pkg.zip", L"", L"", true}, {L"sub\\a.dat", L"pkg.zip", L"", L"", false}});
    SetPathAttributesHookForTest(MarkLink);

    // The download folder itself: refused before the manifest is even fetched.
    g_link = install + L"download";
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 링크를 거치는 경로에는 쓰지 않습니다. (path:" + install + L"download\\)"));
    EXPECT_EQ(0u, Fetches("/update/activeupdate.xml"));

    // A subfolder of the install folder: refused before anything is deleted.
    CreateDirectoryW((install + L"sub").c_str(), nullptr);
    ASSERT_TRUE(testing_support::WriteFileText(install + L"sub\\a.dat", "outside"));
    g_link = install + L"sub";
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"(path:" + install + L"sub\\a.dat)"));
    EXPECT_EQ("outside", Installed(L"sub\\a.dat"));
    EXPECT_EQ(0u, Fetches("/files/pkg.zip"));

    // A folder below the download folder, which unpacking would write through.
    CreateDirectoryW((install + L"download\\sub").c_str(), nullptr);
    g_link = install + L"download\\sub";
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 링크를 거치는 경로에는 쓰지 않습니다. (path:" + install +
                       L"download\\sub\\a.dat)"));
    EXPECT_EQ("outside", Installed(L"sub\\a.dat"));
    EXPECT_EQ(0u, Fetches("/files/pkg.zip"));
    SetPathAttributesHookForTest(nullptr);
}

TEST_F(InstallerTest, InstallLockNameFollowsTheFolderAndASquattedNameFailsTheUpdate) {
    // One folder, however it is spelt, has one lock; another folder another.
    std::wstring upper = install;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    const std::wstring name = InstallLock::NameFor(install);
    EXPECT_EQ(name, InstallLock::NameFor(upper.substr(0, upper.size() - 1)));
    EXPECT_NE(name, InstallLock::NameFor(install + L"other\\"));
    // Another program holding an object of that name: the update stops
    // before it touches the folder, with its record.
    const ScopedHandle squatter(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(squatter);
    EXPECT_FALSE(Install());
    EXPECT_TRUE(LogHas(L"* 오류: 설치 폴더의 잠금을 얻을 수 없습니다. (path:" + install + L", err:0x00000006)"))
        << testing_support::WideToUtf8String(Log());
    EXPECT_FALSE(testing_support::FileExists(install));
    EXPECT_EQ(0u, Fetches("/update/activeupdate.xml"));
}

}  // namespace
