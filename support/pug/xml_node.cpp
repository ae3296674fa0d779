// The value handles over a parsed tree: node queries, child iteration,
// attribute lookup and the element search.

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <utility>
#include <vector>

#include "support/logger.h"
#include "support/pug/pug.h"
#include "support/pug/xml_tree.h"

namespace pug {

namespace {
constexpr unsigned kAttributeGrowth = 4;
}  // namespace

xml_node::xml_node() : _root(&_dummy), _dummy() {}

xml_node::xml_node(xml_node_struct* node) : _root(node ? node : &_dummy), _dummy() {}

// The empty record is per handle: a copy must point at its own, never at the
// one inside the handle it was copied from.
xml_node::xml_node(const xml_node& other) : _root(other.record() ? other._root : &_dummy), _dummy() {}

xml_node& xml_node::operator=(const xml_node& other) {
    if (this != &other) _root = other.record() ? other._root : &_dummy;
    return *this;
}

bool xml_node::is_null() const {
    return _root == &_dummy || _root->type == node_null;
}

xml_node_kind xml_node::kind() const {
    return _root->type;
}

const wchar_t* xml_node::name() const {
    return _root->name ? _root->name : L"";
}

const wchar_t* xml_node::value() const {
    return _root->value ? _root->value : L"";
}

bool xml_node::name_equals(const wchar_t* name) const {
    if (!name || !_root->name) return false;
    return _wcsicmp(_root->name, name) == 0;
}

xml_node xml_node::parent() const {
    return is_null() ? xml_node() : xml_node(_root->parent);
}

size_t xml_node::children() const {
    return _root->child ? _root->children : 0;
}

xml_node xml_node::child(size_t i) const {
    return i < children() ? xml_node(_root->child[i]) : xml_node();
}

xml_node::xml_node_iterator xml_node::begin() const {
    return xml_node_iterator(record(), 0);
}

xml_node::xml_node_iterator xml_node::end() const {
    size_t n = children();
    return xml_node_iterator(record(), n > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(n));
}

size_t xml_node::attributes() const {
    return _root->attribute ? _root->attributes : 0;
}

xml_attribute xml_node::attribute_at(size_t i) const {
    return i < attributes() ? xml_attribute(_root->attribute[i]) : xml_attribute();
}

xml_attribute xml_node::attribute(const wchar_t* name) {
    // A handle to nothing has only its own empty record, which nobody frees:
    // nothing is appended there.
    if (!name || !record()) return xml_attribute();
    for (size_t i = 0; i < attributes(); ++i) {
        xml_attribute_struct* attr = _root->attribute[i];
        if (attr->name && wildcard_match(name, attr->name)) return xml_attribute(attr);
    }
    wchar_t* copy = tree::copy_text(name, std::wcslen(name));
    wchar_t* empty = tree::copy_text(L"", 0);
    xml_attribute_struct* attr = (copy && empty) ? tree::append_attribute(_root, kAttributeGrowth) : nullptr;
    if (!attr) {
        std::free(copy);
        std::free(empty);
        Logger::Instance()->Write(L"*경고 : XML 속성을 만들 메모리가 부족합니다. (%s)", name);
        return xml_attribute();
    }
    attr->name = copy;
    attr->value = empty;
    return xml_attribute(attr);
}

const wchar_t* xml_node::attribute_value(const wchar_t* name) {
    xml_attribute attr = attribute(name);
    return attr.value() ? attr.value() : L"";
}

// An explicit stack instead of recursion: the document decides the depth.
xml_node xml_node::find_element(const wchar_t* pattern) const {
    if (!pattern || !record()) return xml_node();
    try {
        std::vector<std::pair<xml_node_struct*, std::uint32_t>> stack;
        stack.emplace_back(_root, 0);
        while (!stack.empty()) {
            xml_node_struct* node = stack.back().first;
            std::uint32_t next = stack.back().second;
            if (!node->child || next >= node->children) {
                stack.pop_back();
                continue;
            }
            stack.back().second = next + 1;
            xml_node_struct* child = node->child[next];
            if (child->name && wildcard_match(pattern, child->name)) return xml_node(child);
            if (child->child && child->children > 0) stack.emplace_back(child, 0);
        }
    } catch (...) {
        Logger::Instance()->Write(L"*경고 : XML 요소를 찾을 메모리가 부족합니다. (%s)", pattern);
    }
    return xml_node();
}

const wchar_t* xml_node::text() const {
    if (_root->type != node_element) return L"";
    for (size_t i = 0; i < children(); ++i) {
        const xml_node_struct* child = _root->child[i];
        if (child->type == node_pcdata || child->type == node_cdata) return child->value ? child->value : L"";
    }
    return L"";
}

bool xml_node::xml_node_iterator::good() const {
    return _parent && _parent->child && _parent->children > 0;
}

bool xml_node::xml_node_iterator::oob() const {
    return !(good() && _index >= 0 && static_cast<std::uint32_t>(_index) < _parent->children);
}

xml_node& xml_node::xml_node_iterator::current() const {
    xml_node* held = _wrap.get();
    if (!held) {
        // The holder could not be allocated; hand out a handle to nothing.
        static xml_node nothing;
        nothing = xml_node();
        return nothing;
    }
    *held = oob() ? xml_node() : xml_node(_parent->child[_index]);
    return *held;
}

xml_node& xml_node::xml_node_iterator::operator*() const {
    return current();
}

xml_node* xml_node::xml_node_iterator::operator->() const {
    return &current();
}

}  // namespace pug
