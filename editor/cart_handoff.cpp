#include "editor/cart_handoff.h"

#include <shellapi.h>

#include <climits>
#include <cwchar>
#include <memory>
#include <vector>

#include "framework/dialog.h"
#include "inet/rest/rest.h"
#include "support/logger.h"
#include "support/pinned_limits.h"
#include "support/platform.h"
#include "support/pug/pug.h"

namespace {

// Attempts made before the user is asked whether to go on.
constexpr int kSilentAttempts = 11;

// The service confirms with <response><result code="0"/></response>, or code
// "0000"; anything else, a transport failure included, is a failed attempt.
bool IsConfirmation(const inet::rest::_response& response) {
    if (response.status != 200) return false;
    // body may be longer than the bytes received.
    size_t size = response.body_size;
    if (size > response.body.size()) size = response.body.size();
    if (size > INT_MAX) return false;
    std::wstring text;
    if (!DecodeText(size ? response.body.data() : nullptr, static_cast<int>(size), text)) return false;
    Logger::Instance()->Write(L">>");
    Logger::Instance()->Write(L">%s", text.c_str());

    // The parser writes into its text; the decoded text stays intact for the
    // closing-tag test.
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');
    pug::xml_parser parser(4, true, 0xFFFF);
    if (!parser.parse(buffer.data())) return false;
    pug::xml_node root = parser.root();
    if (root.is_null()) return false;
    pug::xml_node element = root.find_element(L"response");
    // A self-closing <response/> carries no result.
    if (element.is_null() || text.find(L"</response>") == std::wstring::npos) return false;
    for (pug::xml_node::xml_node_iterator child = element.begin(); child != element.end(); ++child) {
        if (!child->name_equals(L"result")) continue;
        const wchar_t* code = child->attribute_value(L"code");
        if (code && (wcscmp(code, L"0") == 0 || wcscmp(code, L"0000") == 0)) return true;
    }
    return false;
}

bool IsConfirmed(const std::shared_ptr<inet::rest::_response>& response) {
    if (!response) return false;
    try {
        return IsConfirmation(*response);
    } catch (...) {
        // Out of memory on a huge answer: the attempt failed.
        return false;
    }
}

ShellExecuteCall g_shellExecute = ::ShellExecuteW;

// Browser names come from the shop's pages, in whatever letter case they use.
bool SameText(const std::wstring& a, const wchar_t* b) {
    return _wcsicoll(a.c_str(), b) == 0;
}

bool EndsWithExe(const std::wstring& path) {
    return path.size() >= 4 && _wcsicoll(path.c_str() + path.size() - 4, L".exe") == 0;
}

// The shell opens whatever a text names: a program, a share, a protocol
// handler. The return page is a web page, so only http and https are opened.
bool IsWebPage(const std::wstring& url) {
    return _wcsnicmp(url.c_str(), L"http://", 7) == 0 || _wcsnicmp(url.c_str(), L"https://", 8) == 0;
}

void Shell(const wchar_t* verb, const wchar_t* file, const wchar_t* parameters) {
    // Whether the browser starts is the shell's business; nothing reports it.
    (void)g_shellExecute(nullptr, verb, file, parameters, nullptr, SW_SHOWNORMAL);
}

struct Browser {
    const wchar_t* agent;
    const wchar_t* program;
};

// Misspellings included: shop pages have sent them for years.
const Browser kBrowsers[] = {
    {L"ie", L"iexplore.exe"},   {L"explore", L"iexplore.exe"}, {L"chrome", L"chrome.exe"},
    {L"chorme", L"chrome.exe"}, {L"firefox", L"firefox.exe"},  {L"safari", L"safari.exe"},
    {L"sapari", L"safari.exe"}, {L"opera", L"opera.exe"},      {L"edg", L"msedge.exe"},
};

}  // namespace

ShellExecuteCall SetShellExecuteCall(ShellExecuteCall call) {
    ShellExecuteCall previous = g_shellExecute;
    g_shellExecute = call ? call : ::ShellExecuteW;
    return previous;
}

bool SendCartKey(const std::wstring& cartUrl, CDialog& owner) {
    if (cartUrl.empty()) return false;
    inet::rest::_request request;
    std::shared_ptr<inet::rest::_response> response;
    int failures = 0;
    for (;;) {
        if (failures >= kSilentAttempts) {
            Logger::Instance()->Write(
                L"*오류 : 장바구니 연동키를 전송하는중 오류가 발생였습니다 (url:%s status:%d)",
                cartUrl.c_str(), response ? response->status : -1);
            if (owner.MessageBox(L"장바구니 연동중 오류가 발생였습니다. 다시 시도하시겠습니까?", L"질문",
                                 MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
                return false;
            }
        }
        response = inet::rest::get(cartUrl, request, -1, -1);
        if (IsConfirmed(response)) return true;
        // From the limit on, every further attempt is asked for.
        if (failures < kSilentAttempts) ++failures;
    }
}

void OpenReturnPage(const std::wstring& agent, const std::wstring& browserUrl,
                    const std::wstring& agentType) {
    if (browserUrl.empty()) return;
    if (!IsWebPage(browserUrl)) {
        Logger::Instance()->Write(L"*오류 : 웹 페이지가 아닌 주소는 열지 않습니다. (url:%s)", browserUrl.c_str());
        return;
    }

    // A pinned build hands the URL over as one argument: a server's URL with
    // blanks could otherwise add options of its own to the browser's.
    const PinnedLimits& limits = PinnedLimits::Current();
    const std::wstring argument = limits.LimitsAgents() ? QuotedArgument(browserUrl) : browserUrl;
    const wchar_t* url = argument.c_str();

    if (!agentType.empty() && !SameText(agentType, L"id")) {
        if (!SameText(agentType, L"file")) return;
        // The page names a browser program by its path; a pinned build starts
        // only the programs it was built to trust.
        if (EndsWithExe(agent)) {
            if (limits.AllowsAgent(agent)) {
                Shell(nullptr, agent.c_str(), url);
                return;
            }
            Logger::Instance()->Write(L"*경고 : 허용되지 않은 브라우저 프로그램입니다. (path:%s)", agent.c_str());
        }
        Shell(L"open", browserUrl.c_str(), nullptr);
        return;
    }

    if (SameText(agent, L"edge")) {
        // The legacy Edge has no program to start; its protocol opens it.
        const std::wstring target = L"microsoft-edge:" + browserUrl;
        Shell(L"open", target.c_str(), nullptr);
        return;
    }
    for (const Browser& browser : kBrowsers) {
        if (SameText(agent, browser.agent)) {
            Shell(nullptr, browser.program, url);
            return;
        }
    }
    Shell(L"open", browserUrl.c_str(), nullptr);
}
