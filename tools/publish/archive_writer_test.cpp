// The archive writers, read back through the platform's setup library and
// through minizip's reader directly (independent of our extractors).

#include <windows.h>

#include <fci.h>
#include <setupapi.h>
#include <unzip.h>
#include <iowin32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/logger.h"
#include "testing/test_support.h"
#include "tools/publish/archive_writer.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

struct CabEntry {
    std::wstring name;
    std::vector<unsigned char> content;
    WORD attributes = 0;
};

struct CabListing {
    std::wstring scratch;  // where accepted files are written, one at a time
    std::vector<CabEntry> entries;
};

UINT CALLBACK ListCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
    auto* listing = static_cast<CabListing*>(context);
    if (notification == SPFILENOTIFY_FILEINCABINET) {
        auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1);
        CabEntry entry;
        entry.name = info->NameInCabinet;
        entry.attributes = info->DosAttribs;
        listing->entries.push_back(entry);
        std::wstring target = listing->scratch + L"item.bin";
        lstrcpynW(info->FullTargetName, target.c_str(), MAX_PATH);
        return FILEOP_DOIT;
    }
    if (notification == SPFILENOTIFY_FILEEXTRACTED && !listing->entries.empty()) {
        std::wstring target = listing->scratch + L"item.bin";
        listing->entries.back().content = ReadFileBytes(target);
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
    }
    return NO_ERROR;
}

bool ListCabinet(const std::wstring& cab, const std::wstring& scratch, std::vector<CabEntry>& entries) {
    CabListing listing;
    listing.scratch = scratch;
    BOOL ok = SetupIterateCabinetW(cab.c_str(), 0, ListCallback, &listing);
    entries = listing.entries;
    return ok != FALSE;
}

struct ZipEntry {
    std::string rawName;
    unsigned long flag = 0;
    unsigned long versionMadeBy = 0;
    unsigned long externalAttributes = 0;
    unsigned long method = 0;
    std::string content;
};

bool ListZip(const std::wstring& zipPath, std::vector<ZipEntry>& entries) {
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    unzFile zip = unzOpen2_64(zipPath.c_str(), &io);
    if (!zip) return false;
    bool ok = true;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        unz_file_info64 info;
        char name[1024] = {};
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof(name) - 1, nullptr, 0, nullptr, 0) != UNZ_OK) {
            ok = false;
            break;
        }
        ZipEntry entry;
        entry.rawName.assign(name, info.size_filename);
        entry.flag = info.flag;
        entry.versionMadeBy = info.version;
        entry.externalAttributes = info.external_fa;
        entry.method = info.compression_method;
        if (unzOpenCurrentFile(zip) != UNZ_OK) {
            ok = false;
            break;
        }
        char buffer[4096];
        int got;
        while ((got = unzReadCurrentFile(zip, buffer, sizeof(buffer))) > 0) entry.content.append(buffer, got);
        if (got < 0 || unzCloseCurrentFile(zip) != UNZ_OK) ok = false;
        entries.push_back(entry);
    }
    unzClose(zip);
    return ok;
}

class ArchiveWriterTest : public ::testing::Test {
protected:
    void SetUp() override { Logger::Instance()->SetFilePath(m_dir / L"test.log"); }
    void TearDown() override { Logger::Instance()->SetFilePath(std::wstring()); }
    std::wstring Log() { return testing_support::ReadLogFile(m_dir / L"test.log"); }
    TempDir m_dir;
};

TEST_F(ArchiveWriterTest, CabinetKeepsContentAndEveryStoredName) {
    ASSERT_TRUE(WriteFileText(m_dir / L"a.txt", "alpha"));
    std::string big;
    for (int i = 0; i < 100000; ++i) big += static_cast<char>('a' + (i * 7) % 26);
    ASSERT_TRUE(WriteFileText(m_dir / L"b.bin", big));
    ASSERT_TRUE(WriteFileText(m_dir / L"empty", ""));
    std::vector<ArchiveItem> items = {{m_dir / L"a.txt", L"a.txt"},
                                      {m_dir / L"b.bin", L"sub\\b.bin"},
                                      {m_dir / L"a.txt", L"..\\..\\evil.dll"},
                                      {m_dir / L"a.txt", L"C:\\evil.dll"},
                                      {m_dir / L"empty", L"\uD55C\uAE00.txt"}};
    std::wstring cab = m_dir / L"out.cab";
    ASSERT_TRUE(WriteCabinet(cab, items));

    TempDir scratch;
    std::vector<CabEntry> entries;
    ASSERT_TRUE(ListCabinet(cab, scratch.path(), entries));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[0].name, L"a.txt");
    EXPECT_EQ(std::string(entries[0].content.begin(), entries[0].content.end()), "alpha");
    EXPECT_EQ(entries[1].name, L"sub\\b.bin");
    EXPECT_EQ(std::string(entries[1].content.begin(), entries[1].content.end()), big);
    EXPECT_EQ(entries[2].name, L"..\\..\\evil.dll");
    EXPECT_EQ(entries[3].name, L"C:\\evil.dll");
    // Stored as UTF-8 and flagged so; Wine's setup library decodes cabinet
    // names in the ANSI code page whatever the flag says, so only the flag
    // is checked here.
    EXPECT_EQ(entries[4].attributes & _A_NAME_IS_UTF, _A_NAME_IS_UTF);
    EXPECT_EQ(entries[0].attributes & _A_NAME_IS_UTF, 0);
    EXPECT_TRUE(entries[4].content.empty());
}

