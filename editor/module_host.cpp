#include "editor/module_host.h"

#include "support/logger.h"

bool RunEditorModule(CDialog&, const startup_file_xml&, const std::wstring&, std::wstring&) {
    Logger::Instance()->Write(L"* RunEditorModule: not available yet");
    return false;
}
