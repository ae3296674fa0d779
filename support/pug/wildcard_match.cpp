// Shell-style matching of a whole text against a pattern. Iterative, with a
// single back-up point for the last "*", so hostile patterns cost at most
// pattern length times text length.

#include "support/pug/pug.h"

namespace pug {
namespace {

// p is at "[". Sets next past the closing "]" and returns whether c is in the
// set; false with next untouched when the set is not closed (then "[" is an
// ordinary character).
bool match_set(const wchar_t* p, wchar_t c, bool& in_set, const wchar_t*& next) {
    const wchar_t* q = p + 1;
    bool negate = *q == L'!';
    if (negate) ++q;
    bool found = false;
    bool first = true;
    while (*q && (*q != L']' || first)) {
        first = false;
        wchar_t low = *q;
        wchar_t high = low;
        if (q[1] == L'-' && q[2] && q[2] != L']') {
            high = q[2];
            q += 3;
        } else {
            ++q;
        }
        if (c >= low && c <= high) found = true;
    }
    if (!*q) return false;
    in_set = found != negate;
    next = q + 1;
    return true;
}

}  // namespace

bool wildcard_match(const wchar_t* pattern, const wchar_t* text) {
    if (!pattern || !text) return false;
    const wchar_t* p = pattern;
    const wchar_t* t = text;
    const wchar_t* star = nullptr;    // pattern just after the last "*"
    const wchar_t* resume = nullptr;  // text position that "*" swallowed up to
    while (*t) {
        if (*p == L'*') {
            star = ++p;
            resume = t;
            continue;
        }
        if (*p) {
            bool hit = false;
            const wchar_t* next = p + 1;
            if (*p == L'?') {
                hit = true;
            } else if (*p == L'[' && match_set(p, *t, hit, next)) {
                // hit and next set by the set
            } else {
                hit = *p == *t;
                next = p + 1;
            }
            if (hit) {
                p = next;
                ++t;
                continue;
            }
        }
        if (!star) return false;
        p = star;
        t = ++resume;
    }
    while (*p == L'*') ++p;
    return *p == L'\0';
}

}  // namespace pug
