// Downloads against the loopback test server and the file operations against
// real files, reading the log records they write.

#include "inet/download.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "support/contained_path.h"
#include "support/logger.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"

using testing_support::FileExists;
using testing_support::HttpAnswer;
using testing_support::HttpTestServer;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::string Text(const std::wstring& path) {
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A folder to work in and the records written since the test began.
class FileOpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Instance()->SetFilePath(logDir / L"day.log");
        logStart = testing_support::LogSize(logDir / L"day.log");
    }
    std::wstring Log() { return testing_support::ReadLogSince(logDir / L"day.log", logStart); }
    TempDir logDir;
    size_t logStart = 0;
    TempDir dir;
};

class DownloadTest : public FileOpsTest {
protected:
    HttpTestServer server;
};

TEST_F(DownloadTest, FetchDocumentSucceedsOnTheFifthAttempt) {
    for (int i = 0; i < 4; ++i) server.enqueue("/startup", HttpAnswer::Text(404, "no"));
    server.answer("/startup", HttpAnswer::Text(200, "<startup ok=\"1\"/>"));
    ByteBuffer buffer;
    ASSERT_TRUE(FetchDocument(server.url("/startup?key=abc"), buffer));
    EXPECT_EQ(5u, server.count("/startup"));
    ASSERT_EQ(17, buffer.length);
    EXPECT_EQ("<startup ok=\"1\"/>", std::string(buffer.bytes.begin(), buffer.bytes.begin() + buffer.length));
    EXPECT_EQ(std::wstring(), Log());
}

TEST_F(DownloadTest, FetchDocumentFailsAfterFiveAttemptsAndLogsTwoRecords) {
    server.answer("/startup", HttpAnswer::Text(404, "no"));
    ByteBuffer buffer;
    buffer.bytes = {1, 2, 3};
    buffer.length = 3;
    std::wstring url = server.url("/startup?key=abc");
    EXPECT_FALSE(FetchDocument(url, buffer));
    EXPECT_EQ(5u, server.count("/startup"));
    // The buffer is untouched.
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3}), buffer.bytes);
    EXPECT_EQ(3, buffer.length);
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos,
              log.find(L"*오류 : 다운로드 하지 못했습니다. (url:" + url + L", status:404, err:0x"));
    EXPECT_EQ(2u, Count(log, L"\r\n"));
}

TEST_F(DownloadTest, FetchDocumentFailureCarriesTheErrorText) {
    ByteBuffer buffer;
    EXPECT_FALSE(FetchDocument(L"not a url", buffer));
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos, log.find(L"(url:not a url, status:-1, err:0x"));
    EXPECT_NE(std::wstring::npos,
              log.find(L"      url is empty or does not contain a known Internet service type.\r\n"));
    EXPECT_EQ(nullptr, buffer.data());
}

TEST_F(DownloadTest, FetchDocumentWithAnEmptyBody) {
    server.answer("/empty", HttpAnswer::Text(200, ""));
    ByteBuffer buffer;
    buffer.length = 99;
    ASSERT_TRUE(FetchDocument(server.url("/empty"), buffer));
    EXPECT_EQ(0, buffer.length);
    EXPECT_EQ(nullptr, buffer.data());
}

TEST_F(DownloadTest, FetchDocumentReusesLongerStorage) {
    server.answer("/doc", HttpAnswer::Text(200, "abc"));
    ByteBuffer buffer;
    buffer.bytes.assign(10, 'z');
    ASSERT_TRUE(FetchDocument(server.url("/doc"), buffer));
    EXPECT_EQ(3, buffer.length);
    EXPECT_EQ(10u, buffer.bytes.size());
    EXPECT_EQ("abczzzzzzz", std::string(buffer.bytes.begin(), buffer.bytes.end()));
}

TEST_F(DownloadTest, FetchFileGoesThroughTheTemporaryName) {
    HttpAnswer a;
    a.body = std::string(50000, 'p');
    server.answer("/pkg.zip", a);
    std::wstring target = dir / L"pkg.zip";
    ASSERT_TRUE(FetchFile(server.url("/pkg.zip"), target));
    EXPECT_EQ(a.body, Text(target));
    EXPECT_FALSE(FileExists(target + L".tmp~"));
    EXPECT_EQ(std::wstring(), Log());
    EXPECT_FALSE(server.requests()[0].has_header("Range"));
}

TEST_F(DownloadTest, FetchFileReplacesAnExistingTarget) {
    server.answer("/pkg.zip", HttpAnswer::Text(200, "new content"));
    std::wstring target = dir / L"pkg.zip";
    ASSERT_TRUE(WriteFileText(target, "old content that is longer"));
    ASSERT_TRUE(FetchFile(server.url("/pkg.zip"), target));
    EXPECT_EQ("new content", Text(target));
    EXPECT_FALSE(FileExists(target + L".tmp~"));
}

