// The edit result: what stops the run, and the URLs it builds, checked against
// the real JSON reader, the real URL encoders and the real log file.

#include "editor/edit_result.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch/startup_file_xml.h"
#include "support/logger.h"
#include "testing/test_support.h"

using testing_support::TempDir;

namespace {

const wchar_t kArguments[] = L"key=K123&svr=http%3A%2F%2Fshop.example%2Fapi";
// The component-encoded form of http://shop.example/api?key=K123&field=result.
const wchar_t kKeyResult[] = L"http%3A%2F%2Fshop.example%2Fapi%3Fkey%3DK123%26field%3Dresult";

const wchar_t kParseFailure[] = L"*오류 : 편집 결과 JSON파싱에 실패 했습니다. (json:";
const wchar_t kNoJson[] = L"*오류 : 편집 결과에 JSON정보가 없습니다.";
const wchar_t kNoUploads[] = L"*알림 : 편집결과 JSON정보에 업로드 목록이 없습니다.";
const wchar_t kCartDeclined[] = L"*알림 : 편집결과 JSON정보에 장바구니 호출을 하지 않도록 설정했습니다.";

class EditResultTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        logPath = dir / L"day.log";
        Logger::Instance()->SetFilePath(logPath);
        startup.return_url = L"http://shop.example/return";
        startup.return2_url = L"http://shop.example/cart";
    }
    void TearDown() override { Logger::Release(); }

    // Runs the processing; the URLs start with a marker so that a failure can
    // be seen to leave them alone.
    bool Process(const std::wstring& json, const std::wstring& arguments = kArguments) {
        browser = L"untouched";
        cart = L"untouched";
        return ProcessEditResult(arguments, startup, json, browser, cart);
    }
    std::wstring Log() { return testing_support::ReadLogFile(logPath); }
    bool Logged(const std::wstring& text) { return Log().find(text) != std::wstring::npos; }
    // The one record a failed processing writes, and untouched outputs.
    void ExpectFailure(const std::wstring& json, const std::wstring& record) {
        const std::string where = testing_support::WideToUtf8String(json);
        size_t before = testing_support::LogSize(logPath);
        EXPECT_FALSE(Process(json)) << where;
        std::wstring written = testing_support::ReadLogSince(logPath, before);
        EXPECT_NE(std::wstring::npos, written.find(record))
            << testing_support::WideToUtf8String(written) << where;
        EXPECT_EQ(L"untouched", browser) << where;
        EXPECT_EQ(L"untouched", cart) << where;
    }
    void ExpectSuccess(const std::wstring& json) {
        const std::string where = testing_support::WideToUtf8String(json);
        EXPECT_TRUE(Process(json)) << testing_support::WideToUtf8String(Log()) << where;
        EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=0&keyresult=") + kKeyResult, browser)
            << where;
    }

    TempDir dir;
    std::wstring logPath;
    startup_file_xml startup;
    std::wstring browser;
    std::wstring cart;
};

TEST_F(EditResultTest, MinimalResultBuildsBothUrls) {
    ASSERT_TRUE(Process(L"{\"exit_code\":\"0\",\"uploaded_list\":[\"a\"]}"));
    EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=0&keyresult=") + kKeyResult, browser);
    EXPECT_EQ(std::wstring(L"http://shop.example/cart?exit_code=0&keyresult=") + kKeyResult, cart);
    EXPECT_EQ(L"", Log());
}

TEST_F(EditResultTest, ExitCodeIsPassedOnAndDefaultsToZero) {
    ASSERT_TRUE(Process(L"{\"exit_code\":\"17\",\"uploaded_list\":[1]}"));
    EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=17&keyresult=") + kKeyResult, browser);
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}"));
    EXPECT_EQ(0u, browser.find(L"http://shop.example/return?exit_code=0&keyresult="));
    EXPECT_EQ(0u, cart.find(L"http://shop.example/cart?exit_code=0&keyresult="));
    // An empty string is a value like any other.
    ASSERT_TRUE(Process(L"{\"exit_code\":\"\",\"uploaded_list\":[1]}"));
    EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=&keyresult=") + kKeyResult, browser);
}

TEST_F(EditResultTest, ExitCodeTravelsThroughTheAnsiCodePage) {
    ASSERT_TRUE(Process(L"{\"exit_code\":\"한\",\"uploaded_list\":[1]}"));
    // Korean systems keep the syllable; elsewhere the code page has no room
    // for it and the converter's default character takes its place.
    std::wstring expected = GetACP() == 949 ? L"한" : L"?";
    EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=") + expected + L"&keyresult=" + kKeyResult,
              browser);
}

