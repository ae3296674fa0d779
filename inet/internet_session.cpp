#include "inet/internet_session.h"

#include <vector>

namespace inet {

namespace {
thread_local CInternetSession* t_activeSession = nullptr;
}  // namespace

ActiveSession::ActiveSession(CInternetSession* session) : m_previous(t_activeSession) {
    t_activeSession = session;
}
ActiveSession::~ActiveSession() {
    t_activeSession = m_previous;
}
CInternetSession* ActiveSession::Current() {
    return t_activeSession;
}

CInternetSession::CInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType,
                                   const wchar_t* proxyName, const wchar_t* proxyBypass, DWORD flags)
    : m_context(context) {
    m_session.reset(InternetOpenW(agent, accessType, proxyName, proxyBypass, flags));
    if (!m_session) ThrowLastInternetError();
}

CInternetSession::~CInternetSession() {
    Close();
}

void CInternetSession::Close() {
    m_callbackEnabled = false;
    m_session.reset();
}

void CInternetSession::EnableStatusCallback(bool enable) {
    INTERNET_STATUS_CALLBACK callback = enable ? &CInternetSession::Dispatch : nullptr;
    if (InternetSetStatusCallbackW(m_session.get(), callback) == INTERNET_INVALID_STATUS_CALLBACK)
        ThrowLastInternetError();
    m_callbackEnabled = enable;
}

void CInternetSession::OnStatusCallback(DWORD_PTR, DWORD, void*, DWORD) {}

void CALLBACK CInternetSession::Dispatch(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                         DWORD length) {
    // A C callback: nothing may unwind through WinInet.
    try {
        CInternetSession* session = ActiveSession::Current();
        if (session && session->m_callbackEnabled) session->OnStatusCallback(context, status, info, length);
    } catch (...) {
    }
}

BOOL CInternetSession::SetOption(DWORD option, DWORD value) {
    return InternetSetOptionExW(m_session.get(), option, &value, sizeof(value), 0);
}

std::shared_ptr<CHttpConnection> CInternetSession::GetHttpConnection(const wchar_t* server, DWORD flags,
                                                                     INTERNET_PORT port,
                                                                     const wchar_t* userName,
                                                                     const wchar_t* password) {
    ActiveSession active(this);
    HINTERNET h = InternetConnectW(m_session.get(), server, port, userName, password, INTERNET_SERVICE_HTTP,
                                   flags, m_context);
    if (!h) ThrowLastInternetError();
    return std::make_shared<CHttpConnection>(this, h);
}

void CHttpConnection::Close() {
    ActiveSession active(m_session);
    m_handle.reset();
}

std::shared_ptr<CHttpFile> CHttpConnection::OpenRequest(const wchar_t* verb, const std::wstring& object,
                                                        const wchar_t* referer, DWORD_PTR context,
                                                        const wchar_t** acceptTypes, const wchar_t* version,
                                                        DWORD flags) {
    ActiveSession active(m_session);
    HINTERNET h =
        HttpOpenRequestW(m_handle.get(), verb, object.c_str(), version, referer, acceptTypes, flags, context);
    if (!h) ThrowLastInternetError();
    return std::make_shared<CHttpFile>(m_session, h);
}

void CHttpFile::Close() {
    ActiveSession active(m_session);
    m_handle.reset();
}

BOOL CHttpFile::SetOption(DWORD option, DWORD value) {
    return InternetSetOptionExW(m_handle.get(), option, &value, sizeof(value), 0);
}

BOOL CHttpFile::AddRequestHeaders(const std::wstring& headers, DWORD modifiers) {
    return HttpAddRequestHeadersW(m_handle.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                  modifiers);
}

void CHttpFile::SendRequest() {
    ActiveSession active(m_session);
    if (!HttpSendRequestW(m_handle.get(), nullptr, 0, nullptr, 0)) ThrowLastInternetError();
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& status) {
    return QueryInfo(HTTP_QUERY_STATUS_CODE, status);
}

BOOL CHttpFile::QueryInfo(DWORD level, DWORD& value) {
    ActiveSession active(m_session);
    DWORD number = 0;
    DWORD size = sizeof(number);
    if (!HttpQueryInfoW(m_handle.get(), level | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr))
        return FALSE;
    value = number;
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD level, std::wstring& value) {
    ActiveSession active(m_session);
    DWORD size = 0;
    if (!HttpQueryInfoW(m_handle.get(), level, nullptr, &size, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return FALSE;
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2, L'\0');
    size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (!HttpQueryInfoW(m_handle.get(), level, text.data(), &size, nullptr)) return FALSE;
    value.assign(text.data(), size / sizeof(wchar_t));
    return TRUE;
}

UINT CHttpFile::Read(void* buffer, UINT count) {
    ActiveSession active(m_session);
    DWORD read = 0;
    if (!InternetReadFile(m_handle.get(), buffer, count, &read)) ThrowLastInternetError();
    return read;
}

}  // namespace inet
