// The in-place XML document model: parse, then walk every node through the
// handle API the readers use (the startup document, the manifest and the
// cart answer), and check the tree's shape.
//
// Input: the text (see fuzz::Text). A first byte 0xFF followed by two bytes
// selects other parse options (little-endian); otherwise every option is on,
// as in every reader.

#include <cstring>
#include <cwctype>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "support/pug/pug.h"
#include "support/pug/xml_tree.h"

namespace {

bool Inside(const wchar_t* p, const std::vector<wchar_t>& buffer) {
    return p >= buffer.data() && p < buffer.data() + buffer.size();
}

bool NameChar(wchar_t c) {
    return c != 0 && (std::iswalnum(static_cast<wint_t>(c)) || c == L'_' || c == L':' || c == L'-' || c == L'.');
}
bool TrimChar(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

// The first element in document order (pre-order) whose name is exactly name.
pug::xml_node_struct* FirstNamed(pug::xml_node_struct* node, const wchar_t* name) {
    std::vector<pug::xml_node_struct*> stack{node};
    while (!stack.empty()) {
        pug::xml_node_struct* n = stack.back();
        stack.pop_back();
        if (n != node && n->name && std::wcscmp(n->name, name) == 0) return n;
        for (std::uint32_t i = n->children; i > 0; --i) stack.push_back(n->child[i - 1]);
    }
    return nullptr;
}

void Walk(pug::xml_node root, const std::vector<wchar_t>& buffer, bool all_options) {
    std::vector<pug::xml_node> stack{root};
    size_t visited = 0;
    while (!stack.empty()) {
        pug::xml_node node = stack.back();
        stack.pop_back();
        ++visited;
        pug::xml_node_struct* record = node.record();
        FUZZ_CHECK(record != nullptr);
        FUZZ_CHECK(!node.is_null());
        FUZZ_CHECK(node.kind() >= pug::node_document && node.kind() <= pug::node_dtd_notation);
        if (record->name_insitu && record->name) FUZZ_CHECK(Inside(record->name, buffer));
        if (record->value_insitu && record->value) FUZZ_CHECK(Inside(record->value, buffer));
        volatile size_t sink = std::wcslen(node.name()) + std::wcslen(node.value());
        (void)sink;
        (void)node.name_equals(L"module");
        if (all_options && (node.kind() == pug::node_element || node.kind() == pug::node_pi)) {
            // A name runs over name characters and is cut at the first other one.
            FUZZ_CHECK(*node.name() != 0);
            for (const wchar_t* p = node.name(); *p; ++p) FUZZ_CHECK(NameChar(*p));
        }
        if (all_options && node.kind() == pug::node_pcdata) {
            // Text runs to the next "<" and is trimmed.
            const wchar_t* v = node.value();
            const size_t n = std::wcslen(v);
            FUZZ_CHECK(n > 0);
            FUZZ_CHECK(std::wcschr(v, L'<') == nullptr);
            FUZZ_CHECK(!TrimChar(v[0]) && !TrimChar(v[n - 1]));
        }

        // text(): the first text or CDATA child of an element.
        const wchar_t* text = node.text();
        const wchar_t* expected = L"";
        if (node.kind() == pug::node_element) {
            for (size_t i = 0; i < node.children(); ++i) {
                pug::xml_node c = node.child(i);
                if (c.kind() == pug::node_pcdata || c.kind() == pug::node_cdata) {
                    expected = c.value();
                    break;
                }
            }
        }
        FUZZ_CHECK(std::wcscmp(text, expected) == 0);

        for (size_t i = 0; i < node.attributes(); ++i) {
            pug::xml_attribute a = node.attribute_at(i);
            FUZZ_CHECK(!a.is_null());
            if (a.name()) (void)std::wcslen(a.name());
            if (a.value()) (void)std::wcslen(a.value());
        }
        FUZZ_CHECK(node.attribute_at(node.attributes()).is_null());
        // The readers' lookups; a missing name is appended as an empty attribute.
        const size_t before = node.attributes();
        const wchar_t* data = node.attribute_value(L"data");
        FUZZ_CHECK(data != nullptr);
        (void)std::wcslen(data);
        FUZZ_CHECK(node.attributes() == before || node.attributes() == before + 1);
        (void)std::wcslen(node.attribute_value(L"id"));

        // Child iteration, the way the readers walk.
        size_t counted = 0;
        for (auto it = node.begin(); it != node.end(); ++it) {
            pug::xml_node child = *it;
            FUZZ_CHECK(!child.is_null());
            FUZZ_CHECK(child.record() == node.child(counted).record());
            FUZZ_CHECK(child.parent().record() == record);
            (void)it->name_equals(L"result");
            stack.push_back(child);
            ++counted;
        }
        FUZZ_CHECK(counted == node.children());
        FUZZ_CHECK(node.child(counted).is_null());
    }
    FUZZ_CHECK(visited >= 1);
}

// The cart answer: <response><result code="0"/></response>.
void CartAnswer(pug::xml_node root) {
    pug::xml_node element = root.find_element(L"response");
    if (element.is_null()) return;
    for (pug::xml_node::xml_node_iterator child = element.begin(); child != element.end(); ++child) {
        if (!child->name_equals(L"result")) continue;
        const wchar_t* code = child->attribute_value(L"code");
        (void)std::wcscmp(code, L"0000");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    unsigned long options = pug::parse_default;
    if (size >= 3 && data[0] == 0xFF) {
        options = data[1] | (static_cast<unsigned long>(data[2]) << 8);
        data += 3;
        size -= 3;
    }
    const std::wstring text = fuzz::Text(data, size);
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');

    pug::xml_parser parser(4, true, options);
    wchar_t* end = parser.parse(buffer.data());
    FUZZ_CHECK(end != nullptr && Inside(end, buffer));
    pug::xml_node root = parser.root();
    FUZZ_CHECK(!root.is_null() && root.kind() == pug::node_document);
    FUZZ_CHECK(root.parent().record() == root.record());
    const bool all_options = options == pug::parse_default;
    Walk(root, buffer, all_options);
    CartAnswer(root);
    for (const wchar_t* pattern : {L"startup", L"update", L"*", L"?*[a-m]", L"[!a-z]*"}) {
        pug::xml_node found = root.find_element(pattern);
        if (!found.is_null()) FUZZ_CHECK(pug::wildcard_match(pattern, found.name()));
    }
    for (const wchar_t* name : {L"startup", L"update", L"response"}) {
        FUZZ_CHECK(root.find_element(name).record() == FirstNamed(root.record(), name));
    }
    // Names of the document as patterns against each other (bounded: the
    // match costs pattern length times text length).
    if (root.children() >= 1) {
        pug::xml_node first = root.child(0);
        pug::xml_node last = root.child(root.children() - 1);
        if (std::wcslen(first.name()) < 64 && std::wcslen(last.value()) < 256) {
            (void)pug::wildcard_match(first.name(), last.value());
        }
    }

    // A second parse on the same parser frees the first tree, as the manifest
    // reader does with its inner document. It runs out of memory after a
    // number of tree allocations that the input picks: the parse must stop
    // with a consistent partial tree, and the walk's attribute lookups must
    // fail soft.
    std::vector<wchar_t> again(text.begin(), text.end());
    again.push_back(L'\0');
    const long long allowed = size ? data[size - 1] % 97 : -1;
    pug::tree::limit_allocations(allowed);
    parser.parse(again.data());
    if (!parser.root().is_null()) Walk(parser.root(), again, all_options && allowed < 0);
    (void)parser.root().find_element(L"startup");
    pug::tree::limit_allocations(-1);
    return 0;
}