TEST_F(DownloadTest, FetchFileAfterFiveFailuresRemovesTheTemporaryFile) {
    HttpAnswer a = HttpAnswer::Text(503, "busy");
    server.answer("/pkg.zip", a);
    std::wstring target = dir / L"pkg.zip";
    std::wstring url = server.url("/pkg.zip");
    EXPECT_FALSE(FetchFile(url, target));
    EXPECT_EQ(5u, server.count("/pkg.zip"));
    EXPECT_FALSE(FileExists(target + L".tmp~"));
    EXPECT_FALSE(FileExists(target));
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos,
              log.find(L"*오류 : 파일을 다운로드 하지 못했습니다. (url:" + url + L", status:503, err:0x"));
    EXPECT_EQ(2u, Count(log, L"\r\n"));
}

TEST_F(DownloadTest, FetchFileSucceedsAfterFailures) {
    server.enqueue("/pkg.zip", HttpAnswer::Text(500, "x"));
    server.enqueue("/pkg.zip", HttpAnswer::Text(500, "x"));
    server.answer("/pkg.zip", HttpAnswer::Text(200, "third time"));
    std::wstring target = dir / L"pkg.zip";
    ASSERT_TRUE(FetchFile(server.url("/pkg.zip"), target));
    EXPECT_EQ("third time", Text(target));
    EXPECT_EQ(3u, server.count("/pkg.zip"));
}

TEST_F(DownloadTest, FetchFileIntoAMissingFolderRetriesAndFails) {
    // The temporary file cannot be opened: every attempt fails at once
    // instead of reporting a 200 with nothing on disk.
    server.answer("/pkg.zip", HttpAnswer::Text(200, "content"));
    std::wstring target = dir / L"missing\\pkg.zip";
    EXPECT_FALSE(FetchFile(server.url("/pkg.zip"), target));
    EXPECT_EQ(0u, server.count("/pkg.zip"));
    EXPECT_FALSE(FileExists(target));
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos, log.find(L"status:-1"));
    EXPECT_NE(std::wstring::npos, log.find(L"     the target file could not be opened for writing"));
}

TEST_F(DownloadTest, FetchFileOntoAReadOnlyTarget) {
    server.answer("/pkg.zip", HttpAnswer::Text(200, "fresh"));
    std::wstring target = dir / L"pkg.zip";
    ASSERT_TRUE(WriteFileText(target, "old"));
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    std::wstring url = server.url("/pkg.zip");
    bool result = FetchFile(url, target);
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos,
              log.find(L"*경고 : 파일을 삭제하는데 실패했습니다. (url:" + url + L", err:0x"));
    if (!result) {
        EXPECT_NE(std::wstring::npos, log.find(L"*오류 : 다운로드받은 파일명을 변경 하지 못했습니다. (src:" +
                                               target + L".tmp~, dest:" + target + L", err:0x"));
        EXPECT_FALSE(FileExists(target + L".tmp~"));
        EXPECT_FALSE(FileExists(target));
    } else {
        // Wine running as root lets the copy overwrite a read-only file
        // (Windows refuses it); the new content is then in place.
        EXPECT_EQ("fresh", Text(target));
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST_F(DownloadTest, FetchFileOntoATargetHeldOpenFails) {
    server.answer("/pkg.zip", HttpAnswer::Text(200, "fresh"));
    std::wstring target = dir / L"pkg.zip";
    ASSERT_TRUE(WriteFileText(target, "old"));
    HANDLE holder = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    std::wstring url = server.url("/pkg.zip");
    EXPECT_FALSE(FetchFile(url, target));
    CloseHandle(holder);
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos,
              log.find(L"*경고 : 파일을 삭제하는데 실패했습니다. (url:" + url + L", err:0x"));
    EXPECT_NE(std::wstring::npos, log.find(L"*오류 : 다운로드받은 파일명을 변경 하지 못했습니다. (src:" +
                                           target + L".tmp~, dest:" + target + L", err:0x"));
    EXPECT_FALSE(FileExists(target + L".tmp~"));
    EXPECT_EQ("old", Text(target));
}

