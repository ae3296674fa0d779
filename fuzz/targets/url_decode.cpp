// inet::rest::url_decode on any text, and the encoders beside it: decoding
// what url_encode_component made gives the text back.

#include <windows.h>

#include "fuzz_support.h"
#include "inet/rest/url_encoding.h"

namespace {

// Text that survives encoding one code unit at a time: no NUL (it ends the
// decoded bytes) and no surrogate (each half converts on its own).
bool SingleUnits(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::wstring text = fuzz::Text(data, size);

    std::wstring component;
    FUZZ_CHECK(inet::rest::url_encode_component(component, text));
    for (wchar_t c : component) FUZZ_CHECK(c > 0 && c < 0x80);

    // The system code page (1252 here), and a system set to UTF-8.
    for (UINT codePage : {GetACP(), static_cast<UINT>(CP_UTF8)}) {
        const std::wstring decoded = inet::rest::url_decode_in_code_page(text, codePage);
        if (text.find(L'%') == std::wstring::npos) FUZZ_CHECK(decoded == text);
        FUZZ_CHECK(decoded.size() <= text.size());
        if (SingleUnits(text)) FUZZ_CHECK(inet::rest::url_decode_in_code_page(component, codePage) == text);
    }
    FUZZ_CHECK(inet::rest::url_decode(text) == inet::rest::url_decode_in_code_page(text, GetACP()));

    FUZZ_CHECK(inet::rest::url_encode(text, 0) == text);
    for (int mode : {1, 2}) {
        const std::wstring encoded = inet::rest::url_encode(text, mode);
        for (wchar_t c : encoded) FUZZ_CHECK(c != L' ');
    }
    return 0;
}
