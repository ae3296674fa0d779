// Logger and platform helpers against real files and the real system.

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <thread>

#include "support/crt_random.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/scoped.h"
#include "testing/test_support.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;

namespace {

std::wstring LogText(const std::wstring& path) { return testing_support::ReadLogFile(path); }

std::string Narrow(const std::wstring& text) { return testing_support::WideToUtf8String(text); }

class LoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        path = dir / L"day.log";
        Logger::Instance()->SetFilePath(path);
    }
    void TearDown() override { Logger::Release(); }
    TempDir dir;
    std::wstring path;
};

TEST_F(LoggerTest, NewFileGetsOneByteOrderMarkAndRecordsAppend) {
    Logger::Instance()->Write(L"first");
    Logger::Instance()->Write(L"second %d", 2);
    std::vector<unsigned char> bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    std::string text = Narrow(LogText(path));
    EXPECT_TRUE(std::regex_match(text, std::regex("\\d\\d:\\d\\d:\\d\\d first\r\n\\d\\d:\\d\\d:\\d\\d second 2\r\n")))
        << text;
    // A second writer appending to the same non-empty file adds no mark.
    Logger::Release();
    Logger::Instance()->SetFilePath(path);
    Logger::Instance()->Write(L"third");
    bytes = ReadFileBytes(path);
    int marks = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) marks += (bytes[i] == 0xFF && bytes[i + 1] == 0xFE);
    EXPECT_EQ(1, marks);
}

TEST_F(LoggerTest, RecordFormatBlankMessageAndTrailingLineEnd) {
    Logger::Instance()->Write(L" ");
    Logger::Instance()->Write(L"* url: %s\r\n", L"http://x/");
    Logger::Instance()->Write(L"한글 %s %d 0x%08x", L"값", -3, 0xAB);
    std::string text = Narrow(LogText(path));
    EXPECT_TRUE(std::regex_match(
        text, std::regex("\\d\\d:\\d\\d:\\d\\d  \r\n"
                         "\\d\\d:\\d\\d:\\d\\d \\* url: http://x/\r\n\r\n"
                         "\\d\\d:\\d\\d:\\d\\d 한글 값 -3 0x000000ab\r\n")))
        << text;
}

TEST_F(LoggerTest, FileHeldOpenForWritingDropsTheRecordQuietly) {
    Logger::Instance()->Write(L"kept");
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    // The caller's last error survives a record, written or not.
    SetLastError(0x1234);
    Logger::Instance()->Write(L"lost");
    EXPECT_EQ(0x1234u, GetLastError());
    CloseHandle(holder);
    SetLastError(0x4321);
    Logger::Instance()->Write(L"after");
    EXPECT_EQ(0x4321u, GetLastError());
    std::string text = Narrow(LogText(path));
    EXPECT_NE(std::string::npos, text.find("kept"));
    EXPECT_EQ(std::string::npos, text.find("lost"));
    EXPECT_NE(std::string::npos, text.find("after"));
}

TEST_F(LoggerTest, AnotherLauncherWritingTheSameFileLosesNoRecord) {
    Logger::Instance()->Write(L"first");
    // Another launcher process holds the day's file for its own record and
    // appends between two of ours.
    ScopedHandle other(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(other);
    Logger::Instance()->Write(L"second");
    SetFilePointer(other.get(), 0, nullptr, FILE_END);
    const std::wstring record = L"00:00:00 other\r\n";
    DWORD written = 0;
    WriteFile(other.get(), record.data(), static_cast<DWORD>(record.size() * 2), &written, nullptr);
    Logger::Instance()->Write(L"third");
    other.reset();
    std::string text = Narrow(LogText(path));
    EXPECT_TRUE(std::regex_match(text, std::regex("\\d\\d:\\d\\d:\\d\\d first\r\n"
                                                  "\\d\\d:\\d\\d:\\d\\d second\r\n"
                                                  "00:00:00 other\r\n"
                                                  "\\d\\d:\\d\\d:\\d\\d third\r\n")))
        << text;
}

TEST_F(LoggerTest, TwoThreadsWriteWholeRecords) {
    if (testing_support::ThreadsUnreliable()) {
        // Not GTEST_SKIP: that brings 32-bit Wine down under qemu-i386 too.
        printf("skipped: threads are not reliable under qemu-i386\n");
        return;
    }
    auto writer = [](wchar_t tag) {
        for (int i = 0; i < 150; ++i) Logger::Instance()->Write(L"%c%c%c%c%c %03d", tag, tag, tag, tag, tag, i);
    };
    std::thread a(writer, L'a');
    std::thread b(writer, L'b');
    a.join();
    b.join();
    std::string text = Narrow(LogText(path));
    std::regex line("\\d\\d:\\d\\d:\\d\\d (aaaaa|bbbbb) \\d\\d\\d\r\n");
    size_t count = 0;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it) ++count;
    EXPECT_EQ(300u, count);
    EXPECT_EQ(300u * 20u, text.size());
}

