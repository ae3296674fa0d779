// The session of a request, the user agent, the status texts, the URL split
// and the internet exception, against the real WinInet and urlmon.

#include "inet/my_internet_session.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "inet/internet_exception.h"
#include "support/url_parse.h"

using inet::CMyInternetSession;
using inet::rest::_request;
using inet::rest::_response;
using inet::rest::compose_user_agent;
using inet::rest::status_text;

namespace {

std::string Text(DWORD status, const void* info = nullptr, DWORD length = 0) {
    std::string text;
    EXPECT_TRUE(status_text(status, info, length, text)) << status;
    return text;
}

TEST(StatusText, FollowsTheTable) {
    EXPECT_EQ("Connecting to socket address", Text(20));
    EXPECT_EQ("Connected to socket address", Text(21));
    EXPECT_EQ("Sending request", Text(30));
    EXPECT_EQ("Request sent", Text(31));
    EXPECT_EQ("Response received", Text(41));
    EXPECT_EQ("Closing the connection to the server", Text(50));
    EXPECT_EQ("Connection to the server closed", Text(51));
    EXPECT_EQ("Handle created", Text(60));
    EXPECT_EQ("detecting proxy", Text(80));
    EXPECT_EQ("Request complete", Text(100));
    EXPECT_EQ("Being redirected", Text(110));
    EXPECT_EQ("Unknown status : 42", Text(42));
    EXPECT_EQ("Unknown status : 0", Text(0));
}

TEST(StatusText, ReceivingAndClosingRecordNothing) {
    std::string text = "untouched";
    EXPECT_FALSE(status_text(40, nullptr, 0, text));
    EXPECT_FALSE(status_text(70, nullptr, 0, text));
    EXPECT_EQ("untouched", text);
}

TEST(StatusText, NameFollowsTheFixedTextDirectly) {
    const char narrow[] = "shop.example";
    EXPECT_EQ("Resolving name shop.example", Text(10, narrow, sizeof(narrow)));
    EXPECT_EQ("Name resolved 127.0.0.1", Text(11, "127.0.0.1"));
    // Unicode callbacks may carry the name as UTF-16: it is not cut to its
    // first letter.
    const wchar_t wide[] = L"shop.example";
    EXPECT_EQ("Resolving name shop.example", Text(10, wide, sizeof(wide)));
    EXPECT_EQ("Resolving name ", Text(10, nullptr, 0));
    // The length bounds the text even without a terminating zero.
    const char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ("Name resolved abc", Text(11, unterminated, 3));
}

TEST(StatusCallback, AppendsToTheResponseOrNothingWithoutOne) {
    _request request;
    _response response;
    CMyInternetSession session(request.user_agent.c_str(), 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                               INTERNET_FLAG_DONT_CACHE);
    session.OnStatusCallback(1, 30, nullptr, 0);
    EXPECT_TRUE(response.trace.empty());
    session.response = &response;
    session.OnStatusCallback(1, 30, nullptr, 0);
    session.OnStatusCallback(1, 40, nullptr, 0);
    session.OnStatusCallback(1, 70, nullptr, 0);
    session.OnStatusCallback(1, 42, nullptr, 0);
    ASSERT_EQ(2u, response.trace.size());
    EXPECT_EQ("Sending request", response.trace[0]);
    EXPECT_EQ("Unknown status : 42", response.trace[1]);
}

TEST(StatusCallback, EveryReceivedBlockOfABodyLeavesOneEntry) {
    _request request;
    _response response;
    CMyInternetSession session(request.user_agent.c_str(), 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                               INTERNET_FLAG_DONT_CACHE);
    session.response = &response;
    session.OnStatusCallback(1, 31, nullptr, 0);
    for (int block = 0; block < 1000; ++block) {
        session.OnStatusCallback(1, 40, nullptr, 0);
        session.OnStatusCallback(1, 41, nullptr, 0);
    }
    session.OnStatusCallback(1, 50, nullptr, 0);
    session.OnStatusCallback(1, 41, nullptr, 0);
    ASSERT_EQ(4u, response.trace.size());
    EXPECT_EQ("Request sent", response.trace[0]);
    EXPECT_EQ("Response received", response.trace[1]);
    EXPECT_EQ("Closing the connection to the server", response.trace[2]);
    EXPECT_EQ("Response received", response.trace[3]);
}

TEST(UserAgent, LegacyTokenIsRemovedEverywhere) {
    EXPECT_EQ("Mozilla/4.0 (compatible; Windows NT 6.1) WinInetRest/1.0",
              compose_user_agent("Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)", "WinInetRest/1.0"));
    EXPECT_EQ("Mozilla/4.0 (compatible; Windows NT 6.1; x) WinInetRest/1.0",
              compose_user_agent("Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1; MSIE 7.0; x)",
                                 "WinInetRest/1.0"));
    // Back to back: the scan goes on at the place of each removal.
    EXPECT_EQ("ab P", compose_user_agent("a MSIE 7.0; MSIE 7.0;b", "P"));
    EXPECT_EQ("Mozilla/5.0 (Windows NT 10.0) WinInetRest/1.0",
              compose_user_agent("Mozilla/5.0 (Windows NT 10.0)", "WinInetRest/1.0"));
    // Without the leading space the token stays.
    EXPECT_EQ("(MSIE 7.0;) P", compose_user_agent("(MSIE 7.0;)", "P"));
}

TEST(UserAgent, FallbackWithoutABrowserString) {
    EXPECT_EQ("Mozilla/4.0 (compatible; Windows NT) WinInetRest/1.0",
              compose_user_agent(nullptr, "WinInetRest/1.0"));
    EXPECT_EQ("Mozilla/4.0 (compatible; Windows NT) WinInetRest/1.0",
              compose_user_agent("", "WinInetRest/1.0"));
}

TEST(UserAgent, ComposedFromTheRealLegacyString) {
    HMODULE urlmon = LoadLibraryA("urlmon.dll");
    ASSERT_NE(nullptr, urlmon);
    using Fn = HRESULT(WINAPI*)(DWORD, LPSTR, DWORD*);
    auto obtain =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(urlmon, "ObtainUserAgentString")));
    ASSERT_NE(nullptr, obtain);
    char browser[512] = {};
    DWORD size = 511;
    ASSERT_EQ(S_OK, obtain(0x1007, browser, &size));
    FreeLibrary(urlmon);
    std::string expected = browser;
    ASSERT_FALSE(expected.empty());
    for (size_t at; (at = expected.find(" MSIE 7.0;")) != std::string::npos;) expected.erase(at, 10);
    std::string agent = inet::rest::make_user_agent("WinInetRest/1.0");
    EXPECT_EQ(expected + " WinInetRest/1.0", agent);
    EXPECT_EQ(std::string::npos, agent.find(" MSIE 7.0;"));
}

