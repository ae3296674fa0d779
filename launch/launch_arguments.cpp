// The launch arguments (the text after "://") and the service-URL rule.

#include "launch/launch_arguments.h"

#include "inet/rest/url_encoding.h"
#include "support/logger.h"

bool ParseLaunchArguments(const std::wstring& arguments, std::wstring& key, std::wstring& server) {
    const size_t keyAt = arguments.find(L"key=");
    const size_t serverAt = arguments.find(L"svr=");
    if (keyAt == std::wstring::npos || serverAt == std::wstring::npos) {
        Logger::Instance()->Write(L"*오류 : 명령 인수값이 올바르지 않습니다. key, svr 값이 없습니다.");
        return false;
    }
    // Whatever lies between the first value and "&" + the second name
    // belongs to the first value, everything after it to the second.
    const bool keyFirst = keyAt < serverAt;
    const size_t firstValue = (keyFirst ? keyAt : serverAt) + 4;
    const std::wstring separator = keyFirst ? L"&svr=" : L"&key=";
    const size_t separatorAt = arguments.find(separator, firstValue);
    // No record here: the startup step goes on and its failed download is
    // what the log shows.
    if (separatorAt == std::wstring::npos) return false;
    const std::wstring first = arguments.substr(firstValue, separatorAt - firstValue);
    const std::wstring second = arguments.substr(separatorAt + separator.size());
    const std::wstring decodedServer = inet::rest::url_decode(keyFirst ? second : first);
    key = keyFirst ? first : second;
    server = decodedServer;
    return true;
}

std::wstring ComposeServiceUrl(const std::wstring& field, int mode, const std::wstring& base,
                               const std::wstring& key) {
    std::wstring url = base;
    if (!url.empty() && url.back() == L'/') url.pop_back();
    if (url.find(L'?') == std::wstring::npos) url += L'?';
    auto joined = [&url]() { return !url.empty() && (url.back() == L'?' || url.back() == L'&'); };
    if (!key.empty()) url += (joined() ? L"key=" : L"&key=") + key;
    if (!field.empty()) url += (joined() ? L"" : L"&") + field;
    return inet::rest::url_encode(url, mode);
}
