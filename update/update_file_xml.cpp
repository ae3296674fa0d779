#include "update/update_file_xml.h"

#include <windows.h>

#include "support/logger.h"
#include "support/platform.h"
#include "support/pug/pug.h"
#include "update/manifest_crypto.h"

namespace {

constexpr unsigned kGrowthStep = 4;
constexpr unsigned long kParseOptions = 0xFFFF;

// The parser needs a writable, NUL-terminated buffer it may cut up in place.
std::vector<wchar_t> ParseBuffer(const std::wstring& text) {
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');
    return buffer;
}

// The closing tag is looked for in the whole buffer as the parse left it: the
// NULs the parser wrote do not end the search, but a "<" it overwrote does
// break the tag.
bool HasClosingTag(const std::vector<wchar_t>& buffer) {
    static const wchar_t kTag[] = L"</update>";
    const size_t tagLength = wcslen(kTag);
    const size_t length = buffer.empty() ? 0 : buffer.size() - 1;
    for (size_t i = 0; i + tagLength <= length; ++i) {
        if (wmemcmp(&buffer[i], kTag, tagLength) == 0) return true;
    }
    return false;
}

// Parses buffer and returns the first element named exactly "update" below the
// document, or a null handle when the document or the element or its closing
// tag is missing.
pug::xml_node ParseUpdateElement(pug::xml_parser& parser, std::vector<wchar_t>& buffer) {
    if (!parser.parse(buffer.data())) return pug::xml_node();
    pug::xml_node root = parser.root();
    if (root.is_null()) return pug::xml_node();
    pug::xml_node update = root.find_element(L"update");
    if (update.is_null() || !HasClosingTag(buffer)) return pug::xml_node();
    return update;
}

}  // namespace

update_file_xml::~update_file_xml() = default;

void update_file_xml::Reset() {
    module.clear();
    files.clear();
}

bool update_file_xml::Load(const unsigned char* bytes, int length) {
    try {
        return LoadBody(bytes, length);
    } catch (...) {
        // Only an allocation can throw here; the manifest is refused.
        Logger::Instance()->Write(L"* 오류: 업데이트 매니페스트를 읽는 중 메모리가 부족합니다. (length:%d)",
                                  length);
        return false;
    }
}

bool update_file_xml::LoadBody(const unsigned char* bytes, int length) {
    std::wstring outer;
    // The caller's record tells support staff which manifest was refused;
    // Load itself writes only the echo.
    if (!bytes || length <= 0 || !DecodeText(bytes, length, outer)) return false;
    Logger::Instance()->Write(L">>");
    Logger::Instance()->Write(L">%s", outer.c_str());

    pug::xml_parser parser(kGrowthStep, true, kParseOptions);
    std::vector<wchar_t> outerBuffer = ParseBuffer(outer);
    pug::xml_node outerUpdate = ParseUpdateElement(parser, outerBuffer);
    if (outerUpdate.is_null()) return false;

    std::wstring inner = outerUpdate.attribute_value(L"data");
    if (!DecryptManifestData(inner)) return false;
    // The decrypted text is already wide (read as UTF-8); it is parsed as it
    // is. Narrowing it to the ANSI code page and decoding it again would turn
    // every character outside that code page, and under a utf-8 declaration
    // every non-ASCII character, into something else.
    if (inner.empty()) return false;

    // Parsing again frees the outer tree; outerUpdate is not used after this.
    std::vector<wchar_t> innerBuffer = ParseBuffer(inner);
    pug::xml_node update = ParseUpdateElement(parser, innerBuffer);
    if (update.is_null()) return false;

    Reset();
    for (auto files_it = update.begin(); files_it != update.end(); ++files_it) {
        pug::xml_node filesNode = *files_it;
        if (!filesNode.name_equals(L"files")) continue;
        const std::wstring package = filesNode.attribute_value(L"name");
        for (auto file_it = filesNode.begin(); file_it != filesNode.end(); ++file_it) {
            pug::xml_node fileNode = *file_it;
            if (!fileNode.name_equals(L"file")) continue;
            update_file_entry entry;
            entry.name = fileNode.text();
            entry.package = package;
            entry.hash = fileNode.attribute_value(L"hash");
            entry.version = fileNode.attribute_value(L"version");
            if (lstrcmpiW(fileNode.attribute_value(L"id"), L"module") == 0) module = entry.name;
            files.push_back(entry);
        }
    }
    if (module.empty() || files.empty()) {
        return false;
    }
    return true;
}
