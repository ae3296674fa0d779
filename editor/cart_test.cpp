// The cart hand-off against a real HTTP server on loopback, with the real
// question box owned by a real dialog.

#include "editor/cart_handoff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/cart_test_resource.h"
#include "framework/dialog.h"
#include "support/logger.h"
#include "testing/http_test_server.h"
#include "testing/test_support.h"

using testing_support::TempDir;

namespace {

using testing_support::BoxAnswerer;
using testing_support::HttpAnswer;
using testing_support::HttpRequestRecord;
using testing_support::HttpTestServer;

const wchar_t kCartError[] = L"*오류 : 장바구니 연동키를 전송하는중 오류가 발생였습니다 (url:";
const wchar_t kQuestion[] = L"장바구니 연동중 오류가 발생였습니다. 다시 시도하시겠습니까?";

const char kConfirmation[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>\r\n  <result "
    "code=\"0000\"/>\r\n</response>\r\n";

HttpAnswer Xml(const std::string& body, int status = 200) {
    HttpAnswer answer = HttpAnswer::Text(status, body);
    answer.headers = {{"Content-Type", "text/xml"}};
    return answer;
}

// Runs a body inside the modal loop of a real dialog, the way the launch
// driver runs the hand-off, so the question box has its real owner.
class HostDialog : public CDialog {
public:
    explicit HostDialog(std::function<void(CDialog&)> body)
        : CDialog(IDD_CART_TEST_OWNER, nullptr), m_body(std::move(body)) {}
    BOOL OnInitDialog() override {
        ::PostMessageW(m_hWnd, kRun, 0, 0);
        return TRUE;
    }

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == kRun) {
            m_body(*this);
            EndDialog(IDOK);
            return true;
        }
        return CDialog::OnMessage(message, wParam, lParam, result);
    }

private:
    static constexpr UINT kRun = WM_APP + 7;
    std::function<void(CDialog&)> m_body;
};

// What the UI thread's message boxes looked like when they came up.
struct BoxSeen {
    std::wstring caption;
    HWND owner;
    bool yes;
    bool no;
    bool ok;
    bool exclamation;
};

std::vector<BoxSeen> g_boxes;
HHOOK g_hook = nullptr;

BOOL CALLBACK FindExclamation(HWND child, LPARAM param) {
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        HICON shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (shown == LoadIconW(nullptr, IDI_EXCLAMATION)) *reinterpret_cast<bool*>(param) = true;
    }
    return TRUE;
}

LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        GetClassNameW(box, cls, 16);
        if (wcscmp(cls, L"#32770") == 0 && GetDlgItem(box, 0xFFFF)) {
            wchar_t caption[64] = {};
            GetWindowTextW(box, caption, 64);
            BoxSeen entry{caption,
                          GetWindow(box, GW_OWNER),
                          GetDlgItem(box, IDYES) != nullptr,
                          GetDlgItem(box, IDNO) != nullptr,
                          GetDlgItem(box, IDOK) != nullptr,
                          false};
            EnumChildWindows(box, FindExclamation, reinterpret_cast<LPARAM>(&entry.exclamation));
            g_boxes.push_back(entry);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

class CartTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        logPath = dir / L"day.log";
        Logger::Instance()->SetFilePath(logPath);
        server = std::make_unique<HttpTestServer>();
        ASSERT_NE(0, server->port());
        cartUrl = server->url("cart?exit_code=0&keyresult=http%3A%2F%2Fs%3Fkey%3Dk");
        g_boxes.clear();
        g_hook = SetWindowsHookExW(WH_CBT, WatchBoxes, nullptr, GetCurrentThreadId());
    }
    void TearDown() override {
        if (g_hook) UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        Logger::Release();
    }

    // SendCartKey inside the dialog; dialogWindow is the box's expected owner.
    bool Send(const std::wstring& url) {
        bool result = false;
        HostDialog dialog([&](CDialog& owner) {
            dialogWindow = owner.GetSafeHwnd();
            result = SendCartKey(url, owner);
        });
        EXPECT_EQ(IDOK, dialog.DoModal());
        return result;
    }
    std::wstring Log() { return testing_support::ReadLogFile(logPath); }
    size_t Occurrences(const std::wstring& text) {
        std::wstring log = Log();
        size_t n = 0;
        for (size_t at = log.find(text); at != std::wstring::npos; at = log.find(text, at + text.size())) ++n;
        return n;
    }
    // A body the service answers with every time: never a confirmation.
    void ExpectNotConfirmed(const std::string& body, int status = 200) {
        const std::string where = body;
        server->clear_requests();
        server->answer("/cart", Xml(body, status));
        BoxAnswerer answerer(IDNO);
        EXPECT_FALSE(Send(cartUrl)) << where;
        EXPECT_EQ(11u, server->count("/cart")) << where;
        EXPECT_EQ(1, answerer.Count()) << where;
    }
    void ExpectConfirmed(const std::string& body) {
        const std::string where = body;
        server->clear_requests();
        server->answer("/cart", Xml(body));
        BoxAnswerer answerer(IDNO);
        EXPECT_TRUE(Send(cartUrl)) << where;
        EXPECT_EQ(1u, server->count("/cart")) << where;
        EXPECT_EQ(0, answerer.Count()) << where;
    }

    TempDir dir;
    std::wstring logPath;
    std::unique_ptr<HttpTestServer> server;
    std::wstring cartUrl;
    HWND dialogWindow = nullptr;
};

