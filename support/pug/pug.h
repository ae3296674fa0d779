#pragma once
// A small, forgiving, in-place XML document model over UTF-16 text. The
// parser writes NULs into the caller's buffer and the tree points into it, so
// the buffer must outlive the tree. It never reports an error: bad input gives
// a partial tree, and readers decide by what they find in it.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>

namespace pug {

enum xml_node_kind {
    node_null = 0,
    node_document = 1,
    node_element = 2,
    node_pcdata = 3,
    node_cdata = 4,
    node_comment = 5,
    node_pi = 6,
    node_include = 7,
    node_doctype = 8,
    node_dtd_entity = 9,
    node_dtd_attlist = 10,
    node_dtd_element = 11,
    node_dtd_notation = 12,
};

// Parse option bits.
enum : unsigned long {
    parse_pi = 0x0002,
    parse_doctype = 0x0004,
    parse_comments = 0x0008,
    parse_cdata = 0x0010,
    parse_trim_pcdata = 0x0040,
    parse_trim_attribute = 0x0080,
    parse_trim_cdata = 0x0100,
    parse_trim_entity = 0x0200,
    parse_trim_doctype = 0x0400,
    parse_trim_comment = 0x0800,
    parse_wnorm = 0x1000,
    parse_dtd = 0x2000,
    parse_dtd_only = 0x4000,
    parse_default = 0xFFFF,
};

struct xml_attribute_struct {
    wchar_t* name;
    bool name_insitu;
    wchar_t* value;  // null for an attribute written without "="
    bool value_insitu;
};

struct xml_node_struct {
    xml_node_struct* parent;  // the document node is its own parent
    wchar_t* name;
    bool name_insitu;
    xml_node_kind type;
    std::uint32_t attributes;
    std::uint32_t attribute_space;
    xml_attribute_struct** attribute;
    std::uint32_t children;
    std::uint32_t child_space;
    xml_node_struct** child;
    wchar_t* value;
    bool value_insitu;
};

// Whole-text match: "*" any run, "?" one character, "[a-z]" / "[!...]" sets;
// everything else matches itself exactly.
bool wildcard_match(const wchar_t* pattern, const wchar_t* text);

// Owns one heap object; iterators keep the handle they hand out in it.
template <class T>
class forward_class {
public:
    forward_class() : _obj(new (std::nothrow) T()) {}
    forward_class(const forward_class&) : forward_class() {}
    forward_class& operator=(const forward_class&) { return *this; }
    virtual ~forward_class() { delete _obj; }
    T* get() const { return _obj; }

private:
    T* _obj;
};

// The abstract child iterator: a parent and an index; comparisons compare
// the indices only.
template <class TNode, class TDiff = std::int32_t, class TPtr = TNode*, class TRef = TNode&>
class xml_iterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = TNode;
    using difference_type = TDiff;
    using pointer = TPtr;
    using reference = TRef;

    xml_iterator() = default;
    xml_iterator(xml_node_struct* parent, TDiff index) : _parent(parent), _index(index) {}
    xml_iterator(const xml_iterator&) = default;
    virtual ~xml_iterator() = default;

    virtual bool good() const = 0;  // the parent has at least one child
    virtual bool oob() const = 0;   // the index is not that of a child
    virtual void index(TDiff i) { _index = i; }
    virtual TDiff index() const { return _index; }
    virtual xml_iterator& operator=(const xml_iterator& r) {
        _parent = r._parent;
        _index = r._index;
        return *this;
    }
    virtual bool operator==(const xml_iterator& r) const { return _index == r._index; }
    virtual bool operator!=(const xml_iterator& r) const { return _index != r._index; }
    virtual bool operator<(const xml_iterator& r) const { return _index < r._index; }
    virtual bool operator>(const xml_iterator& r) const { return _index > r._index; }
    virtual bool operator<=(const xml_iterator& r) const { return _index <= r._index; }
    virtual bool operator>=(const xml_iterator& r) const { return _index >= r._index; }
    virtual xml_iterator& operator++() {
        ++_index;
        return *this;
    }
    virtual xml_iterator& operator--() {
        --_index;
        return *this;
    }
    virtual TRef operator*() const = 0;
    virtual TPtr operator->() const = 0;

protected:
    xml_node_struct* _parent = nullptr;
    TDiff _index = 0;
};

