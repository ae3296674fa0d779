#pragma once
// The session of one REST request: the launcher's user agent, time-outs and
// connection limits, and status notifications turned into readable texts in
// the response's trace.

#include <memory>
#include <string>

#include "inet/internet_session.h"
#include "inet/rest/rest.h"

namespace inet {

class CMyInternetSession : public CInternetSession {
public:
    CMyInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType, const wchar_t* proxyName,
                       const wchar_t* proxyBypass, DWORD flags)
        : CInternetSession(agent, context, accessType, proxyName, proxyBypass, flags) {}
    ~CMyInternetSession() override = default;

    void OnStatusCallback(DWORD_PTR context, DWORD internetStatus, void* statusInformation,
                          DWORD statusInformationLength) override;

    rest::_response* response = nullptr;  // not owned; null records nothing
};

namespace rest {

// Opens the session of one request with the options of `request`; throws
// CInternetException when WinInet refuses.
std::shared_ptr<CMyInternetSession> open_session(const _request& request, _response* response);

// The trace text of one status notification; false for those that record
// nothing (40 and 70). `length` bounds the information (0: NUL-terminated).
bool status_text(DWORD status, const void* information, DWORD length, std::string& text);

// The user agent from a browser string (null or empty: the fallback one).
std::string compose_user_agent(const char* browser, const std::string& product);

}  // namespace rest
}  // namespace inet