TEST(ComputeFileMd5, KnownDigests) {
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"empty", ""));
    EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", ComputeFileMd5(dir / L"empty"));
    ASSERT_TRUE(WriteFileText(dir / L"abc", "abc"));
    EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", ComputeFileMd5(dir / L"abc"));
    ASSERT_TRUE(WriteFileText(dir / L"fox", "The quick brown fox jumps over the lazy dog"));
    EXPECT_EQ(L"9e107d9d372bb6826bd81d3542a419d6", ComputeFileMd5(dir / L"fox"));
    // Exactly one and a bit more than one read block.
    ASSERT_TRUE(WriteFileText(dir / L"a1024", std::string(1024, 'a')));
    ASSERT_TRUE(WriteFileText(dir / L"a1025", std::string(1025, 'a')));
    EXPECT_NE(ComputeFileMd5(dir / L"a1024"), ComputeFileMd5(dir / L"a1025"));
    EXPECT_EQ(32u, ComputeFileMd5(dir / L"a1025").size());
    ASSERT_TRUE(WriteFileText(dir / L"million", std::string(1000000, 'a')));
    EXPECT_EQ(L"7707d6ae4e027c70eea2a935c2296f21", ComputeFileMd5(dir / L"million"));
}

TEST(ComputeFileMd5, MissingFileOrFolderGivesMinusOne) {
    TempDir dir;
    EXPECT_EQ(L"-1", ComputeFileMd5(dir / L"nothing.bin"));
    EXPECT_EQ(L"-1", ComputeFileMd5(L""));
}

TEST(GetFileVersionText, ReadsTheFixedFileVersion) {
    std::wstring folder = testing_support::ExecutableFolder();
    EXPECT_EQ(L"1.2.3.4", GetFileVersionText(folder + L"version_probe_1234.dll"));
    // A block larger than 4096 bytes is read whole.
    EXPECT_EQ(L"65535.0.7.60000", GetFileVersionText(folder + L"version_probe_large.dll"));
    EXPECT_EQ(L"", GetFileVersionText(folder + L"version_probe_none.dll"));
    EXPECT_EQ(L"", GetFileVersionText(folder + L"no_such_file.dll"));
    TempDir dir;
    ASSERT_TRUE(WriteFileText(dir / L"text.dll", "not a PE file"));
    EXPECT_EQ(L"", GetFileVersionText(dir / L"text.dll"));
}

TEST_F(FileOpsTest, CreateDirectoriesCollapsesDoubledSeparatorsAndMakesParents) {
    std::wstring root = dir.path();  // ends with a backslash
    std::wstring input = root + L"a\\\\b\\c";
    ASSERT_TRUE(CreateDirectories(input));
    EXPECT_TRUE(IsDirectoryPath(root + L"a\\b\\c"));
    EXPECT_EQ(std::wstring(), Log());
}

TEST_F(FileOpsTest, CreateDirectoriesOnAnExistingFolderIsQuiet) {
    ASSERT_TRUE(CreateDirectories(dir.path()));
    ASSERT_TRUE(CreateDirectories(dir / L"x"));
    ASSERT_TRUE(CreateDirectories(dir / L"x\\"));
    EXPECT_EQ(std::wstring(), Log());
}

TEST_F(FileOpsTest, CreateDirectoriesWithALeadingBackslashAndMissingParentDoesNotWalk) {
    // "\name\child" is relative to the current drive's root; its parent is
    // missing and no walk is made.
    std::wstring name = L"\\orvin-missing-" + std::to_wstring(GetCurrentProcessId()) + L"\\child";
    EXPECT_FALSE(CreateDirectories(name));
    DWORD error = GetLastError();
    EXPECT_FALSE(IsDirectoryPath(name.substr(0, name.find(L'\\', 1))));
    // Windows says "path not found"; Wine says "file not found".
    EXPECT_TRUE(error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) << error;
    EXPECT_NE(std::wstring::npos, Log().find(L"폴더를 생성하지 못했습니다.[win32err:" +
                                             std::to_wstring(error) + L"][" + name + L"\\]\r\n\r\n"));
}

TEST_F(FileOpsTest, CreateDirectoriesBelowAFileFailsAndLogs) {
    ASSERT_TRUE(WriteFileText(dir / L"file", "x"));
    EXPECT_FALSE(CreateDirectories(dir / L"file\\sub"));
    DWORD error = GetLastError();
    EXPECT_NE(0u, error);
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos, log.find(L"[win32err:" + std::to_wstring(error) + L"]"));
    EXPECT_NE(std::wstring::npos, log.find(L"폴더를 생성하지 못했습니다.[win32err:"));
    EXPECT_NE(std::wstring::npos, log.find(L"][" + dir.path() + L"file\\sub\\]"));
}

TEST_F(FileOpsTest, CreateDirectoriesOfEmptyPathFails) {
    EXPECT_FALSE(CreateDirectories(L""));
    EXPECT_NE(std::wstring::npos, Log().find(L"폴더를 생성하지 못했습니다.[win32err:"));
}

