// The startup step end to end: real HTTP over loopback against the
// in-process server, the real download layer and the real log file.

#include <gtest/gtest.h>

#include <string>

#include "launch/launch_arguments.h"
#include "launch/startup_file_xml.h"
#include "support/logger.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"

using testing_support::HttpAnswer;
using testing_support::HttpTestServer;

namespace {

const wchar_t kStart[] = L"* 실행준비 시작 ********************\r\n";
const wchar_t kDownloadFailed[] = L"* 오류: startup.xml을 다운로드 하지 못했습니다. (url:";
const wchar_t kFormat[] = L"* 오류: startup.xml의 포멧이 올바르지 않습니다. (url:";
const wchar_t kMissing[] = L"*오류 : 명령 인수값이 올바르지 않습니다. key, svr 값이 없습니다.";

const char kDocument[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<startup>\r\n"
    "  <module>OrvinEditor.dll</module>\r\n"
    "  <app_title>주문 편집기</app_title>\r\n"
    "  <setkey_url>http://shop/set_key</setkey_url>\r\n"
    "  <return_url>http://shop/return?a=1</return_url>\r\n"
    "  <internal_call id=\"lang\">ko</internal_call>\r\n"
    "  <agent type=\"chrome\">chrome</agent>\r\n"
    "</startup>\r\n";

size_t Count(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::string Narrow(const std::wstring& text) {
    return testing_support::WideToUtf8String(text);
}

class PrepareLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = dir / L"prepare.log";
        Logger::Instance()->SetFilePath(log);
        ASSERT_NE(0, server.port());
    }
    void TearDown() override { Logger::Release(); }
    std::wstring Log() { return testing_support::ReadLogFile(log); }
    bool Prepare(const std::wstring& arguments) { return PrepareLaunch(key, arguments, startup); }
    std::vector<std::string> Targets(const std::string& path) {
        std::vector<std::string> targets;
        for (const auto& request : server.requests()) {
            if (request.path == path) targets.push_back(request.target);
        }
        return targets;
    }

    testing_support::TempDir dir;
    std::wstring log;
    HttpTestServer server;
    std::wstring key;
    startup_file_xml startup;
};

TEST_F(PrepareLaunchTest, FetchesTheStartupDocumentAndAddsTheLaunchParameters) {
    server.answer("/start", HttpAnswer::Text(200, kDocument));
    // A trailing slash of the server address goes before "?" is added.
    ASSERT_TRUE(Prepare(L"key=K1&svr=" + server.url("/start/")));
    EXPECT_EQ(L"K1", key);
    EXPECT_EQ((std::vector<std::string>{"/start?key=K1&field=startup"}), Targets("/start"));
    const std::wstring url = server.url("/start?key=K1&field=startup");

    std::wstring text = Log();
    size_t start = text.find(kStart);
    ASSERT_NE(std::wstring::npos, start) << Narrow(text);
    // The URL record ends in its own line end, then the record's.
    size_t urlRecord = text.find(L"* url: " + url + L"\r\n\r\n", start);
    EXPECT_NE(std::wstring::npos, urlRecord) << Narrow(text);
    size_t echo = text.find(L" >>\r\n", urlRecord);
    EXPECT_NE(std::wstring::npos, echo);
    EXPECT_NE(std::wstring::npos,
              text.find(L" ><?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<startup>", echo));

    EXPECT_EQ(L"OrvinEditor.dll", startup.module);
    EXPECT_EQ(L"주문 편집기", startup.app_title);
    std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"lang", L"ko"},
        {L"agent", L"chrome"},
        {L"agent_type", L"chrome"},
        {L"set_key_url", L"http://shop/set_key?key=K1&field=result"},
        {L"set_return_url", L"http://shop/return?a=1"},
        {L"is_local_execution", L"true"},
    };
    EXPECT_EQ(expected, startup.params);
}

