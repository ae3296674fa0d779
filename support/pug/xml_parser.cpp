// The in-place parser: one forward pass over NUL-terminated UTF-16 text. It
// keeps a current node instead of recursing, so nesting depth costs nothing,
// and every scan stops at the first NUL, so no input makes it read past the
// text's end. Characters are compared one at a time and a comparison stops at
// the first difference, which makes every look-ahead stop at a NUL too.

#include <cwctype>
#include <new>
#include <vector>

#include "support/logger.h"
#include "support/pug/pug.h"
#include "support/pug/xml_tree.h"

namespace pug {
namespace {

inline bool is_white(wchar_t c) {
    return c > 0 && c <= 32;
}
inline bool is_trim(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}
inline bool is_quote(wchar_t c) {
    return c == L'"' || c == L'\'';
}
inline bool is_name(wchar_t c) {
    return c != 0 && (std::iswalnum(c) || c == L'_' || c == L':' || c == L'-' || c == L'.');
}

bool starts_with(const wchar_t* s, const wchar_t* literal) {
    for (; *literal; ++s, ++literal) {
        if (*s != *literal) return false;
    }
    return true;
}

// The first c at or after s, or the terminating NUL.
wchar_t* find(wchar_t* s, wchar_t c) {
    while (*s && *s != c) ++s;
    return s;
}

wchar_t* skip_white(wchar_t* s) {
    while (is_white(*s)) ++s;
    return s;
}

size_t length_of(const wchar_t* s) {
    const wchar_t* e = s;
    while (*e) ++e;
    return static_cast<size_t>(e - s);
}

// With wnorm the text is shifted to the front of its own storage (the
// pointer stays); without it every code unit 1..32 counts and the start
// pointer moves instead.
wchar_t* trim(wchar_t* value, bool wnorm) {
    if (!value) return value;
    if (wnorm) {
        wchar_t* begin = value;
        while (is_trim(*begin)) ++begin;
        wchar_t* end = begin + length_of(begin);
        while (end > begin && is_trim(end[-1])) --end;
        size_t n = static_cast<size_t>(end - begin);
        for (size_t i = 0; i < n; ++i) value[i] = begin[i];
        value[n] = L'\0';
        return value;
    }
    while (is_white(*value)) ++value;
    wchar_t* end = value + length_of(value);
    while (end > value && is_white(end[-1])) --end;
    *end = L'\0';
    return value;
}

class parser_pass {
public:
    parser_pass(unsigned growby, unsigned long options) : _growby(growby ? growby : 1), _opt(options) {}

    wchar_t* run(xml_node_struct* document, wchar_t* text);
    bool failed() const { return _failed; }

private:
    enum class state { scan, markup, text, stop };

    struct open_subset {
        wchar_t* end;            // the NUL written over the subset's "]"
        xml_node_struct* outer;  // the current node before the DOCTYPE
    };

    bool on(unsigned long bit) const { return (_opt & bit) != 0; }
    wchar_t* trimmed(wchar_t* value, unsigned long bit) const {
        return on(bit) ? trim(value, on(parse_wnorm)) : value;
    }

    void stop_at(wchar_t* p) {
        _s = p;
        _state = state::stop;
    }
    void fail(wchar_t* p) {
        _failed = true;
        stop_at(p);
    }
    xml_node_struct* append(xml_node_kind kind) { return tree::append_child(_cur, kind, _growby); }
    // Moves to the next ">"; past it the parse goes on in state next.
    void skip_to_close(wchar_t* from, state next) {
        wchar_t* p = find(from, L'>');
        if (!*p) return stop_at(p);
        _s = p + 1;
        _state = next;
    }