TEST(Request, DefaultsFollowTheOptionsTable) {
    _request r;
    EXPECT_EQ(60, r.connect_timeout);
    EXPECT_EQ(600, r.transfer_timeout);
    EXPECT_TRUE(r.keep_alive);
    EXPECT_TRUE(r.follow_redirects);
    EXPECT_TRUE(r.trace_status);
    EXPECT_FALSE(r.verify_certificate);
    EXPECT_EQ(0u, r.max_recv_speed);
    EXPECT_TRUE(r.keep_connection);
    EXPECT_EQ(0u, r.max_connections);
    EXPECT_EQ(nullptr, r.progress);
    EXPECT_TRUE(r.headers.empty());
    EXPECT_TRUE(r.extra_headers.empty());
    EXPECT_TRUE(r.referer.empty());
    EXPECT_EQ(L"*/*", r.accept);
    std::string agent = inet::rest::make_user_agent("WinInetRest/1.0");
    EXPECT_EQ(std::wstring(agent.begin(), agent.end()), r.user_agent);
}

TEST(Response, StartsAsTheTableSays) {
    _response r;
    EXPECT_EQ(-1, r.status);
    EXPECT_EQ(0.0, r.content_length);
    EXPECT_FALSE(r.chunked);
    EXPECT_TRUE(r.headers.empty());
    EXPECT_TRUE(r.body.empty());
    EXPECT_EQ(0u, r.body_size);
    EXPECT_STREQ("", r.error);
    r.set_error(std::string(400, 'e'));
    EXPECT_EQ(255u, strlen(r.error));
}

