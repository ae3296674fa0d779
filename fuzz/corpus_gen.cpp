// Writes the encrypted seeds of the manifest corpora the way the manifest
// producer makes them (EncryptManifestData, an outer document with a utf-8
// declaration), so that the committed seeds always match the format.
// Run by fuzz/fuzz.sh --seeds; usage: fuzz_corpus_gen <corpus folder>.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/publish/manifest_encrypt.h"
#include "update/manifest_crypto.h"

namespace {

struct Seed {
    const char* name;
    const wchar_t* inner;
    std::uint32_t h0, h1;
};

const Seed kSeeds[] = {
    {"one-module", L"<update><files name=\"editor.cab\"><file id=\"module\" hash=\"0123456789abcdef0123456789abcdef\">"
                   L"Editor.dll</file></files></update>",
     17, 200},
    {"producer",
     L"<?xml version=\"1.0\" encoding=\"utf-8\"?><update><files name=\"editor.cab\"><file id=\"module\" "
     L"hash=\"9e107d9d372bb6826bd81d3542a419d6\" version=\"1.2.3.4\">SampleEditor.dll</file></files>"
     L"<files name=\"settings.zip\"><file hash=\"e4d909c290d0fb1ca068ffaddf22cbd0\" version=\"\">"
     L"SampleEditor.ini</file></files></update>",
     0x12345678, 0x9ABCDEF0},
    {"versions",
     L"<update>\r\n <files name=\"a.cab\">\r\n  <file id=\"MODULE\" version=\"2.0.0.1\">bin\\Editor.dll</file>\r\n"
     L"  <file version=\"1.0.0.0\">bin/res/ko.dll</file>\r\n </files>\r\n <file id=\"module\">outside.dll</file>\r\n"
     L" <FILES name=\"b.zip\"><FILE hash=\"ABCDEF0123456789ABCDEF0123456789\">\ud55c\uae00.txt</FILE></FILES>\r\n"
     L"</update>",
     1, 2},
    {"entities-cdata",
     L"<!-- list --><update><files name=\"x &amp; y.cab\"><file id=\"module\"><![CDATA[ Editor.dll ]]></file>"
     L"<file id='modules'>a &lt; b</file></files></update>",
     0xFFFFFFFF, 0},
    {"empty", L"", 5, 6},
};

bool WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string Ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;
    for (const Seed& seed : kSeeds) {
        std::wstring encoded;
        if (!EncryptManifestData(seed.inner, seed.h0, seed.h1, encoded)) return 1;
        const std::string value = Ascii(encoded);
        const std::string outer = "<?xml version=\"1.0\" encoding=\"utf-8\"?><update data=\"" + value + "\"></update>";
        ok &= WriteFile(dir + "/update_file/producer-" + seed.name + ".xml", outer);
        ok &= WriteFile(dir + "/update_file/inner-" + seed.name + ".txt", "I" + Utf8(seed.inner));
        ok &= WriteFile(dir + "/manifest_decrypt/producer-" + seed.name + ".txt", value);
    }
    // The same manifest in UTF-16LE with a byte-order mark, and with line breaks in the value.
    std::wstring encoded;
    if (!EncryptManifestData(kSeeds[0].inner, kSeeds[0].h0, kSeeds[0].h1, encoded)) return 1;
    const std::wstring outer = L"<update data=\"" + encoded + L"\">\r\n</update>";
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : outer) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>((c >> 8) & 0xFF);
    }
    ok &= WriteFile(dir + "/update_file/producer-utf16.xml", utf16);
    std::string wrapped = Ascii(encoded);
    for (size_t at = 76; at < wrapped.size(); at += 78) wrapped.insert(at, "\r\n");
    ok &= WriteFile(dir + "/manifest_decrypt/producer-wrapped.txt", wrapped);
    return ok ? 0 : 1;
}
