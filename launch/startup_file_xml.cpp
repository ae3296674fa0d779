// The startup document reader: validates the downloaded document and reads
// the children of its <startup> element into the launch configuration.

#include "launch/startup_file_xml.h"

#include <algorithm>
#include <climits>
#include <cwctype>
#include <vector>

#include "support/contained_path.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/pug/pug.h"

namespace {

constexpr unsigned kGrowthStep = 4;
constexpr unsigned long kParseOptions = 0xFFFF;
const wchar_t kClosingTag[] = L"</startup>";

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    size_t n = std::wcslen(prefix);
    return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

// Decimal with leading white space and one sign; stops at the first
// non-digit; no digits give 0; out-of-range values give the nearest limit.
int ToCount(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void ReplaceAll(std::wstring& text, const std::wstring& from, const std::wstring& to) {
    for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The install folder below the data root: forward slashes become
// backslashes, doubled backslashes single ones, with one leading and one
// trailing backslash. False when the text would lead out of the data root.
bool InstallFolder(std::wstring text, std::wstring& folder) {
    std::replace(text.begin(), text.end(), L'/', L'\\');
    ReplaceAll(text, L"\\\\", L"\\");
    if (!IsContainedName(text)) return false;
    if (!text.empty() && text.front() != L'\\') text.insert(0, 1, L'\\');
    folder = GetDataRootFolder() + text;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return true;
}

bool ContainsClosingTag(const std::vector<wchar_t>& buffer) {
    // The whole buffer, across the NULs the parse wrote.
    const wchar_t* tag_end = kClosingTag + (sizeof kClosingTag / sizeof *kClosingTag - 1);
    return std::search(buffer.begin(), buffer.end(), kClosingTag, tag_end) != buffer.end();
}

}  // namespace

void startup_file_xml::Reset() {
    for (std::wstring* s : {&module, &install_path, &update_url, &update_files_url, &todo, &editor_id,
                            &config_url, &storage_url, &rsid, &lsid, &return_url, &return2_url, &setkey_url,
                            &cookie, &user_id, &agent, &agent_type, &app_title, &app_icon}) {
        s->clear();
    }
    count = 0;
    params.clear();
}

bool startup_file_xml::Load(const unsigned char* bytes, int length) {
    try {
        std::wstring text;
        if (!DecodeText(bytes, length, text)) return false;
        Logger::Instance()->Write(L">>");
        Logger::Instance()->Write(L">%s", text.c_str());

        std::vector<wchar_t> buffer(text.begin(), text.end());
        buffer.push_back(L'\0');
        pug::xml_parser parser(kGrowthStep, true, kParseOptions);
        parser.parse(buffer.data());
        pug::xml_node root = parser.root();
        pug::xml_node element = root.is_null() ? pug::xml_node() : root.find_element(L"startup");
        if (element.is_null() || !ContainsClosingTag(buffer)) return false;
        // Nothing of a refused document survives: the run must not go on with
        // the members read before the refusal.
        if (!Read(element)) {
            Reset();
            return false;
        }
        return true;
    } catch (...) {
        Reset();
        Logger::Instance()->Write(L"*오류 : startup.xml을 읽는 중 메모리가 부족합니다.");
        return false;
    }
}

bool startup_file_xml::Read(pug::xml_node& element) {
    Reset();
    struct Field {
        const wchar_t* name;
        std::wstring* member;
    };
    const Field plain[] = {
        {L"module", &module},
        {L"todo", &todo},
        {L"editor_id", &editor_id},
        {L"config_url", &config_url},
        {L"storage_url", &storage_url},
        {L"rsid", &rsid},
        {L"lsid", &lsid},
        {L"return_url", &return_url},
        {L"return2_url", &return2_url},
        {L"setkey_url", &setkey_url},
        {L"cookie", &cookie},
        {L"user_id", &user_id},
        {L"app_title", &app_title},
        {L"title", &app_title},
        {L"app_icon", &app_icon},
    };
    for (auto it = element.begin(); it != element.end(); ++it) {
        pug::xml_node child = *it;
        if (child.kind() != pug::node_element) continue;
        const std::wstring value = child.text();

        bool stored = false;
        for (const Field& field : plain) {
            if (child.name_equals(field.name)) {
                *field.member = value;
                stored = true;
                break;
            }
        }
        if (stored) continue;

        if (child.name_equals(L"install_path")) {
            if (!InstallFolder(value, install_path)) {
                Logger::Instance()->Write(L"*오류 : install_path 값이 올바르지 않습니다. (%s)",
                                          value.c_str());
                return false;
            }
        } else if (child.name_equals(L"update_url")) {
            if (!ReadUpdateUrl(value, child.attribute_value(L"ssl"))) return false;
        } else if (child.name_equals(L"count")) {
            count = ToCount(value);
        } else if (child.name_equals(L"install_page")) {
            if ((StartsWithNoCase(value, L"http://") && value.size() > 8) ||
                StartsWithNoCase(value, L"https://")) {
                params.emplace_back(L"install_page", value);
            }
        } else if (child.name_equals(L"internal_call")) {
            params.emplace_back(child.attribute_value(L"id"), value);
        } else if (child.name_equals(L"agent")) {
            agent = value;
            agent_type = child.attribute_value(L"type");
            params.emplace_back(L"agent", agent);
            params.emplace_back(L"agent_type", agent_type);
        }
    }
    return true;
}

// The document's scheme is replaced: the ssl level decides which of the two
// addresses goes over HTTPS.
bool startup_file_xml::ReadUpdateUrl(std::wstring url, std::wstring ssl) {
    std::transform(ssl.begin(), ssl.end(), ssl.begin(), [](wchar_t c) { return std::towlower(c); });
    if (!url.empty() && url.back() != L'/') url += L'/';
    size_t separator = url.find(L"://");
    if (separator == std::wstring::npos) return false;
    const std::wstring rest = url.substr(separator + 3);
    if (ssl == L"lv1") {
        update_url = L"https://" + rest;
        update_files_url = L"http://" + rest;
    } else if (ssl == L"lv2") {
        update_url = L"https://" + rest;
        update_files_url = L"https://" + rest;
    } else {
        update_url = L"http://" + rest;
        update_files_url = L"http://" + rest;
    }
    return true;
}