DWORD QueryNumber(HINTERNET handle, DWORD option) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    return InternetQueryOptionW(handle, option, &value, &size) ? value : 0xFFFFFFFF;
}

TEST(OpenSession, AppliesTheTimeOutsOfTheRequest) {
    _request request;
    request.connect_timeout = 7;
    request.transfer_timeout = 9;
    _response response;
    auto session = inet::rest::open_session(request, &response);
    ASSERT_TRUE(session);
    EXPECT_EQ(&response, session->response);
    EXPECT_EQ(7000u, QueryNumber(session->handle(), INTERNET_OPTION_CONNECT_TIMEOUT));
    // Wine 8 neither keeps nor reports the send and receive time-outs and the
    // retry count of a session handle; Windows does. Only the connect
    // time-out can be read back here.
}

TEST(OpenSession, RegistersTheCallbackOnlyWithTheTraceFlag) {
    _request request;
    _response response;
    auto traced = inet::rest::open_session(request, &response);
    // Setting a callback returns the previous one.
    INTERNET_STATUS_CALLBACK previous = InternetSetStatusCallbackW(traced->handle(), nullptr);
    EXPECT_NE(nullptr, previous);
    EXPECT_NE(INTERNET_INVALID_STATUS_CALLBACK, previous);
    request.trace_status = false;
    auto quiet = inet::rest::open_session(request, &response);
    EXPECT_EQ(nullptr, InternetSetStatusCallbackW(quiet->handle(), nullptr));
}

TEST(InternetException, MessageForKnownAndUnknownCodes) {
    inet::CInternetException cannotConnect(ERROR_INTERNET_CANNOT_CONNECT);
    std::wstring message = cannotConnect.GetErrorMessage();
    EXPECT_FALSE(message.empty());
    EXPECT_NE(L'\n', message.back());
    inet::CInternetException unknown(0x20001234);
    EXPECT_EQ(L"Internet error 536875572 (0x20001234)", unknown.GetErrorMessage());
    try {
        SetLastError(ERROR_INTERNET_TIMEOUT);
        inet::ThrowLastInternetError();
    } catch (const inet::CInternetException& e) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), e.m_dwError);
    }
}

TEST(ParseUrl, SplitsHttpAndHttps) {
    DWORD service = 0;
    std::wstring host, object;
    INTERNET_PORT port = 0;
    ASSERT_TRUE(ParseUrl(L"http://shop.example:8080/a/b.xml?key=1&x=%41", service, host, object, port));
    EXPECT_EQ(kServiceHttp, service);
    EXPECT_EQ(L"shop.example", host);
    EXPECT_EQ(L"/a/b.xml?key=1&x=%41", object);
    EXPECT_EQ(8080, port);
    ASSERT_TRUE(ParseUrl(L"https://secure.example/update/", service, host, object, port));
    EXPECT_EQ(kServiceHttps, service);
    EXPECT_EQ(L"secure.example", host);
    EXPECT_EQ(L"/update/", object);
    EXPECT_EQ(443, port);
    ASSERT_TRUE(ParseUrl(L"http://bare.example", service, host, object, port));
    EXPECT_EQ(L"/", object);
    EXPECT_EQ(80, port);
}

TEST(ParseUrl, RefusesWhatItCannotServe) {
    DWORD service = 0;
    std::wstring host, object;
    INTERNET_PORT port = 0;
    EXPECT_FALSE(ParseUrl(L"", service, host, object, port));
    EXPECT_FALSE(ParseUrl(L"shop.example/a", service, host, object, port));
    EXPECT_FALSE(ParseUrl(L"ftp://shop.example/a", service, host, object, port));
    EXPECT_FALSE(ParseUrl(L"file:///c:/x", service, host, object, port));
    EXPECT_FALSE(ParseUrl(L"http://", service, host, object, port));
    EXPECT_FALSE(ParseUrl(std::wstring(L"http://a\0b/", 11), service, host, object, port));
}

}  // namespace
