#include "editor/cart_handoff.h"

#include <shellapi.h>

#include <cwchar>

#include "support/logger.h"

namespace {

ShellExecuteCall g_shellExecute = ::ShellExecuteW;

// Browser names come from the shop's pages, in whatever letter case they use.
bool SameText(const std::wstring& a, const wchar_t* b) {
    return _wcsicoll(a.c_str(), b) == 0;
}

bool EndsWithExe(const std::wstring& path) {
    return path.size() >= 4 && _wcsicoll(path.c_str() + path.size() - 4, L".exe") == 0;
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

bool SendCartKey(const std::wstring&, CDialog&) {
    Logger::Instance()->Write(L"* SendCartKey: not available yet");
    return false;
}

void OpenReturnPage(const std::wstring& agent, const std::wstring& browserUrl,
                    const std::wstring& agentType) {
    if (browserUrl.empty()) return;
    const wchar_t* url = browserUrl.c_str();

    if (!agentType.empty() && !SameText(agentType, L"id")) {
        if (!SameText(agentType, L"file")) return;
        // The page names a browser program by its path.
        if (EndsWithExe(agent)) {
            Shell(nullptr, agent.c_str(), url);
        } else {
            Shell(L"open", url, nullptr);
        }
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
    Shell(L"open", url, nullptr);
}
