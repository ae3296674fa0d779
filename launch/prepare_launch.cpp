// The startup step: fetch the startup document named by the launch
// arguments and add the parameters the editor module receives besides it.

#include "launch/launch_arguments.h"
#include "launch/startup_file_xml.h"
#include "support/logger.h"
#include "inet/download.h"

bool PrepareLaunch(std::wstring& key, const std::wstring& arguments, startup_file_xml& startup) {
    try {
        // A parse failure is already logged; the download of the URL built
        // from what is left fails and ends the step.
        std::wstring server;
        (void)ParseLaunchArguments(arguments, key, server);
        const std::wstring url = ComposeServiceUrl(L"field=startup", 2, server, key);

        Logger::Instance()->Write(L"* 실행준비 시작 ********************");
        Logger::Instance()->Write(L"* url: %s\r\n", url.c_str());

        ByteBuffer buffer;
        if (!FetchDocument(url, buffer)) {
            Logger::Instance()->Write(L"* 오류: startup.xml을 다운로드 하지 못했습니다. (url:%s)",
                                      url.c_str());
            return false;
        }
        if (!startup.Load(buffer.length > 0 ? buffer.data() : nullptr,
                          buffer.length > 0 ? buffer.length : 0)) {
            Logger::Instance()->Write(L"* 오류: startup.xml의 포멧이 올바르지 않습니다. (url:%s)",
                                      url.c_str());
            return false;
        }
        startup.params.emplace_back(L"set_key_url",
                                    ComposeServiceUrl(L"field=result", 2, startup.setkey_url, key));
        startup.params.emplace_back(L"set_return_url", startup.return_url);
        startup.params.emplace_back(L"is_local_execution", L"true");
        return true;
    } catch (...) {
        Logger::Instance()->Write(L"*오류 : 실행 준비 중 메모리가 부족합니다.");
        return false;
    }
}
