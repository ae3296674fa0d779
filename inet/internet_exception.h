#pragma once
// The exceptions of the internet classes. They never leave the HTTP layer:
// its public operations turn each into a status of -1 and an error text.

#include <windows.h>

#include <string>

namespace inet {

// Base of the internet classes' exceptions.
class CException {
public:
    virtual ~CException() = default;
    // The readable message; empty when there is none.
    virtual std::wstring GetErrorMessage() const { return std::wstring(); }
};

// A failed WinInet call, carrying its error code.
class CInternetException : public CException {
public:
    explicit CInternetException(DWORD error) : m_dwError(error) {}
    DWORD m_dwError;
    // WinInet's own text for the code (wininet.dll's message table), else the
    // system's, else a text that names the code.
    std::wstring GetErrorMessage() const override;
};

// Throws a CInternetException with the thread's last error.
[[noreturn]] void ThrowLastInternetError();

}  // namespace inet
