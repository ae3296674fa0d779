#pragma once
// Thin classes over WinInet in the shape the HTTP layer is written against: a
// session, an HTTP connection of the session and a request handle of the
// connection. Failing WinInet calls throw CInternetException; queries and
// header additions report through their result instead.
//
// Sessions are synchronous, so WinInet calls the status callback on the thread
// that is inside a blocking call of the session; the dispatcher finds the
// session through the thread's active session, which every call below sets.

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "inet/internet_exception.h"
#include "support/scoped.h"

namespace inet {

class CHttpConnection;
class CHttpFile;

class CInternetSession {
public:
    // Calls InternetOpenW; throws CInternetException when it fails.
    CInternetSession(const wchar_t* agent, DWORD_PTR context, DWORD accessType, const wchar_t* proxyName,
                     const wchar_t* proxyBypass, DWORD flags);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Unhooks the callback and closes the handle.
    virtual void Close();
    // Registers (or removes) the status dispatcher; throws when WinInet refuses.
    void EnableStatusCallback(bool enable = true);
    // Called for each status notification while the callback is enabled.
    virtual void OnStatusCallback(DWORD_PTR context, DWORD internetStatus, void* statusInformation,
                                  DWORD statusInformationLength);

    // InternetSetOptionExW with flags 0 and a 4-byte value.
    BOOL SetOption(DWORD option, DWORD value);
    HINTERNET handle() const { return m_session.get(); }
    DWORD_PTR context() const { return m_context; }

    // InternetConnectW for HTTP; throws CInternetException.
    std::shared_ptr<CHttpConnection> GetHttpConnection(const wchar_t* server, DWORD flags, INTERNET_PORT port,
                                                       const wchar_t* userName = nullptr,
                                                       const wchar_t* password = nullptr);

private:
    friend class ActiveSession;
    static void CALLBACK Dispatch(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                  DWORD length);

    ScopedInternetHandle m_session;
    DWORD_PTR m_context;
    bool m_callbackEnabled = false;
};

// Marks the session whose blocking call is running on this thread, for the
// status dispatcher. Nested marks restore the outer one.
class ActiveSession {
public:
    explicit ActiveSession(CInternetSession* session);
    ~ActiveSession();
    ActiveSession(const ActiveSession&) = delete;
    ActiveSession& operator=(const ActiveSession&) = delete;
    static CInternetSession* Current();

private:
    CInternetSession* m_previous;
};

// An HTTP connection; the session must outlive it.
class CHttpConnection {
public:
    CHttpConnection(CInternetSession* session, HINTERNET handle) : m_session(session), m_handle(handle) {}
    ~CHttpConnection() { Close(); }
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    void Close();
    HINTERNET handle() const { return m_handle.get(); }
    // HttpOpenRequestW; throws CInternetException.
    std::shared_ptr<CHttpFile> OpenRequest(const wchar_t* verb, const std::wstring& object,
                                           const wchar_t* referer, DWORD_PTR context,
                                           const wchar_t** acceptTypes, const wchar_t* version, DWORD flags);

private:
    CInternetSession* m_session;
    ScopedInternetHandle m_handle;
};

// A request handle; the session must outlive it.
class CHttpFile {
public:
    CHttpFile(CInternetSession* session, HINTERNET handle) : m_session(session), m_handle(handle) {}
    ~CHttpFile() { Close(); }
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    void Close();
    HINTERNET handle() const { return m_handle.get(); }

    BOOL SetOption(DWORD option, DWORD value);
    BOOL AddRequestHeaders(const std::wstring& headers, DWORD modifiers);
    // HttpSendRequestW without extra headers or data; throws CInternetException.
    void SendRequest();
    BOOL QueryInfoStatusCode(DWORD& status);
    // A numeric header (level without HTTP_QUERY_FLAG_NUMBER).
    BOOL QueryInfo(DWORD level, DWORD& value);
    BOOL QueryInfo(DWORD level, std::wstring& value);
    // InternetReadFile; 0 at the end of the body; throws CInternetException.
    UINT Read(void* buffer, UINT count);

private:
    CInternetSession* m_session;
    ScopedInternetHandle m_handle;
};

}  // namespace inet
