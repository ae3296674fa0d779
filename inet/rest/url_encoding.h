#pragma once
// Percent-encoding of URLs and URL components, and decoding.

#include <windows.h>

#include <string>

namespace inet {
namespace rest {

// mode 1: through the ANSI code page; 2: through UTF-8; other: unchanged.
// Keeps the characters that structure a URL.
std::wstring url_encode(const std::wstring& text, int mode);
// Appends text to out with everything but unreserved characters escaped
// (UTF-8). Always true.
bool url_encode_component(std::wstring& out, const std::wstring& text);
// Undoes percent-encoding; escaped bytes are read as UTF-8 when the text's
// ANSI form is UTF-8 text, else each escape becomes one character.
std::wstring url_decode(const std::wstring& text);
// url_decode as it runs on a system whose ANSI code page is codePage.
std::wstring url_decode_in_code_page(const std::wstring& text, UINT codePage);

}  // namespace rest
}  // namespace inet
