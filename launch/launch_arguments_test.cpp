// Splitting the launch arguments and building service URLs.

#include <gtest/gtest.h>

#include <string>

#include "launch/launch_arguments.h"
#include "support/logger.h"
#include "testing/test_support.h"

namespace {

const wchar_t kMissing[] = L"*오류 : 명령 인수값이 올바르지 않습니다. key, svr 값이 없습니다.";

class LaunchArgumentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = dir / L"args.log";
        Logger::Instance()->SetFilePath(log);
    }
    void TearDown() override { Logger::Release(); }
    std::wstring Log() { return testing_support::ReadLogFile(log); }
    bool Parse(const std::wstring& arguments) { return ParseLaunchArguments(arguments, key, server); }

    testing_support::TempDir dir;
    std::wstring log;
    std::wstring key = L"old key";
    std::wstring server = L"old server";
};

TEST_F(LaunchArgumentsTest, EitherOrder) {
    ASSERT_TRUE(Parse(L"key=K&svr=S"));
    EXPECT_EQ(L"K", key);
    EXPECT_EQ(L"S", server);
    ASSERT_TRUE(Parse(L"svr=http://h/start&key=K2"));
    EXPECT_EQ(L"K2", key);
    EXPECT_EQ(L"http://h/start", server);
}

TEST_F(LaunchArgumentsTest, ExtraTextBelongsToTheNeighbouringValue) {
    ASSERT_TRUE(Parse(L"key=K&lang=x&svr=S"));
    EXPECT_EQ(L"K&lang=x", key);
    EXPECT_EQ(L"S", server);
    ASSERT_TRUE(Parse(L"key=K&svr=S&x=1"));
    EXPECT_EQ(L"K", key);
    EXPECT_EQ(L"S&x=1", server);
    // "key=" at the end of a longer word counts too.
    ASSERT_TRUE(Parse(L"monkey=M&svr=S"));
    EXPECT_EQ(L"M", key);
    // The first "key=" decides the order; only "&svr=" separates.
    ASSERT_TRUE(Parse(L"svr=http://h/?key=a&key=K"));
    EXPECT_EQ(L"K", key);
    EXPECT_EQ(L"http://h/?key=a", server);
}

TEST_F(LaunchArgumentsTest, MissingNameLeavesBothOutputsAndLogs) {
    EXPECT_FALSE(Parse(L"key=K"));
    EXPECT_FALSE(Parse(L"svr=S"));
    EXPECT_FALSE(Parse(L""));
    EXPECT_EQ(L"old key", key);
    EXPECT_EQ(L"old server", server);
    std::wstring text = Log();
    size_t first = text.find(kMissing);
    ASSERT_NE(std::wstring::npos, first);
    EXPECT_NE(std::wstring::npos, text.find(kMissing, first + 1));
}

TEST_F(LaunchArgumentsTest, MissingSeparatorFails) {
    EXPECT_FALSE(Parse(L"key=K;svr=S"));
    EXPECT_FALSE(Parse(L"svr=S key=K"));
    // The separator must come after the first value's start.
    EXPECT_FALSE(Parse(L"&svr=key=K"));
    EXPECT_EQ(L"old key", key);
    EXPECT_EQ(L"old server", server);
    EXPECT_EQ(std::wstring::npos, Log().find(kMissing));
}

TEST_F(LaunchArgumentsTest, EmptyKeyIsAccepted) {
    ASSERT_TRUE(Parse(L"key=&svr=S"));
    EXPECT_EQ(L"", key);
    EXPECT_EQ(L"S", server);
}

TEST_F(LaunchArgumentsTest, ServerAddressIsPercentDecodedKeyIsNot) {
    ASSERT_TRUE(Parse(L"key=a%20b&svr=http%3A%2F%2Fhost%2Fstart%3Fx%3D1"));
    EXPECT_EQ(L"a%20b", key);
    EXPECT_EQ(L"http://host/start?x=1", server);
    ASSERT_TRUE(Parse(L"key=K&svr=http://host/a+b"));
    EXPECT_EQ(L"http://host/a+b", server);
    // UTF-8 escapes of a Hangul syllable.
    ASSERT_TRUE(Parse(L"key=K&svr=http://h/%ED%95%9C"));
    EXPECT_EQ(L"http://h/한", server);
}

TEST(ComposeServiceUrl, QuestionMarkKeyAndField) {
    EXPECT_EQ(L"http://h/s?key=K&field=startup",
              ComposeServiceUrl(L"field=startup", 2, L"http://h/s/", L"K"));
    EXPECT_EQ(L"http://h/s?key=K&field=startup", ComposeServiceUrl(L"field=startup", 2, L"http://h/s", L"K"));
    // Only one slash goes.
    EXPECT_EQ(L"http://h/?key=K&field=startup", ComposeServiceUrl(L"field=startup", 2, L"http://h//", L"K"));
    EXPECT_EQ(L"http://h/s?a=1&key=K&field=result",
              ComposeServiceUrl(L"field=result", 2, L"http://h/s?a=1", L"K"));
    EXPECT_EQ(L"http://h/s?key=K&field=result", ComposeServiceUrl(L"field=result", 2, L"http://h/s?", L"K"));
    EXPECT_EQ(L"http://h/s?a=1&key=K&field=result",
              ComposeServiceUrl(L"field=result", 2, L"http://h/s?a=1&", L"K"));
    EXPECT_EQ(L"http://h/s?field=startup", ComposeServiceUrl(L"field=startup", 2, L"http://h/s", L""));
    EXPECT_EQ(L"http://h/s?key=K", ComposeServiceUrl(L"", 2, L"http://h/s", L"K"));
    EXPECT_EQ(L"?field=startup", ComposeServiceUrl(L"field=startup", 2, L"", L""));
    EXPECT_EQ(L"?key=K&field=startup", ComposeServiceUrl(L"field=startup", 2, L"/", L"K"));
}

TEST(ComposeServiceUrl, EncodingModes) {
    // Mode 2 escapes the whole text through UTF-8 but keeps the delimiters.
    EXPECT_EQ(L"http://h/s?key=a%20b%24%ED%95%9C&field=startup",
              ComposeServiceUrl(L"field=startup", 2, L"http://h/s", L"a b$한"));
    // Any other mode leaves the text alone.
    EXPECT_EQ(L"http://h/s?key=a b$한&field=startup",
              ComposeServiceUrl(L"field=startup", 0, L"http://h/s", L"a b$한"));
    if (::GetACP() == 949) {
        EXPECT_EQ(L"http://h/s?key=%C7%D1&field=startup",
                  ComposeServiceUrl(L"field=startup", 1, L"http://h/s", L"한"));
    } else {
        EXPECT_EQ(L"http://h/s?key=%E9&field=startup",
                  ComposeServiceUrl(L"field=startup", 1, L"http://h/s", L"é"));
    }
}

}  // namespace
