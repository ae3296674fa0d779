#include "inet/internet_exception.h"

#include <cwchar>

#include "support/scoped.h"

namespace inet {

namespace {

std::wstring FormatFrom(DWORD flags, HMODULE module, DWORD code) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, module,
                             code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const ScopedLocalMemory owner(text);
    std::wstring message;
    if (n > 0 && text) message.assign(text, n);
    // The line end that message tables carry would split the log record.
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return message;
}

}  // namespace

std::wstring CInternetException::GetErrorMessage() const {
    std::wstring message;
    HMODULE wininet = GetModuleHandleW(L"wininet.dll");
    if (wininet) message = FormatFrom(FORMAT_MESSAGE_FROM_HMODULE, wininet, m_dwError);
    if (message.empty()) message = FormatFrom(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, m_dwError);
    if (message.empty()) {
        wchar_t text[64];
        _snwprintf(text, 63, L"Internet error %lu (0x%08lx)", static_cast<unsigned long>(m_dwError),
                   static_cast<unsigned long>(m_dwError));
        text[63] = 0;
        message = text;
    }
    return message;
}

void ThrowLastInternetError() {
    throw CInternetException(GetLastError());
}

}  // namespace inet