class xml_attribute {
public:
    xml_attribute() = default;
    explicit xml_attribute(xml_attribute_struct* attr) : _attr(attr) {}
    xml_attribute(const xml_attribute&) = default;
    xml_attribute& operator=(const xml_attribute&) = default;
    virtual ~xml_attribute() = default;

    bool is_null() const { return _attr == nullptr; }
    // The record's pointers as they are (either may be null).
    const wchar_t* name() const { return _attr ? _attr->name : nullptr; }
    const wchar_t* value() const { return _attr ? _attr->value : nullptr; }

private:
    xml_attribute_struct* _attr = nullptr;
};

class xml_node {
public:
    class xml_node_iterator;

    xml_node();
    explicit xml_node(xml_node_struct* node);
    // A copy of a handle to nothing refers to its own empty record.
    xml_node(const xml_node& other);
    xml_node& operator=(const xml_node& other);
    virtual ~xml_node() = default;

    bool is_null() const;
    xml_node_kind kind() const;
    const wchar_t* name() const;   // "" when absent
    const wchar_t* value() const;  // "" when absent
    bool name_equals(const wchar_t* name) const;
    xml_node parent() const;

    size_t children() const;
    xml_node child(size_t i) const;  // a null handle when out of range
    xml_node_iterator begin() const;
    xml_node_iterator end() const;

    size_t attributes() const;
    xml_attribute attribute_at(size_t i) const;  // a null handle when out of range
    // The first attribute whose name matches the pattern; when none does, a
    // new empty one of that name is appended to the node and returned.
    xml_attribute attribute(const wchar_t* name);
    const wchar_t* attribute_value(const wchar_t* name);

    // Depth-first, pre-order search below this node (case-sensitive pattern).
    xml_node find_element(const wchar_t* pattern) const;
    // An element's first text or CDATA child's value, else "".
    const wchar_t* text() const;

    xml_node_struct* record() const { return _root == &_dummy ? nullptr : _root; }

private:
    xml_node_struct* _root;
    xml_node_struct _dummy;
};

class xml_node::xml_node_iterator : public xml_iterator<xml_node> {
public:
    xml_node_iterator() = default;
    xml_node_iterator(xml_node_struct* parent, std::int32_t index) : xml_iterator<xml_node>(parent, index) {}
    xml_node_iterator(const xml_node_iterator& r) : xml_iterator<xml_node>(r) {}
    xml_node_iterator& operator=(const xml_node_iterator& r) {
        xml_iterator<xml_node>::operator=(r);
        return *this;
    }

    bool good() const override;
    bool oob() const override;
    xml_node& operator*() const override;
    xml_node* operator->() const override;

private:
    xml_node& current() const;
    forward_class<xml_node> _wrap;
};

class xml_parser {
public:
    explicit xml_parser(unsigned growby = 4, bool autdel = true, unsigned long optmsk = parse_default);
    virtual ~xml_parser();
    xml_parser(const xml_parser&) = delete;
    xml_parser& operator=(const xml_parser&) = delete;

    // Frees the previous tree and parses text (NUL-terminated, modified in
    // place) into a new one. Returns where parsing stopped; null only when
    // text is null.
    wchar_t* parse(wchar_t* text);
    xml_node root() const { return xml_node(_xmldoc); }

private:
    void clear();

    xml_node_struct* _xmldoc = nullptr;
    unsigned _growby;
    bool _autdel;
    wchar_t* _buffer = nullptr;
    unsigned long _reserved = 0;
    unsigned long _optmsk;
};

// Frees a tree without recursion (bottom-up over parent pointers).
void free_tree(xml_node_struct* root);

}  // namespace pug
