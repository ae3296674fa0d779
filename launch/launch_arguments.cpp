#include "launch/launch_arguments.h"

#include "launch/startup_file_xml.h"
#include "support/logger.h"

bool ParseLaunchArguments(const std::wstring&, std::wstring&, std::wstring&) { return false; }

std::wstring ComposeServiceUrl(const std::wstring&, int, const std::wstring& base, const std::wstring&) {
    return base;
}

bool PrepareLaunch(std::wstring&, const std::wstring&, startup_file_xml&) {
    Logger::Instance()->Write(L"* PrepareLaunch: not available yet");
    return false;
}
