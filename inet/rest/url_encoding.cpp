#include "inet/rest/url_encoding.h"

#include <windows.h>

#include <cstring>
#include <cwctype>
#include <memory>
#include <string>

#include "support/platform.h"

namespace inet {
namespace rest {

namespace {

const wchar_t kHex[] = L"0123456789ABCDEF";

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

void AppendEscapes(std::wstring& out, const char* bytes) {
    if (!bytes) return;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes); *p; ++p) {
        out += L'%';
        out += kHex[*p >> 4];
        out += kHex[*p & 0x0F];
    }
}

// One code unit on its own through the ANSI code page (mode 1) or UTF-8.
void AppendCodeUnit(std::wstring& out, wchar_t c, bool utf8) {
    if (utf8) {
        AppendEscapes(out, WideToUtf8(&c, 1).get());
        return;
    }
    std::string bytes;
    if (WideToMultiByte(CP_ACP, &c, 1, bytes)) AppendEscapes(out, bytes.c_str());
}

int HexValue(unsigned c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    return -1;
}

unsigned Code(char c) {
    return static_cast<unsigned char>(c);
}
unsigned Code(wchar_t c) {
    return static_cast<unsigned>(c);
}

// "%" and two hexadecimal digits become one unit; everything else, a "%"
// without two digits after it included, is copied. "+" stays "+".
template <typename Text>
Text PercentDecode(const Text& in) {
    Text out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size()) {
            int high = HexValue(Code(in[i + 1]));
            int low = HexValue(Code(in[i + 2]));
            if (high >= 0 && low >= 0) {
                out += static_cast<typename Text::value_type>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += in[i];
    }
    return out;
}

}  // namespace

std::wstring url_encode(const std::wstring& text, int mode) {
    if (mode != 1 && mode != 2) return text;
    static const wchar_t kKept[] = L"!#&()*+,-./:;=?@_~";
    std::wstring out;
    out.reserve(text.size() * 3);
    for (wchar_t c : text) {
        if (c == L' ') {
            out += L"%20";
        } else if (IsAsciiLetter(c) || std::iswdigit(c) || (c != 0 && std::wcschr(kKept, c))) {
            out += c;
        } else {
            AppendCodeUnit(out, c, mode == 2);
        }
    }
    return out;
}

bool url_encode_component(std::wstring& out, const std::wstring& text) {
    static const wchar_t kKept[] = L"-._~*()";
    for (wchar_t c : text) {
        if (IsAsciiLetter(c) || std::iswdigit(c) || (c != 0 && std::wcschr(kKept, c))) {
            out += c;
        } else {
            AppendCodeUnit(out, c, true);
        }
    }
    return true;
}

std::wstring url_decode(const std::wstring& text) {
    return url_decode_in_code_page(text, GetACP());
}

std::wstring url_decode_in_code_page(const std::wstring& text, UINT codePage) {
    if (text.find(L'%') == std::wstring::npos) return text;

    // The text's ANSI form tells whether the escapes are read as UTF-8. A text
    // holding characters the ANSI code page cannot carry (Hangul on a Western
    // system) would turn them into '?' on that way, so it is decoded in place
    // instead, as it is on a system whose code page carries them. A UTF-8
    // code page ("use Unicode UTF-8 for worldwide language support") refuses
    // the default-character flag; there only a lone surrogate is lossy.
    const bool utf8CodePage = codePage == CP_UTF8;
    BOOL lossy = FALSE;
    BOOL* lossyFlag = utf8CodePage ? nullptr : &lossy;
    std::string bytes;
    bool converted =
        WideToMultiByte(codePage, text.c_str(), -1, bytes, utf8CodePage ? WC_ERR_INVALID_CHARS : 0, lossyFlag);
    if (utf8CodePage && !converted) {
        lossy = TRUE;
        converted = WideToMultiByte(codePage, text.c_str(), -1, bytes);
    }
    if (converted) bytes.resize(std::strlen(bytes.c_str()));
    if (converted && !lossy &&
        IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), true)) {
        std::string decoded = PercentDecode(bytes);
        decoded.resize(std::strlen(decoded.c_str()));
        if (decoded.empty()) return std::wstring();
        std::unique_ptr<wchar_t[]> wide = Utf8ToWide(decoded.data(), static_cast<int>(decoded.size()));
        return wide ? std::wstring(wide.get()) : std::wstring();
    }
    return PercentDecode(text);
}

}  // namespace rest
}  // namespace inet
