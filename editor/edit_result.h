#pragma once
// Reads the editor's JSON result and builds the browser and cart URLs.

#include <string>

class startup_file_xml;

[[nodiscard]] bool ProcessEditResult(const std::wstring& arguments, const startup_file_xml& startup,
                                     const std::wstring& editResult, std::wstring& browserUrl,
                                     std::wstring& cartUrl);
