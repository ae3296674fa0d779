#pragma once
// Loads the editor module, calls its entry points and collects the edit result.

#include <windows.h>

#include <string>

class CDialog;
class startup_file_xml;

// Loads install_path + moduleName, runs the entry points and frees the
// module. True only when Initialize succeeded, the work entry point that
// `todo` names existed and returned non-zero, and Uninitialize existed.
// editResult receives the module's text when it left one.
[[nodiscard]] bool RunEditorModule(CDialog& dialog, const startup_file_xml& startup,
                                   const std::wstring& moduleName, std::wstring& editResult);

// The entry-point sequence on a loaded module (used by RunEditorModule).
[[nodiscard]] bool CallEditorEntryPoints(CDialog& dialog, HMODULE module, const startup_file_xml& startup,
                                         std::wstring& editResult);

// The text after the first "//" up to the next "/" (or the end); empty when
// the URL holds no "//".
std::wstring GetUrlHost(const std::wstring& url);
