// The manifest producer: its input checks, and whole package sets read back
// the way the launcher reads them (its manifest reader, its archive
// extraction, its MD5 and version functions), through the library and
// through the real executable.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "testing/test_support.h"
#include "tools/manifest_producer/producer.h"
#include "update/archive_extract.h"
#include "inet/download.h"
#include "update/update_file_xml.h"

using producer::CheckInstallName;
using producer::ParseProducerArguments;
using producer::ProduceManifest;
using producer::ProduceResult;
using producer::ProducerOptions;
using testing_support::ExecutableFolder;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

const wchar_t kHangulFile[] = L"\uC790\uB8CC\\\uADF8\uB9BC \uD55C\uAE00.png";  // 자료\그림 한글.png

bool Accepts(const std::wstring& name, bool folders = true) {
    std::wstring error;
    return CheckInstallName(name, folders, error);
}

update_file_xml ReadManifest(const std::wstring& path, bool& ok) {
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    update_file_xml manifest;
    ok = !bytes.empty() && manifest.Load(bytes.data(), static_cast<int>(bytes.size()));
    return manifest;
}

class ProducerTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir.path() + L"src\\";
        output = dir.path() + L"out\\";
        ASSERT_TRUE(CreateDirectoryW(source.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((source + L"res").c_str(), nullptr));
        ASSERT_TRUE(CopyFileW((ExecutableFolder() + L"producer_test_module.dll").c_str(),
                              (source + L"Editor.dll").c_str(), FALSE));
        ASSERT_TRUE(WriteFileText(source + L"res\\a.dat", "resource a\r\n"));
        ASSERT_TRUE(WriteFileText(source + L"readme.txt", std::string(70000, 'r')));
        ASSERT_TRUE(WriteFileText(source + L"empty.bin", ""));
        // Wine stores non-ASCII file names only when the host locale has a
        // character set for them; where it cannot, those files are left out.
        nonAscii = WriteFileText(source + L"\uD55C\uAE00.dat", "hangul named");
        if (nonAscii) {
            ASSERT_TRUE(CreateDirectoryW((source + L"\uC790\uB8CC").c_str(), nullptr));
            ASSERT_TRUE(WriteFileText(source + kHangulFile, "\x89PNG picture"));
        }
    }

    ProducerOptions PackageSet() {
        ProducerOptions options;
        options.sourceFolder = source;
        options.outputFolder = output;
        options.module = L"Editor.dll";
        options.allowFolders = true;
        options.packages.push_back({L"editor.cab", {L"Editor.dll", L"empty.bin"}});
        options.packages.push_back({L"extra.zip", {L"readme.txt", L"res\\a.dat"}});
        if (nonAscii) {
            options.packages[1].files.insert(options.packages[1].files.begin(), kHangulFile);
            options.packages[1].files.push_back(L"\uD55C\uAE00.dat");
        }
        return options;
    }

    bool nonAscii = false;
    TempDir dir;
    std::wstring source;
    std::wstring output;
};

TEST(CheckInstallNameTest, RefusesNamesThatWouldLeaveTheInstallFolder) {
    for (const wchar_t* name : {L"\\a.dll", L"/a.dll", L"\\\\server\\share\\a.dll", L"C:\\a.dll", L"C:a.dll",
                                L"..\\a.dll", L"a\\..\\..\\b.dll", L"a/../b.dll", L"..", L".", L"a\\.\\b",
                                L"a.dll:stream", L"a\\\\b", L"a\\", L""}) {
        EXPECT_FALSE(Accepts(name)) << testing_support::WideToUtf8String(name);
    }
    // The launcher's own download folder is emptied after every update.
    for (const wchar_t* name : {L"download\\a.dat", L"Download/a.dat", L"DOWNLOAD"}) {
        EXPECT_FALSE(Accepts(name)) << testing_support::WideToUtf8String(name);
    }
    EXPECT_TRUE(Accepts(L"downloads\\a.dat"));
}