TEST_F(LoggerTest, MutexNameIsUniqueToTheProcess) {
    std::string name = Narrow(Logger::Instance()->MutexName());
    EXPECT_TRUE(std::regex_match(name, std::regex("_mutex_[0-9A-F]{8}-[0-9a-f]{4}[0-9a-f]{4}[0-9a-f]{6}"))) << name;
}

TEST(LoggerFallback, FirstRecordWithoutPathGoesBesideTheExecutable) {
    Logger::Release();
    SYSTEMTIME today;
    GetLocalTime(&today);
    wchar_t date[16];
    _snwprintf(date, 15, L"%04d%02d%02d", today.wYear, today.wMonth, today.wDay);
    date[15] = 0;
    std::wstring folder = testing_support::ExecutableFolder() + L"log\\";
    std::wstring named = folder + L"Fallback_" + date + L".log";
    std::wstring unnamed = folder + L"_" + date + L".log";
    DeleteFileW(named.c_str());
    DeleteFileW(unnamed.c_str());

    Logger::Instance()->SetName(L"Fallback");
    Logger::Instance()->Write(L"to the fallback");
    EXPECT_NE(std::string::npos, Narrow(LogText(named)).find("to the fallback"));
    Logger::Release();
    Logger::Instance()->Write(L"no name yet");
    EXPECT_NE(std::string::npos, Narrow(LogText(unnamed)).find("no name yet"));
    Logger::Release();
    DeleteFileW(named.c_str());
    DeleteFileW(unnamed.c_str());
}

TEST(CrtRandom, MatchesTheRuntimeGeneratorSequence) {
    // The first outputs after seeding with 1 are the runtime's well-known 41, 18467, 6334.
    crt_srand(1);
    EXPECT_EQ(41, crt_rand());
    EXPECT_EQ(18467, crt_rand());
    EXPECT_EQ(6334, crt_rand());
}

TEST(CrtRandom, LocalStateDrawsTheSameSequenceAsTheThreads) {
    CrtRandom local(12345);
    crt_srand(12345);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(crt_rand(), local.Next()) << i;
    // Handing the state back continues the thread's sequence.
    crt_srand(local.state());
    EXPECT_EQ(local.Next(), crt_rand());
}

bool Decode(const std::string& bytes, std::wstring& out) {
    return DecodeText(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), out);
}

TEST(DecodeText, ByteOrderMarksAndEdges) {
    std::wstring out = L"unchanged";
    EXPECT_FALSE(DecodeText(nullptr, 3, out));
    EXPECT_FALSE(Decode("", out));
    EXPECT_EQ(L"unchanged", out);

    ASSERT_TRUE(Decode("\xEF\xBB\xBF\xED\x95\x9C", out));
    EXPECT_EQ(L"\xD55C", out);
    // Exactly the three mark bytes are not UTF-8 with a mark: read as ANSI.
    ASSERT_TRUE(Decode("\xEF\xBB\xBF", out));
    EXPECT_NE(L"", out);

    ASSERT_TRUE(Decode(std::string("\xFF\xFE\x41\x00\x42", 5), out));
    EXPECT_EQ(L"A", out);  // the odd byte is dropped
    ASSERT_TRUE(Decode(std::string("\xFF\xFE\x5C\xD5", 4), out));
    EXPECT_EQ(L"\xD55C", out);
}

TEST(DecodeText, DeclarationDecidesBetweenUtf8AndAnsi) {
    std::wstring out;
    ASSERT_TRUE(Decode("<?xml version='1.0' encoding='UTF-8'?><a>\xED\x95\x9C</a>", out));
    EXPECT_EQ(L"<?xml version='1.0' encoding='UTF-8'?><a>\xD55C</a>", out);

    std::wstring ansi;
    ASSERT_TRUE(Decode("<?XML encoding='euc-kr'?><a>\xC7\xD1</a>", ansi));
    std::wstring expected = L"<?XML encoding='euc-kr'?><a>";
    if (GetACP() == 949) {
        EXPECT_EQ(expected + L"\xD55C</a>", ansi);
    } else {
        EXPECT_EQ(expected + L"\x00C7\x00D1</a>", ansi);
    }
    // A declaration after a NUL byte is not seen.
    EXPECT_FALSE(DeclaresUtf8(reinterpret_cast<const unsigned char*>("a\0<?xml encoding='utf-8'?>"), 27));
    EXPECT_TRUE(DeclaresUtf8(reinterpret_cast<const unsigned char*>("<?xml encoding='utf-8'?>"), 24));
    EXPECT_FALSE(DeclaresUtf8(reinterpret_cast<const unsigned char*>("<?xml encoding='utf-8'"), 22));
    EXPECT_FALSE(DeclaresUtf8(reinterpret_cast<const unsigned char*>("<a>utf-8</a>"), 12));
}

