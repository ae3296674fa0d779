#include "editor/edit_result.h"

#include "support/logger.h"

bool ProcessEditResult(const std::wstring&, const startup_file_xml&, const std::wstring&, std::wstring&,
                       std::wstring&) {
    Logger::Instance()->Write(L"* ProcessEditResult: not available yet");
    return false;
}