    void character_data();
    void markup();
    void end_tag();
    void element();
    void processing_instruction();
    void after_name(xml_node_struct* node, wchar_t* p, wchar_t terminator, bool pi);
    void attributes(xml_node_struct* node, wchar_t* p, bool pi);
    void close_empty(xml_node_struct* node, wchar_t* from, bool take_text);
    void bang();
    void comment();
    void section(xml_node_kind kind, wchar_t* value, bool make_node);
    void doctype(wchar_t* p);
    void subset(xml_node_struct* node, wchar_t* p);
    void declaration(wchar_t* p);
    bool add_attribute(xml_node_struct* node, wchar_t* name, wchar_t* value);

    unsigned _growby;
    unsigned long _opt;
    bool _failed = false;
    xml_node_struct* _cur = nullptr;
    wchar_t* _s = nullptr;
    state _state = state::scan;
    bool _after_text = false;  // the "<" being read ended a text run
    std::vector<open_subset> _subsets;
};

wchar_t* parser_pass::run(xml_node_struct* document, wchar_t* text) {
    _cur = document;
    _s = text;
    _state = state::scan;
    for (;;) {
        switch (_state) {
            case state::scan: {
                wchar_t* p = find(_s, L'<');
                if (!*p) {
                    stop_at(p);
                    break;
                }
                _s = p + 1;
                _after_text = false;
                _state = state::markup;
                break;
            }
            case state::text:
                character_data();
                break;
            case state::markup:
                markup();
                break;
            case state::stop:
                // The end of an internal subset that is parsed without the
                // DTD-only bit: go on after the DOCTYPE at the outer node.
                if (!_failed && !_subsets.empty() && _s == _subsets.back().end) {
                    open_subset done = _subsets.back();
                    _subsets.pop_back();
                    _cur = done.outer;
                    skip_to_close(done.end + 1, state::scan);
                    break;
                }
                return _s;
        }
    }
}

// Right after a ">" that may be followed by character data.
void parser_pass::character_data() {
    wchar_t* p = skip_white(_s);
    if (!*p) return stop_at(p);
    if (*p == L'<') {
        _s = p + 1;
        _after_text = false;
        _state = state::markup;
        return;
    }
    xml_node_struct* node = append(node_pcdata);
    if (!node) return fail(p);
    node->value = _s;
    node->value_insitu = true;
    p = find(p, L'<');
    if (!*p) {
        node->value = trimmed(node->value, parse_trim_pcdata);
        return stop_at(p);
    }
    *p = L'\0';
    node->value = trimmed(node->value, parse_trim_pcdata);
    _s = p + 1;
    _after_text = true;
    _state = state::markup;
}

// _s is just past a "<" (which may already be overwritten with NUL).
void parser_pass::markup() {
    wchar_t c = *_s;
    if (!c) return stop_at(_s);
    if (c == L'?') {
        if (is_name(_s[1])) return processing_instruction();
        return skip_to_close(_s + 1, state::scan);
    }
    if (c == L'!') return bang();
    if (c == L'/') return end_tag();
    if (is_name(c)) return element();
    // A "<" that starts nothing is passed over like text.
    _state = state::scan;
}

// End tags are not matched against anything: each closes the current node.
void parser_pass::end_tag() {
    wchar_t* p = find(_s + 1, L'>');
    if (!*p) return stop_at(p);
    _cur = _cur->parent;
    _s = p + 1;
    _state = _after_text ? state::text : state::scan;
}

void parser_pass::element() {
    xml_node_struct* node = append(node_element);
    if (!node) return fail(_s);
    _cur = node;
    node->name = _s;
    node->name_insitu = true;
    wchar_t* p = _s;
    while (is_name(*p)) ++p;
    wchar_t terminator = *p;
    if (terminator) *p = L'\0';
    after_name(node, p, terminator, false);
}

// "<?name ... ?>": the closing "?" becomes "/" so that the instruction ends
// like a self-closing element, with its pseudo-attributes read as attributes.
void parser_pass::processing_instruction() {
    if (!on(parse_pi)) return skip_to_close(_s + 1, state::scan);
    wchar_t* question = find(_s + 1, L'?');
    if (*question) *question = L'/';
    xml_node_struct* node = append(node_pi);
    if (!node) return fail(_s);
    _cur = node;
    wchar_t* p = _s + 1;
    node->name = p;
    node->name_insitu = true;
    while (is_name(*p)) ++p;
    wchar_t terminator = *p;
    if (terminator) *p = L'\0';
    after_name(node, p, terminator, true);
}

// p is the name's terminator, already overwritten; terminator is what it was.
void parser_pass::after_name(xml_node_struct* node, wchar_t* p, wchar_t terminator, bool pi) {
    if (!terminator) return stop_at(p);
    if (terminator == L'/') return close_empty(node, p + 1, false);
    if (is_white(terminator)) return attributes(node, p + 1, pi);
    _s = p + 1;
    // Only a ">" lets character data follow; after any other character the
    // content starts at once but text before the next "<" is dropped.
    _state = terminator == L'>' ? state::text : state::scan;
}

void parser_pass::close_empty(xml_node_struct* node, wchar_t* from, bool take_text) {
    wchar_t* p = find(from, L'>');
    if (!*p) return stop_at(p);
    _cur = node->parent;
    _s = p + 1;
    _state = take_text ? state::text : state::scan;
}

void parser_pass::attributes(xml_node_struct* node, wchar_t* p, bool pi) {
    for (;;) {
        p = skip_white(p);
        wchar_t c = *p;
        if (!c) return stop_at(p);
        if (c == L'/') return close_empty(node, p + 1, pi && node->attributes > 0);
        if (c == L'>') {
            _s = p + 1;
            _state = state::text;
            return;
        }
        if (!is_name(c)) {
            ++p;
            continue;
        }
        xml_attribute_struct* attr = tree::append_attribute(node, _growby);
        if (!attr) return fail(p);
        attr->name = p;
        attr->name_insitu = true;
        while (is_name(*p)) ++p;
        wchar_t terminator = *p;
        if (!terminator) return stop_at(p);
        *p++ = L'\0';
        if (is_white(terminator)) {
            p = skip_white(p);
            if (*p != L'=') continue;  // a name without "=": null value
            terminator = L'=';
            ++p;
        }
        if (terminator == L'/') return close_empty(node, p, pi);
        if (terminator == L'>') {
            _s = p;
            _state = state::text;
            return;
        }
        if (terminator != L'=') continue;
        p = skip_white(p);
        wchar_t quote = *p;
        if (!is_quote(quote)) continue;  // an unquoted value reads as further names
        wchar_t* value = ++p;
        p = find(p, quote);
        attr->value = value;
        attr->value_insitu = true;
        if (!*p) return stop_at(p);  // cut off: the value runs to the end
        *p++ = L'\0';
        attr->value = trimmed(value, parse_trim_attribute);
        if (*p == L'>') {
            _s = p + 1;
            _state = state::text;
            return;
        }
        if (*p == L'/') return close_empty(node, p + 1, true);
    }
}

void parser_pass::bang() {
    wchar_t* s = _s;  // at "!"
    if (starts_with(s, L"!--")) return comment();
    if (starts_with(s, L"![CDATA[")) return section(node_cdata, s + 8, on(parse_cdata));
    if (starts_with(s, L"![INCLUDE[")) return section(node_include, s + 10, on(parse_doctype));
    if (s[1] == L'[') return skip_to_close(s + 2, state::scan);
    if (starts_with(s, L"!DOCTYPE")) return doctype(s + 8);
    if (is_name(s[1])) return declaration(s + 1);
    skip_to_close(s + 1, state::scan);
}

void parser_pass::comment() {
    wchar_t* value = _s + 3;
    xml_node_struct* node = nullptr;
    if (on(parse_comments)) {
        node = append(node_comment);
        if (!node) return fail(_s);
        node->value = value;
        node->value_insitu = true;
    }
    wchar_t* p = value;
    while (*p && !(p[0] == L'-' && p[1] == L'-' && p[2] == L'>')) ++p;
    if (!*p) return stop_at(p);
    *p = L'\0';
    if (node) node->value = trimmed(value, parse_trim_comment);
    _s = p + 3;
    _state = state::text;
}

void parser_pass::section(xml_node_kind kind, wchar_t* value, bool make_node) {
    xml_node_struct* node = nullptr;
    if (make_node) {
        node = append(kind);
        if (!node) return fail(_s);
        node->value = value;
        node->value_insitu = true;
    }
    wchar_t* p = value;
    while (*p && !(p[0] == L']' && p[1] == L']' && p[2] == L'>')) ++p;
    if (!*p) return stop_at(p);
    if (node) {
        *p = L'\0';
        node->value = trimmed(value, parse_trim_cdata);
    }
    _s = p + 3;
    _state = state::text;
}

bool parser_pass::add_attribute(xml_node_struct* node, wchar_t* name, wchar_t* value) {
    xml_attribute_struct* attr = tree::append_attribute(node, _growby);
    if (!attr) return false;
    attr->name = name;
    attr->name_insitu = true;
    attr->value = value;
    attr->value_insitu = true;
    return true;
}

// "<!DOCTYPE": each word becomes an attribute named and valued by itself,
// each quoted string one with a null name.
void parser_pass::doctype(wchar_t* p) {
    xml_node_struct* node = nullptr;
    if (on(parse_doctype)) {
        node = append(node_doctype);
        if (!node) return fail(p);
    }
    wchar_t quote = 0;  // a quote that ended the previous word
    for (;;) {
        if (!quote) {
            p = skip_white(p);
            wchar_t c = *p;
            if (!c) return stop_at(p);
            if (c == L'>') return skip_to_close(p, state::scan);
            if (c == L'[') return subset(node, p + 1);
            if (is_quote(c)) {
                quote = c;
                ++p;
            }
        }
        if (quote) {
            wchar_t* value = p;
            p = find(p, quote);
            quote = 0;
            if (node && !add_attribute(node, nullptr, value)) return fail(p);
            if (!*p) return stop_at(p);
            if (node) {
                *p = L'\0';
                node->attribute[node->attributes - 1]->value = trimmed(value, parse_trim_attribute);
            }
            ++p;
            continue;
        }
        wchar_t* word = p;
        while (*p && !is_white(*p) && !is_quote(*p) && *p != L'[' && *p != L'>') ++p;
        wchar_t terminator = *p;
        if (node && !add_attribute(node, word, word)) return fail(p);
        if (!terminator) return stop_at(p);
        if (node) *p = L'\0';
        if (terminator == L'>') {
            _s = p + 1;
            _state = state::scan;
            return;
        }
        if (terminator == L'[') return subset(node, p + 1);
        if (is_quote(terminator)) quote = terminator;
        ++p;
    }
}

// p is just past the "[". The subset runs to the matching "]" (nested
// brackets counted) and becomes the doctype's value.
void parser_pass::subset(xml_node_struct* node, wchar_t* p) {
    wchar_t* end = p;
    size_t depth = 1;
    for (; *end; ++end) {
        if (*end == L'[') {
            ++depth;
        } else if (*end == L']' && --depth == 0) {
            break;
        }
    }
    if (node) {
        node->value = p;
        node->value_insitu = true;
    }
    bool parse_subset = node && on(parse_dtd);
    if (!*end) {
        // No closing bracket: the subset is the rest of the text.
        if (!parse_subset) return stop_at(end);
        _cur = node;
        _s = p;
        _state = state::scan;
        return;
    }
    if (node) *end = L'\0';
    if (parse_subset) {
        if (!on(parse_dtd_only)) {
            try {
                _subsets.push_back({end, _cur});
            } catch (...) {
                return fail(end);
            }
        }
        // With the DTD-only bit the NUL just written ends the whole parse.
        _cur = node;
        _s = p;
        _state = state::scan;
        return;
    }
    if (node) node->value = trimmed(p, parse_trim_doctype);
    skip_to_close(end + 1, state::scan);
}

// "<!" + a word: ATTLIST, ELEMENT, NOTATION, anything else is an entity.
void parser_pass::declaration(wchar_t* p) {
    wchar_t* word = p;
    while (is_name(*p)) ++p;
    size_t n = static_cast<size_t>(p - word);
    xml_node_kind kind = node_dtd_entity;
    if (n == 7 && starts_with(word, L"ATTLIST")) {
        kind = node_dtd_attlist;
    } else if (n == 7 && starts_with(word, L"ELEMENT")) {
        kind = node_dtd_element;
    } else if (n == 8 && starts_with(word, L"NOTATION")) {
        kind = node_dtd_notation;
    }
    xml_node_struct* node = append(kind);
    if (!node) return fail(p);
    p = skip_white(p);
    node->name_insitu = true;
    if (*p == L'%' && is_white(p[1])) {
        // "% name": the name is stored as "%name", which the text does not
        // hold in one piece, so it is a copy.
        p = skip_white(p + 1);
        wchar_t* name = p;
        while (is_name(*p)) ++p;
        size_t length = static_cast<size_t>(p - name);
        wchar_t* copy = tree::copy_text(name - 1, length + 1);
        if (!copy) return fail(p);
        copy[0] = L'%';
        for (size_t i = 0; i < length; ++i) copy[i + 1] = name[i];
        node->name = copy;
        node->name_insitu = false;
    } else if (*p == L'%' || is_name(*p)) {
        node->name = p;
        ++p;
        while (is_name(*p)) ++p;
        wchar_t terminator = *p;
        if (!terminator) return stop_at(p);
        *p++ = L'\0';
        if (terminator == L'>') {
            node->value = p - 1;  // the NUL just written: an empty value
            node->value_insitu = true;
            _s = p;
            _state = state::scan;
            return;
        }
    }
    p = skip_white(p);
    wchar_t* value = p;
    wchar_t quote = 0;
    for (; *p; ++p) {
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (kind == node_dtd_entity && is_quote(*p)) {
            quote = *p;
        } else if (*p == L'>') {
            break;
        }
    }
    node->value = value;
    node->value_insitu = true;
    if (!*p) return stop_at(p);
    *p = L'\0';
    node->value = trimmed(value, parse_trim_entity);
    _s = p + 1;
    _state = state::scan;
}

}  // namespace

xml_parser::xml_parser(unsigned growby, bool autdel, unsigned long optmsk)
    : _growby(growby), _autdel(autdel), _optmsk(optmsk) {}

xml_parser::~xml_parser() {
    if (_autdel) free_tree(_xmldoc);
    _xmldoc = nullptr;
    delete[] _buffer;
}

void xml_parser::clear() {
    free_tree(_xmldoc);
    _xmldoc = nullptr;
    delete[] _buffer;
    _buffer = nullptr;
}

wchar_t* xml_parser::parse(wchar_t* text) {
    clear();
    if (!text) return nullptr;
    _xmldoc = tree::new_node(node_document);
    if (!_xmldoc) {
        Logger::Instance()->Write(L"*오류 : XML 문서를 읽을 메모리가 부족합니다.");
        return text;
    }
    _xmldoc->parent = _xmldoc;
    parser_pass pass(_growby, _optmsk);
    wchar_t* end = pass.run(_xmldoc, text);
    if (pass.failed()) {
        Logger::Instance()->Write(L"*경고 : 메모리가 부족하여 XML 문서를 끝까지 읽지 못했습니다. (%u)",
                                  static_cast<unsigned>(end - text));
    }
    return end;
}

}  // namespace pug