TEST(Utf8Rule, WellFormedSequencesOnly) {
    auto is = [](const std::string& s) {
        return IsUtf8Text(reinterpret_cast<const unsigned char*>(s.data()), s.size(), true);
    };
    EXPECT_TRUE(is("plain ascii"));
    EXPECT_TRUE(is("\xED\x95\x9C"));
    EXPECT_TRUE(is("\xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(is("\xC0\xAF"));          // overlong
    EXPECT_FALSE(is("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(is("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(is("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(is("\xED\x95"));          // truncated at the end
    EXPECT_FALSE(is("\xC7\xD1"));          // CP949 bytes
    EXPECT_TRUE(is("\xEF\xBB\xBF\xC0"));   // the mark decides
    EXPECT_TRUE(is(std::string("ok\0\xC0", 4)));  // stops at the first zero byte
}

TEST(Converters, ReturnNullOnEmptyAndRoundTrip) {
    EXPECT_EQ(nullptr, Utf8ToWide("", 0));
    auto wide = Utf8ToWide("\xED\x95\x9C\x41", 4);
    ASSERT_NE(nullptr, wide);
    EXPECT_EQ(std::wstring(L"\xD55C" L"A"), wide.get());
    auto utf8 = WideToUtf8(L"\xD55C", 1);
    ASSERT_NE(nullptr, utf8);
    EXPECT_STREQ("\xED\x95\x9C", utf8.get());
    auto ansi = WideToAnsi(L"abc");
    ASSERT_NE(nullptr, ansi);
    EXPECT_STREQ("abc", ansi.get());
}

TEST(Converters, OneConversionForEveryCodePageAndForm) {
    std::wstring wide = L"kept";
    // Nothing to convert leaves the output as it was.
    EXPECT_FALSE(MultiByteToWide(CP_UTF8, "", 0, wide));
    EXPECT_EQ(L"kept", wide);
    // -1 stops at the terminator and leaves it out; a count keeps inner NULs.
    ASSERT_TRUE(MultiByteToWide(CP_UTF8, "\xED\x95\x9C", -1, wide));
    EXPECT_EQ(std::wstring(L"\xD55C"), wide);
    ASSERT_TRUE(MultiByteToWide(CP_ACP, "a\0b", 3, wide));
    EXPECT_EQ(std::wstring(L"a\0b", 3), wide);
    std::string bytes;
    ASSERT_TRUE(WideToMultiByte(CP_UTF8, L"\xD55C", -1, bytes));
    EXPECT_EQ("\xED\x95\x9C", bytes);
    // The flags reach the converter: a lone surrogate is refused with
    // WC_ERR_INVALID_CHARS, and the output stays.
    EXPECT_FALSE(WideToMultiByte(CP_UTF8, L"\xD800", 1, bytes, WC_ERR_INVALID_CHARS));
    EXPECT_EQ("\xED\x95\x9C", bytes);
    BOOL usedDefault = FALSE;
    ASSERT_TRUE(WideToMultiByte(1252, L"a\xD55C", 2, bytes, 0, &usedDefault));
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ("a?", bytes);
}

TEST(LastErrorText, SystemTextThenCode) {
    SetLastError(5);
    std::wstring text = LastErrorText();
    EXPECT_EQ(5u, GetLastError());
    ASSERT_GT(text.size(), 9u);
    EXPECT_EQ(L" (0x0005)", text.substr(text.size() - 9));
    SetLastError(0x12345678);
    EXPECT_EQ(L"0x12345678", LastErrorText());
}

TEST(EnsureDirectory, ExistingNestedAndImpossible) {
    TempDir dir;
    Logger::Release();
    std::wstring log = dir / L"log.txt";
    Logger::Instance()->SetFilePath(log);

    EXPECT_TRUE(EnsureDirectory(dir.path()));
    std::wstring nested = dir / L"a\\b\\c";
    EXPECT_TRUE(EnsureDirectory(nested));
    EXPECT_TRUE(testing_support::FileExists(nested));

    std::wstring file = dir / L"file";
    ASSERT_TRUE(testing_support::WriteFileText(file, "x"));
    EXPECT_FALSE(EnsureDirectory(file + L"\\sub"));
    std::string text = Narrow(LogText(log));
    EXPECT_NE(std::string::npos, text.find("Failed to SHCreateDirectory (err:")) << text;
    EXPECT_NE(std::string::npos, text.find("file\\sub)")) << text;
    Logger::Release();
}

TEST(DataRoot, LocalLowFolderOfTheUser) {
    EXPECT_TRUE(IsVistaOrLater());
    EXPECT_GE(GetShellVersion(), 0x50000u);
    std::wstring root = GetDataRootFolder();
    ASSERT_FALSE(root.empty());
    EXPECT_NE(L'\\', root.back());
    EXPECT_EQ(L"\\AppData\\LocalLow", root.substr(root.size() - 17));
}

}  // namespace