TEST(CheckInstallNameTest, RefusesNamesWindowsOrTheManifestCannotCarry) {
    for (const wchar_t* name :
         {L" a.dll", L"a.dll ", L"a.dll\t", L"a.", L"dir.\\a", L"a\r\nb", L"a<b", L"a>b", L"a\"b", L"a|b",
          L"a?b", L"a*b", L"a&amp;b", L"R&D.dll", L"CON", L"nul.txt", L"sub\\Com1.dat", L"lpt9"}) {
        EXPECT_FALSE(Accepts(name)) << testing_support::WideToUtf8String(name);
    }
    EXPECT_FALSE(Accepts(std::wstring(MAX_PATH, L'a')));
}

TEST(CheckInstallNameTest, AcceptsOrdinaryRelativeNames) {
    for (const wchar_t* name : {L"Editor.dll", L"res\\a.dat", L"res/a.dat", L"a..b.dll", L".hidden",
                                L"a b.txt", L"\uD55C\uAE00.dll", L"COM10.dat", L"console.txt", L"it's.txt"}) {
        EXPECT_TRUE(Accepts(name)) << testing_support::WideToUtf8String(name);
    }
    EXPECT_FALSE(Accepts(L"res\\a.dat", false));
    EXPECT_TRUE(Accepts(L"pkg.cab", false));
}

TEST(ProducerArgumentsTest, ReadsEveryOption) {
    ProducerOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseProducerArguments(
        {L"--source", L"s", L"--output", L"o", L"--module", L"sub/m.dll", L"--package",
         L"a.cab=m.dll,sub/b.dat", L"--package", L"b.zip=c.dat", L"--header", L"0x10:4294967295"},
        options, error))
        << testing_support::WideToUtf8String(error);
    EXPECT_EQ(L"s", options.sourceFolder);
    EXPECT_EQ(L"o", options.outputFolder);
    EXPECT_EQ(L"sub\\m.dll", options.module);
    ASSERT_EQ(2u, options.packages.size());
    EXPECT_EQ(L"a.cab", options.packages[0].name);
    EXPECT_EQ((std::vector<std::wstring>{L"m.dll", L"sub\\b.dat"}), options.packages[0].files);
    EXPECT_EQ(L"b.zip", options.packages[1].name);
    EXPECT_TRUE(options.fixedHeader);
    EXPECT_EQ(0x10u, options.h0);
    EXPECT_EQ(0xFFFFFFFFu, options.h1);
}

TEST(ProducerArgumentsTest, RefusesBadArguments) {
    const std::vector<std::vector<std::wstring>> bad = {{L"--source"},
                                                        {L"--frobnicate"},
                                                        {L"--package", L"a.cab"},
                                                        {L"--package", L"=a.dll"},
                                                        {L"--package", L"a="},
                                                        {L"--header", L"1"},
                                                        {L"--header", L"1:x"},
                                                        {L"--header", L"1:4294967296"},
                                                        {L"--header", L"-1:2"},
                                                        {L"--list", L"Z:\\missing\\list.txt"},
                                                        {L"--module", L""}};
    for (const auto& args : bad) {
        ProducerOptions options;
        std::wstring error;
        EXPECT_FALSE(ParseProducerArguments(args, options, error))
            << testing_support::WideToUtf8String(args[0]);
        EXPECT_FALSE(error.empty());
    }
}

TEST(PackageListTest, ReadsPackagesCommentsQuotesAndByteOrderMark) {
    TempDir dir;
    const std::wstring list = dir / L"list.txt";
    ASSERT_TRUE(WriteFileText(list,
                              "\xEF\xBB\xBF# editor packages\r\n"
                              "\r\n"
                              "editor.cab: Editor.dll  res/a.dat\r\n"
                              "  \"extra files.zip\" : \"\xEC\x9E\x90\xEB\xA3\x8C\\a b.png\"\tc.dat\n"
                              "last.zip:x.dat"));
    std::vector<producer::PackageSpec> packages;
    std::wstring error;
    ASSERT_TRUE(producer::ReadPackageList(list, packages, error)) << testing_support::WideToUtf8String(error);
    ASSERT_EQ(3u, packages.size());
    EXPECT_EQ(L"editor.cab", packages[0].name);
    EXPECT_EQ((std::vector<std::wstring>{L"Editor.dll", L"res\\a.dat"}), packages[0].files);
    EXPECT_EQ(L"extra files.zip", packages[1].name);
    EXPECT_EQ((std::vector<std::wstring>{L"\uC790\uB8CC\\a b.png", L"c.dat"}), packages[1].files);
    EXPECT_EQ(L"last.zip", packages[2].name);
}

