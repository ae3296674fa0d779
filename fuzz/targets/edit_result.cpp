// ProcessEditResult on the editor's JSON result.
//
// Input, split at NUL bytes: the edit result; then optionally the launch
// arguments, return_url and return2_url of the startup document (each read
// by fuzz::Text), with everyday values when absent.

#include <cwchar>

#include "editor/edit_result.h"
#include "fuzz_support.h"
#include "launch/startup_file_xml.h"

namespace {

bool Unreserved(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           (c != 0 && std::wcschr(L"-._~*()%", c));
}

// The keyresult closes the URL and is escaped throughout, so the last
// "&keyresult=" is its own.
void CheckQuery(const std::wstring& url) {
    const size_t at = url.rfind(L"&keyresult=");
    FUZZ_CHECK(at != std::wstring::npos);
    FUZZ_CHECK(url.find(L"exit_code=") != std::wstring::npos);
    for (size_t i = at + 11; i < url.size(); ++i) FUZZ_CHECK(Unreserved(url[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::vector<std::string> parts = fuzz::Split(data, size, 4);
    const std::wstring result = fuzz::Text(parts[0]);
    const std::wstring arguments =
        parts.size() > 1 ? fuzz::Text(parts[1]) : L"key=K0123&svr=http%3A%2F%2Fshop.example%2Flaunch";
    startup_file_xml startup;
    startup.return_url = parts.size() > 2 ? fuzz::Text(parts[2]) : L"http://shop.example/return";
    startup.return2_url = parts.size() > 3 ? fuzz::Text(parts[3]) : L"http://shop.example/cart?step=2";

    std::wstring browserUrl = L"untouched";
    std::wstring cartUrl = L"untouched";
    const bool ok = ProcessEditResult(arguments, startup, result, browserUrl, cartUrl);
    if (!ok) {
        FUZZ_CHECK(browserUrl == L"untouched" && cartUrl == L"untouched");
        return 0;
    }
    FUZZ_CHECK(browserUrl.empty() == startup.return_url.empty());
    FUZZ_CHECK(cartUrl.empty() == startup.return2_url.empty());
    if (!browserUrl.empty()) CheckQuery(browserUrl);
    if (!cartUrl.empty()) CheckQuery(cartUrl);
    return 0;
}
