// update_file_xml::Load on a downloaded manifest body.
//
// Input: either the body as downloaded, or, when it starts with the byte 'I',
// an inner file list (see fuzz::Text) that is encrypted and wrapped into an
// outer document first, so that the inner reader is reached by mutations
// too (a mutated encrypted attribute decrypts to noise).

#include <cwchar>
#include <string>

#include "fuzz_support.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/manifest_crypto.h"
#include "update/update_file_xml.h"

namespace {

std::string Narrow(const std::wstring& wide) {
    std::string out;
    for (wchar_t c : wide) {
        // Only the ASCII characters of the base64 text are needed here.
        out.push_back(static_cast<char>(c));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    std::vector<unsigned char> body;
    if (size >= 1 && data[0] == 'I') {
        std::wstring inner = fuzz::Text(data + 1, size - 1);
        inner = inner.substr(0, inner.find(L'\0'));
        std::wstring encoded;
        if (!EncryptManifestData(inner, 17, 200, encoded)) return 0;
        const std::string outer = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<update data=\"" + Narrow(encoded) +
                                  "\"></update>";
        body.assign(outer.begin(), outer.end());
    } else {
        body.assign(data, data + size);
    }
    update_file_xml manifest;
    const bool ok = manifest.Load(body.empty() ? nullptr : body.data(), static_cast<int>(body.size()));
    if (ok) {
        FUZZ_CHECK(!manifest.module.empty());
        FUZZ_CHECK(!manifest.files.empty());
        bool listed = false;
        for (const update_file_entry& entry : manifest.files) listed |= entry.name == manifest.module;
        FUZZ_CHECK(listed);
    }
    return 0;
}
