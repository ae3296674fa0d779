#include "inet/my_internet_session.h"

#include <cstring>
#include <cwchar>
#include <sstream>

#include "support/platform.h"
#include "support/scoped.h"

namespace inet {

void CMyInternetSession::OnStatusCallback(DWORD_PTR, DWORD internetStatus, void* statusInformation,
                                          DWORD statusInformationLength) {
    if (!response) return;
    std::string text;
    if (!rest::status_text(internetStatus, statusInformation, statusInformationLength, text)) return;
    // WinInet reports every block it receives; a repeat of the last text is
    // kept once, so that the list stays small whatever the body's size (a
    // file download would otherwise hold one entry per 8 KB in memory).
    if (!response->trace.empty() && response->trace.back() == text) return;
    response->trace.push_back(text);
}

namespace rest {

namespace {

// The host name or address that comes with notifications 10 and 11. A Unicode
// callback receives the name as UTF-16 from some WinInet versions and as ANSI
// from others; read narrow only, a UTF-16 name would shrink to its first
// letter, so the length decides and the text never runs past it.
std::string InformationText(const void* information, DWORD length) {
    if (!information) return std::string();
    const char* bytes = static_cast<const char*>(information);
    if (length == 0) return bytes;
    size_t narrow = strnlen(bytes, length);
    if (length >= 4 && length % 2 == 0 && narrow + 1 < length) {
        const wchar_t* wide = static_cast<const wchar_t*>(information);
        int units = static_cast<int>(wcsnlen(wide, length / sizeof(wchar_t)));
        std::string text;
        if (units > 0 && WideToMultiByte(CP_ACP, wide, units, text)) return text;
        return std::string();
    }
    return std::string(bytes, narrow);
}

}  // namespace

bool status_text(DWORD status, const void* information, DWORD length, std::string& text) {
    std::ostringstream out;
    switch (status) {
        case INTERNET_STATUS_RESOLVING_NAME:
            out << "Resolving name " << InformationText(information, length);
            break;
        case INTERNET_STATUS_NAME_RESOLVED:
            out << "Name resolved " << InformationText(information, length);
            break;
        case INTERNET_STATUS_CONNECTING_TO_SERVER:
            out << "Connecting to socket address";
            break;
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
            out << "Connected to socket address";
            break;
        case INTERNET_STATUS_SENDING_REQUEST:
            out << "Sending request";
            break;
        case INTERNET_STATUS_REQUEST_SENT:
            out << "Request sent";
            break;
        case INTERNET_STATUS_RECEIVING_RESPONSE:
            return false;
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            out << "Response received";
            break;
        case INTERNET_STATUS_CLOSING_CONNECTION:
            out << "Closing the connection to the server";
            break;
        case INTERNET_STATUS_CONNECTION_CLOSED:
            out << "Connection to the server closed";
            break;
        case INTERNET_STATUS_HANDLE_CREATED:
            out << "Handle created";
            break;
        case INTERNET_STATUS_HANDLE_CLOSING:
            return false;
        case INTERNET_STATUS_DETECTING_PROXY:
            out << "detecting proxy";
            break;
        case INTERNET_STATUS_REQUEST_COMPLETE:
            out << "Request complete";
            break;
        case INTERNET_STATUS_REDIRECT:
            out << "Being redirected";
            break;
        default:
            out << "Unknown status : " << status;
            break;
    }
    text = out.str();
    return true;
}

std::string compose_user_agent(const char* browser, const std::string& product) {
    static const char kLegacyToken[] = " MSIE 7.0;";
    std::string agent = browser ? browser : "";
    if (agent.empty()) {
        agent = "Mozilla/4.0 (compatible; Windows NT)";
    } else {
        size_t at = 0;
        while ((at = agent.find(kLegacyToken, at)) != std::string::npos)
            agent.erase(at, sizeof(kLegacyToken) - 1);
    }
    return agent + " " + product;
}

std::string make_user_agent(const std::string& product) {
    using ObtainUserAgentStringFn = HRESULT(WINAPI*)(DWORD, LPSTR, DWORD*);
    char browser[512] = {};
    ScopedModule urlmon(LoadSystemLibrary(L"urlmon.dll"));
    if (urlmon) {
        auto obtain = reinterpret_cast<ObtainUserAgentStringFn>(
            reinterpret_cast<void*>(GetProcAddress(urlmon.get(), "ObtainUserAgentString")));
        // UAS_EXACTLEGACY | 7: the exact legacy string of the version-7 mode.
        DWORD size = 511;
        if (obtain && obtain(0x1007, browser, &size) == S_OK) {
            if (size > 511) size = 511;
            browser[size] = 0;
        } else {
            browser[0] = 0;
        }
    }
    return compose_user_agent(browser, product);
}

std::shared_ptr<CMyInternetSession> open_session(const _request& request, _response* response) {
    auto* session = new CMyInternetSession(request.user_agent.c_str(), 1, INTERNET_OPEN_TYPE_PRECONFIG,
                                           nullptr, nullptr, INTERNET_FLAG_DONT_CACHE);
    std::shared_ptr<CMyInternetSession> owner(session);
    session->response = response;
    if (request.trace_status) session->EnableStatusCallback(true);
    // Results ignored: WinInet's own value stays where an option is refused.
    session->SetOption(INTERNET_OPTION_CONNECT_RETRIES, 3);
    session->SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, static_cast<DWORD>(request.connect_timeout) * 1000);
    session->SetOption(INTERNET_OPTION_SEND_TIMEOUT, static_cast<DWORD>(request.transfer_timeout) * 1000);
    session->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, static_cast<DWORD>(request.transfer_timeout) * 1000);
    session->SetOption(INTERNET_OPTION_MAX_CONNS_PER_SERVER, 10);
    session->SetOption(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, 10);
    return owner;
}

}  // namespace rest
}  // namespace inet