TEST_F(PrepareLaunchTest, ServerAddressForms) {
    server.answer("/start", HttpAnswer::Text(200, kDocument));
    // Percent-encoded, "://" included.
    std::wstring encoded = L"http%3A%2F%2F127.0.0.1%3A" + std::to_wstring(server.port()) + L"%2Fstart";
    ASSERT_TRUE(Prepare(L"svr=" + encoded + L"&key=K2"));
    // With a query of its own: no second "?".
    ASSERT_TRUE(Prepare(L"key=K3&svr=" + server.url("/start?shop=1")));
    // Ending in "&": "key=" follows without another "&".
    ASSERT_TRUE(Prepare(L"key=K4&svr=" + server.url("/start?shop=1&")));
    // A Hangul key and a blank go through UTF-8.
    ASSERT_TRUE(Prepare(L"key=한 글&svr=" + server.url("/start")));
    EXPECT_EQ(L"한 글", key);
    // An empty key leaves the key part out.
    ASSERT_TRUE(Prepare(L"key=&svr=" + server.url("/start")));
    EXPECT_EQ(L"", key);
    EXPECT_EQ(
        (std::vector<std::string>{"/start?key=K2&field=startup", "/start?shop=1&key=K3&field=startup",
                                  "/start?shop=1&key=K4&field=startup",
                                  "/start?key=%ED%95%9C%20%EA%B8%80&field=startup", "/start?field=startup"}),
        Targets("/start"));
    // The last load replaced the document; the launch parameters come once.
    EXPECT_EQ(L"set_key_url", startup.params[startup.params.size() - 3].first);
    EXPECT_EQ(L"http://shop/set_key?field=result", startup.params[startup.params.size() - 3].second);
    EXPECT_EQ(6u, startup.params.size());
}

TEST_F(PrepareLaunchTest, DownloadFailureIsLoggedAfterTheFetchRecords) {
    // Nothing scripted: every attempt gets 404.
    EXPECT_FALSE(Prepare(L"key=K&svr=" + server.url("/missing")));
    // The key is recorded before anything can fail.
    EXPECT_EQ(L"K", key);
    EXPECT_EQ(5u, server.count("/missing"));
    std::wstring text = Log();
    const std::wstring url = server.url("/missing?key=K&field=startup");
    size_t failed = text.find(kDownloadFailed + url + L")\r\n");
    ASSERT_NE(std::wstring::npos, failed) << Narrow(text);
    size_t start = text.find(kStart);
    ASSERT_NE(std::wstring::npos, start);
    // FetchDocument wrote its own records between the start and the failure.
    std::wstring between = text.substr(start, failed - start);
    EXPECT_GE(Count(between, L"\r\n"), 3u) << Narrow(text);
    EXPECT_EQ(std::wstring::npos, text.find(L" >>\r\n"));
}

TEST_F(PrepareLaunchTest, MissingServerGivesTheBareStartupUrl) {
    key = L"";
    EXPECT_FALSE(Prepare(L"key=K"));
    EXPECT_EQ(L"", key);
    std::wstring text = Log();
    size_t missing = text.find(kMissing);
    ASSERT_NE(std::wstring::npos, missing) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(L"* url: ?field=startup\r\n", missing));
    EXPECT_NE(std::wstring::npos, text.find(std::wstring(kDownloadFailed) + L"?field=startup)"));
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(PrepareLaunchTest, EmptyBodyIsAFormatError) {
    server.answer("/start", HttpAnswer::Text(200, ""));
    EXPECT_FALSE(Prepare(L"key=K&svr=" + server.url("/start")));
    std::wstring text = Log();
    EXPECT_NE(std::wstring::npos, text.find(kFormat + server.url("/start?key=K&field=startup") + L")"))
        << Narrow(text);
    EXPECT_EQ(std::wstring::npos, text.find(kDownloadFailed));
}

TEST_F(PrepareLaunchTest, RefusedDocumentIsAFormatErrorAndAddsNoParameters) {
    server.answer("/start", HttpAnswer::Text(200, "<startup>x</startup>"));
    EXPECT_FALSE(Prepare(L"key=K&svr=" + server.url("/start")));
    EXPECT_EQ(L"K", key);
    EXPECT_TRUE(startup.params.empty());
    std::wstring text = Log();
    size_t echo = text.find(L" ><startup>x</startup>\r\n");
    ASSERT_NE(std::wstring::npos, echo) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(kFormat, echo));
}

TEST_F(PrepareLaunchTest, OnlyStatus200Counts) {
    HttpAnswer moved = HttpAnswer::Text(500, kDocument);
    server.answer("/start", moved);
    EXPECT_FALSE(Prepare(L"key=K&svr=" + server.url("/start")));
    EXPECT_EQ(5u, server.count("/start"));
    EXPECT_TRUE(startup.module.empty());
    // A failure that clears on the next attempt is not a failure.
    server.clear_requests();
    server.enqueue("/again", HttpAnswer::Text(503, "busy"));
    server.answer("/again", HttpAnswer::Text(200, kDocument));
    EXPECT_TRUE(Prepare(L"key=K&svr=" + server.url("/again")));
    EXPECT_EQ(2u, server.count("/again"));
}

}  // namespace
