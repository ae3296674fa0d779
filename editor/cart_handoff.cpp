#include "editor/cart_handoff.h"

#include "support/logger.h"

bool SendCartKey(const std::wstring&, CDialog&) {
    Logger::Instance()->Write(L"* SendCartKey: not available yet");
    return false;
}

void OpenReturnPage(const std::wstring&, const std::wstring&, const std::wstring&) {
    Logger::Instance()->Write(L"* OpenReturnPage: not available yet");
}