TEST_F(EditResultTest, TextOutsideTheCodePageStillParses) {
    // Members the processing does not read may hold anything.
    ExpectSuccess(L"{\"title\":\"작품 €✓ 名\",\"uploaded_list\":[\"사진\"]}");
}

TEST_F(EditResultTest, EmptyResultIsReported) {
    ExpectFailure(L"", kNoJson);
}

TEST_F(EditResultTest, MalformedJsonIsReportedWithTheText) {
    ExpectFailure(L"{\"uploaded_list\":[1]", kParseFailure);
    EXPECT_TRUE(Logged(L"(json:{\"uploaded_list\":[1])"));
    ExpectFailure(L"   ", kParseFailure);
    ExpectFailure(L"{'uploaded_list':[1]}", kParseFailure);
    ExpectFailure(L"{\"uploaded_list\":[1,]}", kParseFailure);
    // A format directive in the text is logged as text.
    ExpectFailure(L"%s%n%d{", kParseFailure);
    EXPECT_TRUE(Logged(L"(json:%s%n%d{)"));
}

TEST_F(EditResultTest, NullRootHasNoUploadList) {
    ExpectFailure(L"null", kNoUploads);
}

TEST_F(EditResultTest, RootThatIsNotAnObjectFailsAsUnparsable) {
    ExpectFailure(L"[\"uploaded_list\"]", kParseFailure);
    ExpectFailure(L"\"uploaded_list\"", kParseFailure);
    ExpectFailure(L"12", kParseFailure);
    ExpectFailure(L"true", kParseFailure);
}

TEST_F(EditResultTest, UploadListMustHoldAnElement) {
    ExpectFailure(L"{}", kNoUploads);
    ExpectFailure(L"{\"exit_code\":\"0\"}", kNoUploads);
    ExpectFailure(L"{\"uploaded_list\":[]}", kNoUploads);
    ExpectFailure(L"{\"uploaded_list\":{}}", kNoUploads);
    ExpectFailure(L"{\"uploaded_list\":null}", kNoUploads);
    ExpectFailure(L"{\"uploaded_list\":\"a.jpg\"}", kNoUploads);
    ExpectFailure(L"{\"uploaded_list\":3}", kNoUploads);
    ExpectFailure(L"{\"uploaded_list\":true}", kNoUploads);
    // Member names are exact.
    ExpectFailure(L"{\"Uploaded_List\":[1]}", kNoUploads);
    ExpectSuccess(L"{\"uploaded_list\":[null]}");
    ExpectSuccess(L"{\"uploaded_list\":{\"a\":1}}");
}

TEST_F(EditResultTest, OffReturnUrlThatIsFalseLetsTheRunGoOn) {
    ExpectSuccess(L"{\"uploaded_list\":[1],\"off_return_url\":false}");
    ExpectSuccess(L"{\"uploaded_list\":[1],\"off_return_url\":null}");
    ExpectSuccess(L"{\"uploaded_list\":[1],\"off_return_url\":0}");
    ExpectSuccess(L"{\"uploaded_list\":[1],\"off_return_url\":0.0}");
    ExpectSuccess(L"{\"uploaded_list\":[1]}");
}

TEST_F(EditResultTest, OffReturnUrlThatIsTrueStopsTheRun) {
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":true}", kCartDeclined);
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":1}", kCartDeclined);
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":-4}", kCartDeclined);
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":0.5}", kCartDeclined);
}

TEST_F(EditResultTest, OffReturnUrlOfAnotherTypeFailsAsUnparsable) {
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":\"true\"}", kParseFailure);
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":\"\"}", kParseFailure);
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":[true]}", kParseFailure);
    ExpectFailure(L"{\"uploaded_list\":[1],\"off_return_url\":{}}", kParseFailure);
    // The upload list is checked first.
    ExpectFailure(L"{\"off_return_url\":\"yes\"}", kNoUploads);
}

TEST_F(EditResultTest, ExitCodeThatIsNotAStringFailsAsUnparsable) {
    ExpectFailure(L"{\"exit_code\":0,\"uploaded_list\":[1]}", kParseFailure);
    ExpectFailure(L"{\"exit_code\":null,\"uploaded_list\":[1]}", kParseFailure);
    ExpectFailure(L"{\"exit_code\":false,\"uploaded_list\":[1]}", kParseFailure);
    ExpectFailure(L"{\"exit_code\":[\"0\"],\"uploaded_list\":[1]}", kParseFailure);
    ExpectFailure(L"{\"exit_code\":{\"v\":\"0\"},\"uploaded_list\":[1]}", kParseFailure);
    // The exit code is read before the upload list.
    ExpectFailure(L"{\"exit_code\":5}", kParseFailure);
    EXPECT_FALSE(Logged(kNoUploads));
}