TEST_F(CartTest, ConfirmedAtOnceIsCalledExactlyOnce) {
    server->answer("/cart", Xml(kConfirmation));
    BoxAnswerer answerer(IDNO);
    EXPECT_TRUE(Send(cartUrl));
    ASSERT_EQ(1u, server->count("/cart"));
    HttpRequestRecord request = server->requests().front();
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ("/cart?exit_code=0&keyresult=http%3A%2F%2Fs%3Fkey%3Dk", request.target);
    EXPECT_FALSE(request.has_header("Range"));
    EXPECT_EQ(0, answerer.Count());
    // The answer is echoed into the log before it is read.
    std::wstring log = Log();
    EXPECT_NE(std::wstring::npos, log.find(L" >>\r\n")) << testing_support::WideToUtf8String(log);
    EXPECT_NE(std::wstring::npos, log.find(L" ><?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<response>"));
    EXPECT_EQ(0u, Occurrences(kCartError));
}

TEST_F(CartTest, CodeZeroConfirmsToo) {
    ExpectConfirmed("<response><result code=\"0\"></result></response>");
    ExpectConfirmed("<response><result code='0'/></response>");
}

TEST_F(CartTest, ResultNameIgnoresLetterCase) {
    ExpectConfirmed("<response><RESULT code=\"0000\"/></response>");
    ExpectConfirmed("<response><Result code=\"0\"/></response>");
}

TEST_F(CartTest, LaterResultChildConfirmsAfterOthersFail) {
    ExpectConfirmed("<response><result code=\"9\"/><item/><result code=\"0000\"/></response>");
    ExpectConfirmed(
        "<?xml version=\"1.0\"?><shop><response><msg>ok</msg><result code=\"0\"/></response></shop>");
}

TEST_F(CartTest, UnicodeAnswersAreDecodedFirst) {
    ExpectConfirmed(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><response><message>장바구니에 담았습니다</message>"
        "<result code=\"0000\"/></response>");
    EXPECT_NE(std::wstring::npos, Log().find(L"장바구니에 담았습니다"));
    // UTF-16 with its byte-order mark.
    std::wstring wide = L"<response><result code=\"0000\"/></response>";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
    ExpectConfirmed(bytes);
}

TEST_F(CartTest, CodesThatAreNotZeroDoNotConfirm) {
    for (const char* code : {"00", "000", "00000", "1", "", "O", "0x0", "0 0", "+0",
                             "\xC2\xA0"
                             "0",
                             "&#48;"}) {
        ExpectNotConfirmed(
            std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><response><result code=\"") + code +
            "\"/></response>");
    }
    ExpectNotConfirmed("<response><result/></response>");
    ExpectNotConfirmed("<response><result code/></response>");
    ExpectNotConfirmed("<response><result codes=\"0\" Code=\"0\"/></response>");
}

TEST_F(CartTest, BlanksAroundTheCodeAreTrimmedByTheReader) {
    // The XML reader trims attribute values (tab, line feed, carriage return,
    // space), so padding around the code does not reach the comparison.
    ExpectConfirmed("<response><result code=\" 0\"/></response>");
    ExpectConfirmed("<response><result code=\"0000 \"/></response>");
    ExpectConfirmed("<response><result code=\"\t0000\r\n\"/></response>");
}

TEST_F(CartTest, ResultThatIsNotADirectChildDoesNotConfirm) {
    ExpectNotConfirmed("<response><data><result code=\"0000\"/></data></response>");
    // Only the first response element counts.
    ExpectNotConfirmed("<shop><response><x/></response><response><result code=\"0000\"/></response></shop>");
    ExpectNotConfirmed("<result code=\"0000\"/><response></response>");
}

TEST_F(CartTest, ResponseElementNameIsExact) {
    ExpectNotConfirmed("<Response><result code=\"0000\"/></Response>");
    ExpectNotConfirmed("<responses><result code=\"0000\"/></responses>");
}

