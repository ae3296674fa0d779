// DecryptManifestData on an attribute value, and the producer's inverse:
// whatever EncryptManifestData makes of a text, DecryptManifestData must give
// back.

#include "fuzz_support.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/manifest_crypto.h"

namespace {

// Text the UTF-8 round trip keeps: no NUL (it ends the plaintext) and no
// lone surrogate (it becomes U+FFFD).
bool Representable(const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == 0) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::wstring input = fuzz::Text(data, size);

    // The value decrypts exactly when its base64 characters (ASCII, up to the
    // first NUL) decode to an 8-byte header and whole 16-byte blocks.
    size_t alphabet = 0;
    for (wchar_t c : input) {
        if (c == 0) break;
        alphabet += (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'+' ||
                    c == L'/';
    }
    const size_t decoded = alphabet / 4 * 3 + (alphabet % 4 > 1 ? alphabet % 4 - 1 : 0);
    const bool valid = decoded >= 8 && (decoded - 8) % 16 == 0;

    std::wstring text = input;
    const bool ok = DecryptManifestData(text);
    FUZZ_CHECK(ok == valid);
    if (!ok) FUZZ_CHECK(text == input);
    if (ok && decoded == 8) FUZZ_CHECK(text.empty());

    if (Representable(input)) {
        const std::uint32_t h0 = size >= 4 ? data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t(data[3]) << 24) : 17;
        const std::uint32_t h1 = ~h0 * 2654435761u;
        std::wstring encoded;
        FUZZ_CHECK(EncryptManifestData(input, h0, h1, encoded));
        std::wstring decoded = encoded;
        FUZZ_CHECK(DecryptManifestData(decoded));
        FUZZ_CHECK(decoded == input);
    }
    return 0;
}