TEST_F(FileOpsTest, DeleteFolderRecursiveRemovesEverything) {
    ASSERT_TRUE(CreateDirectories(dir / L"top\\sub\\deeper"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\sub\\b.txt", "b"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\sub\\deeper\\c.txt", "c"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\sub\\ro.txt", "r"));
    ASSERT_TRUE(SetFileAttributesW((dir / L"top\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFolder(dir / L"top", true));
    EXPECT_FALSE(FileExists(dir / L"top"));
    EXPECT_EQ(std::wstring(), Log());
}

TEST_F(FileOpsTest, DeleteFolderWithoutRecursionKeepsSubfoldersAndLogs) {
    ASSERT_TRUE(CreateDirectories(dir / L"top\\sub"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\z.txt", "z"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\sub\\b.txt", "b"));
    EXPECT_TRUE(DeleteFolder(dir / L"top\\", false));
    EXPECT_FALSE(FileExists(dir / L"top\\a.txt"));
    EXPECT_FALSE(FileExists(dir / L"top\\z.txt"));
    EXPECT_TRUE(FileExists(dir / L"top\\sub\\b.txt"));
    EXPECT_NE(std::wstring::npos, Log().find(L"delete fail: " + dir.path() + L"top\\\n\r\n"));
}

TEST_F(FileOpsTest, DeleteFolderStopsAtAFileThatCannotBeDeleted) {
    ASSERT_TRUE(CreateDirectories(dir / L"top"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\held.txt", "h"));
    HANDLE holder =
        CreateFileW((dir / L"top\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    EXPECT_FALSE(DeleteFolder(dir / L"top", true));
    CloseHandle(holder);
    EXPECT_TRUE(IsDirectoryPath(dir / L"top"));
    EXPECT_TRUE(FileExists(dir / L"top\\held.txt"));
}

// Junctions cannot be made under Wine: a real folder stands for one, marked
// as a link through its attributes.
std::wstring g_link;
DWORD MarkLink(const std::wstring& path, DWORD attributes) {
    return path == g_link ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
}

TEST_F(FileOpsTest, DeleteFolderRemovesALinkAsALinkAndNeverEntersIt) {
    ASSERT_TRUE(CreateDirectories(dir / L"top\\link"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\a.txt", "a"));
    ASSERT_TRUE(WriteFileText(dir / L"top\\link\\victim.txt", "v"));
    ASSERT_TRUE(SetFileAttributesW((dir / L"top\\link\\victim.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    SetPathAttributesHookForTest(MarkLink);
    g_link = dir / L"top\\link";
    // Removing the "link" fails here only because it stands for one with a
    // real folder; what it points to is left alone either way.
    EXPECT_FALSE(DeleteFolder(dir / L"top", true));
    EXPECT_TRUE(FileExists(dir / L"top\\link\\victim.txt"));
    EXPECT_NE(0u, GetFileAttributesW((dir / L"top\\link\\victim.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
    // The folder handed over may itself be one.
    g_link = dir / L"top\\link";
    EXPECT_FALSE(DeleteFolder(dir / L"top\\link\\", true));
    EXPECT_TRUE(FileExists(dir / L"top\\link\\victim.txt"));
    SetPathAttributesHookForTest(nullptr);
}

TEST_F(FileOpsTest, DeleteFolderOfSomethingElseIsFalse) {
    ASSERT_TRUE(WriteFileText(dir / L"file", "x"));
    EXPECT_FALSE(DeleteFolder(dir / L"file", true));
    EXPECT_FALSE(DeleteFolder(dir / L"missing", true));
    EXPECT_TRUE(FileExists(dir / L"file"));
}

TEST_F(FileOpsTest, DeleteFileForceClearsReadOnly) {
    ASSERT_TRUE(WriteFileText(dir / L"ro", "x"));
    ASSERT_TRUE(SetFileAttributesW((dir / L"ro").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(DeleteFileForce(dir / L"ro"));
    EXPECT_FALSE(FileExists(dir / L"ro"));
    EXPECT_FALSE(DeleteFileForce(L""));
    EXPECT_FALSE(DeleteFileForce(dir / L"ro"));
    ASSERT_TRUE(CreateDirectories(dir / L"folder"));
    EXPECT_FALSE(DeleteFileForce(dir / L"folder"));
    EXPECT_TRUE(IsDirectoryPath(dir / L"folder"));
}

TEST_F(FileOpsTest, PathKinds) {
    ASSERT_TRUE(WriteFileText(dir / L"f", "x"));
    EXPECT_TRUE(IsDirectoryPath(dir.path()));
    EXPECT_FALSE(IsFilePath(dir.path()));
    EXPECT_TRUE(IsFilePath(dir / L"f"));
    EXPECT_FALSE(IsDirectoryPath(dir / L"f"));
    EXPECT_FALSE(IsFilePath(dir / L"none"));
    EXPECT_FALSE(IsDirectoryPath(dir / L"none"));
    EXPECT_FALSE(IsFilePath(L""));
    EXPECT_FALSE(IsDirectoryPath(L""));
}

}  // namespace