TEST_F(CartTest, SelfClosingResponseNeverConfirms) {
    ExpectNotConfirmed("<response code=\"0000\"/><result code=\"0000\"/>");
    ExpectNotConfirmed("<response/>");
    // The closing tag is looked for in the text, case and all.
    ExpectNotConfirmed("<response><result code=\"0000\"/></RESPONSE>");
    ExpectNotConfirmed("<response><result code=\"0000\"/>");
}

TEST_F(CartTest, BadAnswersCountAsFailedAttempts) {
    ExpectNotConfirmed(kConfirmation, 404);
    ExpectNotConfirmed(kConfirmation, 500);
    ExpectNotConfirmed(kConfirmation, 201);
    ExpectNotConfirmed("");
    ExpectNotConfirmed("not xml at all <<<>>> &&&");
    // The text ends at a NUL, and the closing tag after it with it.
    std::string cut = "<response><result code=\"0000\"/>";
    cut.push_back('\0');
    ExpectNotConfirmed(cut + "</response>");
    ExpectNotConfirmed(std::string(100000, '<'));
}

TEST_F(CartTest, NeverConfirmedAsksAfterElevenCallsAndNoEndsIt) {
    server->answer("/cart", Xml("<response><result code=\"1\"/></response>", 503));
    BoxAnswerer answerer(IDNO);
    EXPECT_FALSE(Send(cartUrl));
    EXPECT_EQ(11u, server->count("/cart"));
    ASSERT_EQ(1, answerer.Count());
    EXPECT_EQ(kQuestion, answerer.Texts().front());
    ASSERT_EQ(1u, g_boxes.size());
    EXPECT_EQ(L"질문", g_boxes[0].caption);
    EXPECT_EQ(dialogWindow, g_boxes[0].owner);
    EXPECT_TRUE(g_boxes[0].yes);
    EXPECT_TRUE(g_boxes[0].no);
    EXPECT_FALSE(g_boxes[0].ok);
    EXPECT_TRUE(g_boxes[0].exclamation);
    EXPECT_EQ(1u, Occurrences(kCartError));
    EXPECT_EQ(1u, Occurrences(L"*오류 : 장바구니 연동키를 전송하는중 오류가 발생였습니다 (url:" + cartUrl +
                              L" status:503)"));
}

TEST_F(CartTest, EachYesMakesOneMoreCall) {
    // Yes twice, then No.
    BoxAnswerer answerer({IDYES, IDYES, IDNO});
    // Eleven failures, then a different failure for each later call.
    for (int n = 0; n < 11; ++n) server->enqueue("/cart", Xml("<response/>", 500));
    server->enqueue("/cart", Xml("<response><result code=\"2\"/></response>", 200));
    server->answer("/cart", Xml("", 404));
    EXPECT_FALSE(Send(cartUrl));
    EXPECT_EQ(13u, server->count("/cart"));
    EXPECT_EQ(3, answerer.Count());
    // Each question follows an error line naming the last status.
    std::wstring log = Log();
    size_t first = log.find(L"(url:" + cartUrl + L" status:500)");
    size_t second = log.find(L"(url:" + cartUrl + L" status:200)");
    size_t third = log.find(L"(url:" + cartUrl + L" status:404)");
    ASSERT_NE(std::wstring::npos, first);
    ASSERT_NE(std::wstring::npos, second);
    ASSERT_NE(std::wstring::npos, third);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(3u, Occurrences(kCartError));
}

TEST_F(CartTest, YesAfterElevenFailuresCanStillConfirm) {
    for (int i = 0; i < 11; ++i) server->enqueue("/cart", Xml("busy", 503));
    server->answer("/cart", Xml(kConfirmation));
    BoxAnswerer answerer(IDYES);
    EXPECT_TRUE(Send(cartUrl));
    EXPECT_EQ(12u, server->count("/cart"));
    EXPECT_EQ(1, answerer.Count());
    EXPECT_EQ(1u, Occurrences(kCartError));
}

TEST_F(CartTest, UnreachableServiceReportsNoStatus) {
    // A port nothing listens on: every attempt fails in the transport.
    std::wstring url;
    {
        HttpTestServer closed;
        url = closed.url("cart");
    }
    BoxAnswerer answerer(IDNO);
    EXPECT_FALSE(Send(url));
    EXPECT_EQ(1, answerer.Count());
    EXPECT_EQ(1u, Occurrences(L"(url:" + url + L" status:-1)"));
}

TEST_F(CartTest, EmptyUrlSendsNothing) {
    BoxAnswerer answerer(IDNO);
    EXPECT_FALSE(Send(L""));
    EXPECT_EQ(0u, server->requests().size());
    EXPECT_EQ(0, answerer.Count());
    EXPECT_EQ(L"", Log());
}

}  // namespace