TEST_F(EditResultTest, DeepNestingFailsWithoutCrashing) {
    std::wstring json = L"{\"uploaded_list\":";
    json += std::wstring(100000, L'[');
    json += std::wstring(100000, L']');
    json += L"}";
    size_t before = testing_support::LogSize(logPath);
    EXPECT_FALSE(Process(json));
    EXPECT_NE(std::wstring::npos, testing_support::ReadLogSince(logPath, before).find(kParseFailure));
    EXPECT_EQ(L"untouched", browser);
}

TEST_F(EditResultTest, EmptyCartAddressGivesAnEmptyCartUrl) {
    startup.return2_url.clear();
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}"));
    EXPECT_EQ(L"", cart);
    EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=0&keyresult=") + kKeyResult, browser);
}

TEST_F(EditResultTest, EmptyReturnAddressGivesAnEmptyBrowserUrl) {
    startup.return_url.clear();
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}"));
    EXPECT_EQ(L"", browser);
    EXPECT_EQ(std::wstring(L"http://shop.example/cart?exit_code=0&keyresult=") + kKeyResult, cart);
}

TEST_F(EditResultTest, ReturnAddressEndingInSlashLosesIt) {
    startup.return_url = L"http://shop.example/return/";
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}"));
    EXPECT_EQ(std::wstring(L"http://shop.example/return?exit_code=0&keyresult=") + kKeyResult, browser);
}

TEST_F(EditResultTest, ReturnAddressWithAQueryGetsTheResultAfterAnAmpersand) {
    startup.return_url = L"http://shop.example/return.php?mode=edit";
    startup.return2_url = L"http://shop.example/cart.php?";
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}"));
    EXPECT_EQ(std::wstring(L"http://shop.example/return.php?mode=edit&exit_code=0&keyresult=") + kKeyResult,
              browser);
    EXPECT_EQ(std::wstring(L"http://shop.example/cart.php?exit_code=0&keyresult=") + kKeyResult, cart);
}

TEST_F(EditResultTest, ReturnAddressIsEncodedAsUtf8) {
    startup.return_url = L"http://shop.example/돌아가기 page";
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}"));
    EXPECT_EQ(std::wstring(
                  L"http://shop.example/%EB%8F%8C%EC%95%84%EA%B0%80%EA%B8%B0%20page?exit_code=0&keyresult=") +
                  kKeyResult,
              browser);
}

TEST_F(EditResultTest, KeyResultHoldsNoRawDelimiters) {
    ASSERT_TRUE(
        Process(L"{\"uploaded_list\":[1]}", L"svr=https%3A%2F%2Fshop.example%3A8443%2Fk%2F&key=a b/c?d"));
    // The key result is the last parameter; only two parameters follow "?".
    size_t question = browser.find(L'?');
    ASSERT_NE(std::wstring::npos, question);
    std::wstring query = browser.substr(question + 1);
    std::vector<std::wstring> parameters;
    size_t start = 0;
    for (size_t amp; (amp = query.find(L'&', start)) != std::wstring::npos; start = amp + 1) {
        parameters.push_back(query.substr(start, amp - start));
    }
    parameters.push_back(query.substr(start));
    ASSERT_EQ(2u, parameters.size()) << testing_support::WideToUtf8String(browser);
    EXPECT_EQ(L"exit_code=0", parameters[0]);
    ASSERT_EQ(0u, parameters[1].find(L"keyresult="));
    std::wstring value = parameters[1].substr(10);
    EXPECT_EQ(std::wstring::npos, value.find_first_of(L"?&=:/ "));
    EXPECT_EQ(L"https%3A%2F%2Fshop.example%3A8443%2Fk%3Fkey%3Da%20b%2Fc%3Fd%26field%3Dresult", value);
}

TEST_F(EditResultTest, ArgumentsWithoutKeyOrServerStillBuildTheUrls) {
    ASSERT_TRUE(Process(L"{\"uploaded_list\":[1]}", L"nothing=here"));
    // The key result of an empty server and key is the bare field.
    EXPECT_EQ(L"http://shop.example/return?exit_code=0&keyresult=%3Ffield%3Dresult", browser);
}

}  // namespace
