#pragma once
// Owner of one WinInet handle. The status callback is unhooked before the
// handle is closed, so no notification reaches an object that is going away.

#include <windows.h>
#include <wininet.h>

namespace inet {

class ScopedInternetHandle {
public:
    ScopedInternetHandle() = default;
    explicit ScopedInternetHandle(HINTERNET h) : m_handle(h) {}
    ~ScopedInternetHandle() { reset(); }
    ScopedInternetHandle(ScopedInternetHandle&& other) noexcept : m_handle(other.release()) {}
    ScopedInternetHandle& operator=(ScopedInternetHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ScopedInternetHandle(const ScopedInternetHandle&) = delete;
    ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;

    HINTERNET get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    HINTERNET release() {
        HINTERNET h = m_handle;
        m_handle = nullptr;
        return h;
    }
    // Closing keeps the thread's last error, so the code logged after a
    // failure is the failure's own.
    void reset(HINTERNET h = nullptr) {
        if (m_handle) {
            DWORD error = GetLastError();
            InternetSetStatusCallbackW(m_handle, nullptr);
            InternetCloseHandle(m_handle);
            SetLastError(error);
        }
        m_handle = h;
    }

private:
    HINTERNET m_handle = nullptr;
};

}  // namespace inet