TEST(PackageListTest, RefusesMalformedLines) {
    TempDir dir;
    for (const char* text : {"editor.cab Editor.dll\n", "editor.cab:\n", ": a.dll\n",
                             "a.cab: \"unterminated\n", "\"a.cab b.dll\n", "\"a.cab\" b.dll\n"}) {
        const std::wstring list = dir / L"bad.txt";
        ASSERT_TRUE(WriteFileText(list, text));
        std::vector<producer::PackageSpec> packages;
        std::wstring error;
        EXPECT_FALSE(producer::ReadPackageList(list, packages, error)) << text;
        EXPECT_TRUE(packages.empty());
        EXPECT_NE(std::wstring::npos, error.find(L"line 1")) << text;
    }
}

TEST(PackageListTest, RefusesTextThatIsNotUtf8) {
    TempDir dir;
    const std::wstring list = dir / L"latin1.txt";
    ASSERT_TRUE(WriteFileText(list, "a.cab: caf\xE9.dll\n"));
    std::vector<producer::PackageSpec> packages;
    std::wstring error;
    EXPECT_FALSE(producer::ReadPackageList(list, packages, error));
    EXPECT_NE(std::wstring::npos, error.find(L"UTF-8"));
}

TEST_F(ProducerTest, AFixedHeaderGivesTheSameManifestAndFreshOnesDiffer) {
    ProducerOptions options = PackageSet();
    options.fixedHeader = true;
    options.h0 = 0xDEADBEEF;
    options.h1 = 0x01234567;
    std::wstring error;
    ASSERT_EQ(ProduceResult::ok, ProduceManifest(options, error));
    const std::vector<unsigned char> first = ReadFileBytes(output + L"activeupdate.xml");
    ASSERT_EQ(ProduceResult::ok, ProduceManifest(options, error));
    EXPECT_EQ(first, ReadFileBytes(output + L"activeupdate.xml"));

    options.fixedHeader = false;
    ASSERT_EQ(ProduceResult::ok, ProduceManifest(options, error));
    const std::vector<unsigned char> fresh = ReadFileBytes(output + L"activeupdate.xml");
    EXPECT_NE(first, fresh);
    bool ok = false;
    update_file_xml manifest = ReadManifest(output + L"activeupdate.xml", ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(PackageSet().packages[1].files.size() + 2, manifest.files.size());

    const std::string text(first.begin(), first.end());
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"utf-8\"?><update data=\""));
    EXPECT_NE(std::string::npos, text.find("\"></update>"));
}

