#include "update/module_installer.h"

#include "support/logger.h"

bool InstallModule(CDialog&, const startup_file_xml&, std::wstring&) {
    Logger::Instance()->Write(L"* InstallModule: not available yet");
    return false;
}
