#pragma once
// Loads the editor module, calls its entry points and collects the edit result.

#include <windows.h>

#include <string>

class CDialog;
class startup_file_xml;

[[nodiscard]] bool RunEditorModule(CDialog& dialog, const startup_file_xml& startup, const std::wstring& moduleName,
                                   std::wstring& editResult);