TEST_F(ProducerTest, RefusesBadInputBeforeWritingAnything) {
    struct Case {
        const char* what;
        void (*change)(ProducerOptions&);
    };
    const Case cases[] = {
        {"missing file", [](ProducerOptions& o) { o.packages[0].files.push_back(L"missing.dll"); }},
        {"folder in a cabinet", [](ProducerOptions& o) { o.packages[0].files.push_back(L"res\\b.dat"); }},
        {"folder not allowed", [](ProducerOptions& o) { o.allowFolders = false; }},
        {"non-ASCII in a cabinet",
         [](ProducerOptions& o) { o.packages[0].files.push_back(L"\uD55C\uAE00.dat"); }},
        {"module not listed", [](ProducerOptions& o) { o.module = L"Other.dll"; }},
        {"no module", [](ProducerOptions& o) { o.module.clear(); }},
        {"escaping file", [](ProducerOptions& o) { o.packages[1].files.push_back(L"..\\src\\readme.txt"); }},
        {"absolute file",
         [](ProducerOptions& o) { o.packages[1].files[1] = o.sourceFolder + L"readme.txt"; }},
        {"leading separator", [](ProducerOptions& o) { o.packages[1].files[1] = L"\\readme.txt"; }},
        {"folder in package name", [](ProducerOptions& o) { o.packages[1].name = L"sub\\extra.zip"; }},
        {"escaping package", [](ProducerOptions& o) { o.packages[1].name = L"..\\extra.zip"; }},
        {"package named like the manifest",
         [](ProducerOptions& o) { o.packages[1].name = L"ActiveUpdate.XML"; }},
        {"same package twice", [](ProducerOptions& o) { o.packages[1].name = L"EDITOR.cab"; }},
        {"same file twice", [](ProducerOptions& o) { o.packages[1].files.push_back(L"RES/A.DAT"); }},
        {"empty package", [](ProducerOptions& o) { o.packages[1].files.clear(); }},
        {"no package", [](ProducerOptions& o) { o.packages.clear(); }},
        {"folder as file", [](ProducerOptions& o) { o.packages[1].files.push_back(L"res"); }},
        {"missing source", [](ProducerOptions& o) { o.sourceFolder += L"nothing\\"; }},
        {"no output", [](ProducerOptions& o) { o.outputFolder.clear(); }},
    };
    for (const Case& c : cases) {
        ProducerOptions options = PackageSet();
        c.change(options);
        std::wstring error;
        EXPECT_EQ(ProduceResult::refused, ProduceManifest(options, error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_FALSE(FileExists(output + L"activeupdate.xml")) << c.what;
        EXPECT_FALSE(FileExists(output + L"editor.cab")) << c.what;
    }
}

TEST_F(ProducerTest, AModuleNamedInOtherCaseIsTheListedFile) {
    ProducerOptions options = PackageSet();
    options.module = L"EDITOR.DLL";
    std::wstring error;
    ASSERT_EQ(ProduceResult::ok, ProduceManifest(options, error));
    bool ok = false;
    update_file_xml manifest = ReadManifest(output + L"activeupdate.xml", ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(L"Editor.dll", manifest.module);
}

TEST_F(ProducerTest, AnUnwritableOutputFails) {
    ProducerOptions options = PackageSet();
    ASSERT_TRUE(WriteFileText(dir.path() + L"file", "not a folder"));
    options.outputFolder = dir.path() + L"file\\out\\";
    std::wstring error;
    EXPECT_EQ(ProduceResult::failed, ProduceManifest(options, error));
    EXPECT_FALSE(error.empty());
}

// Kept after every other test that writes a cabinet in this process: in the
// 32-bit build under Wine, writing a cabinet after the setup library has
// unpacked one in the same process was seen to hang or end the process.
TEST_F(ProducerTest, PackageSetReadsBackThroughTheLaunchersReader) {
    std::wstring error;
    ASSERT_EQ(ProduceResult::ok, ProduceManifest(PackageSet(), error))
        << testing_support::WideToUtf8String(error);

    bool ok = false;
    update_file_xml manifest = ReadManifest(output + L"activeupdate.xml", ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(L"Editor.dll", manifest.module);
    std::vector<std::pair<std::wstring, std::wstring>> expected = {{L"Editor.dll", L"editor.cab"},
                                                                   {L"empty.bin", L"editor.cab"}};
    if (nonAscii) expected.push_back({kHangulFile, L"extra.zip"});
    expected.push_back({L"readme.txt", L"extra.zip"});
    expected.push_back({L"res\\a.dat", L"extra.zip"});
    if (nonAscii) expected.push_back({L"\uD55C\uAE00.dat", L"extra.zip"});
    ASSERT_EQ(expected.size(), manifest.files.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const update_file_entry& entry = manifest.files[i];
        const std::string where = testing_support::WideToUtf8String(entry.name);
        EXPECT_EQ(expected[i].first, entry.name) << where;
        EXPECT_EQ(expected[i].second, entry.package) << where;
        EXPECT_EQ(ComputeFileMd5(source + entry.name), entry.hash) << where;
        EXPECT_EQ(32u, entry.hash.size()) << where;
        EXPECT_EQ(GetFileVersionText(source + entry.name), entry.version) << where;
    }
    EXPECT_EQ(L"3.1.4.15", manifest.files[0].version);
    EXPECT_EQ(L"", manifest.files[1].version);
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", manifest.files[1].hash);

    // Unpacked as the launcher unpacks them, every file matches its hash.
    const std::wstring unpack = dir.path() + L"unpack\\";
    ASSERT_TRUE(CreateDirectoryW(unpack.c_str(), nullptr));
    ASSERT_TRUE(ExtractCabinet(output + L"editor.cab", unpack, L"", L"")) << GetLastError();
    ASSERT_TRUE(ExtractZip(output + L"extra.zip", unpack, L"", L""));
    for (const update_file_entry& entry : manifest.files) {
        EXPECT_EQ(entry.hash, ComputeFileMd5(unpack + entry.name))
            << testing_support::WideToUtf8String(entry.name);
    }
    EXPECT_FALSE(FileExists(output + L"activeupdate.xml.tmp~"));
}

// The executable itself, as a producer runs it.
class ProducerToolTest : public ProducerTest {
protected:
    DWORD Run(const std::wstring& arguments) {
        DWORD code = 0xFFFF;
        EXPECT_TRUE(testing_support::RunProcess(
            L"\"" + ExecutableFolder() + L"manifest_producer.exe\" " + arguments, 240000, &code));
        return code;
    }
};

TEST_F(ProducerToolTest, WritesAPackageSetFromAListFile) {
    const std::wstring list = dir / L"packages.txt";
    ASSERT_TRUE(WriteFileText(
        list, nonAscii ? "editor.cab: Editor.dll empty.bin\n"
                         "extra.zip: \"\xEC\x9E\x90\xEB\xA3\x8C\\\xEA\xB7\xB8\xEB\xA6\xBC "
                         "\xED\x95\x9C\xEA\xB8\x80.png\" readme.txt \xED\x95\x9C\xEA\xB8\x80.dat\n"
                       : "editor.cab: Editor.dll empty.bin\n"
                         "\"extra files.zip\": \"res\\a.dat\" readme.txt\n"));
    EXPECT_EQ(0u, Run(L"--source \"" + source + L".\" --output \"" + output +
                      L".\" --module Editor.dll --allow-folders --header 0x1:2 --list \"" + list + L"\""));
    bool ok = false;
    update_file_xml manifest = ReadManifest(output + L"activeupdate.xml", ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(L"Editor.dll", manifest.module);
    EXPECT_TRUE(FileExists(output + L"editor.cab"));
    if (nonAscii) {
        ASSERT_EQ(5u, manifest.files.size());
        EXPECT_EQ(L"\uD55C\uAE00.dat", manifest.files[4].name);
        EXPECT_EQ(kHangulFile, manifest.files[2].name);
        EXPECT_EQ(L"extra.zip", manifest.files[2].package);
        EXPECT_EQ(ComputeFileMd5(source + kHangulFile), manifest.files[2].hash);
        EXPECT_TRUE(FileExists(output + L"extra.zip"));
    } else {
        ASSERT_EQ(4u, manifest.files.size());
        EXPECT_EQ(L"res\\a.dat", manifest.files[2].name);
        EXPECT_EQ(L"extra files.zip", manifest.files[2].package);
        EXPECT_EQ(ComputeFileMd5(source + L"res\\a.dat"), manifest.files[2].hash);
        EXPECT_TRUE(FileExists(output + L"extra files.zip"));
    }
}

// Each run of the executable is a process start, which is slow under 32-bit
// Wine: the refusals themselves are covered through the library above.
TEST_F(ProducerToolTest, ExitCodesTellRefusalsFromFailures) {
    const std::wstring base = L"--source \"" + source + L".\" --output \"" + output + L".\" ";
    EXPECT_EQ(1u, Run(base + L"--module Editor.dll --package p.zip=Editor.dll --bogus"));
    EXPECT_EQ(1u, Run(base + L"--module Editor.dll --package q.zip=Editor.dll,..\\x.dll"));
    EXPECT_FALSE(FileExists(output + L"q.zip"));
    ASSERT_TRUE(WriteFileText(dir.path() + L"blocker", ""));
    EXPECT_EQ(2u, Run(L"--source \"" + source + L".\" --output \"" + dir.path() +
                      L"blocker\\out\" --module Editor.dll --package p.zip=Editor.dll"));
}

}  // namespace