TEST_F(ArchiveWriterTest, CabinetWithMissingSourceFailsAndLeavesNoFile) {
    ASSERT_TRUE(WriteFileText(m_dir / L"a.txt", "alpha"));
    std::wstring cab = m_dir / L"out.cab";
    EXPECT_FALSE(WriteCabinet(cab, {{m_dir / L"a.txt", L"a.txt"}, {m_dir / L"missing.txt", L"m.txt"}}));
    EXPECT_FALSE(testing_support::FileExists(cab));
    EXPECT_NE(Log().find(L"캐비닛에 파일을 넣을 수 없습니다"), std::wstring::npos);
}

TEST_F(ArchiveWriterTest, ZipStoresUtf8NamesWithFlagAndDosAttributes) {
    ASSERT_TRUE(WriteFileText(m_dir / L"a.txt", "alpha alpha alpha alpha"));
    ASSERT_TRUE(WriteFileText(m_dir / L"ro.txt", "read only"));
    ASSERT_TRUE(SetFileAttributesW((m_dir / L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring zip = m_dir / L"out.zip";
    ASSERT_TRUE(WriteZip(zip, {{m_dir / L"a.txt", L"a.txt"},
                               {m_dir / L"a.txt", L"\uD55C\uAE00/\uD30C\uC77C.txt"},
                               {m_dir / L"a.txt", L"..\\x"},
                               {m_dir / L"ro.txt", L"ro.txt"}}));
    SetFileAttributesW((m_dir / L"ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

    std::vector<ZipEntry> entries;
    ASSERT_TRUE(ListZip(zip, entries));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].rawName, "a.txt");
    EXPECT_EQ(entries[0].flag & 0x800, 0u);
    EXPECT_EQ(entries[0].method, static_cast<unsigned long>(Z_DEFLATED));
    EXPECT_EQ(entries[0].content, "alpha alpha alpha alpha");
    EXPECT_EQ(entries[0].versionMadeBy >> 8, 0u);  // MS-DOS host
    EXPECT_EQ(entries[1].rawName, "\xED\x95\x9C\xEA\xB8\x80/\xED\x8C\x8C\xEC\x9D\xBC.txt");
    EXPECT_EQ(entries[1].flag & 0x800, 0x800u);
    EXPECT_EQ(entries[2].rawName, "..\\x");
    EXPECT_EQ(entries[3].externalAttributes & FILE_ATTRIBUTE_READONLY, static_cast<unsigned long>(1));
    EXPECT_EQ(entries[3].content, "read only");
}

TEST_F(ArchiveWriterTest, ZipWithMissingSourceFailsAndLeavesNoFile) {
    std::wstring zip = m_dir / L"out.zip";
    EXPECT_FALSE(WriteZip(zip, {{m_dir / L"missing.txt", L"m.txt"}}));
    EXPECT_FALSE(testing_support::FileExists(zip));
    EXPECT_NE(Log().find(L"압축할 파일을 열 수 없습니다"), std::wstring::npos);
}

TEST_F(ArchiveWriterTest, ZipIntoMissingFolderFails) {
    ASSERT_TRUE(WriteFileText(m_dir / L"a.txt", "alpha"));
    EXPECT_FALSE(WriteZip(m_dir / L"no\\such\\out.zip", {{m_dir / L"a.txt", L"a.txt"}}));
    EXPECT_NE(Log().find(L"zip 파일을 만들 수 없습니다"), std::wstring::npos);
}

}  // namespace
