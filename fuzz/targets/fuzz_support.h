#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// A property that must hold for every input; a violation is a finding.
#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzz {

// Input bytes to UTF-16 code units (one per wchar_t), as the launcher holds
// text. The bytes are read as UTF-8 so that dictionaries and seeds stay
// readable, but leniently, so that every code unit can be reached:
// well-formed sequences give their code point (a pair above U+FFFF), the
// three-byte forms of surrogates (ED A0..BF xx) give lone surrogate units,
// and any other byte gives the unit of the same value (0x80..0xFF).
inline std::wstring Text(const std::uint8_t* data, size_t size) {
    std::wstring out;
    out.reserve(size);
    size_t i = 0;
    auto trail = [&](size_t k) { return i + k < size && (data[i + k] & 0xC0) == 0x80; };
    while (i < size) {
        std::uint8_t c = data[i];
        std::uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c >= 0xC2 && c <= 0xDF && trail(1)) {
            cp = ((c & 0x1Fu) << 6) | (data[i + 1] & 0x3Fu);
            n = 2;
        } else if (c >= 0xE0 && c <= 0xEF && trail(1) && trail(2)) {
            cp = ((c & 0x0Fu) << 12) | ((data[i + 1] & 0x3Fu) << 6) | (data[i + 2] & 0x3Fu);
            n = 3;
            if (cp < 0x800) {
                cp = c;
                n = 1;
            }
        } else if (c >= 0xF0 && c <= 0xF4 && trail(1) && trail(2) && trail(3)) {
            cp = ((c & 0x07u) << 18) | ((data[i + 1] & 0x3Fu) << 12) | ((data[i + 2] & 0x3Fu) << 6) |
                 (data[i + 3] & 0x3Fu);
            n = 4;
            if (cp < 0x10000 || cp > 0x10FFFF) {
                cp = c;
                n = 1;
            }
        } else {
            cp = c;
            n = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += n;
    }
    return out;
}

// The input split at NUL bytes into at most `parts` pieces (the last one
// keeps any further NULs).
inline std::vector<std::string> Split(const std::uint8_t* data, size_t size, size_t parts) {
    std::vector<std::string> out(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && out.size() < parts) {
            out.emplace_back();
        } else {
            out.back().push_back(static_cast<char>(data[i]));
        }
    }
    return out;
}

inline std::wstring Text(const std::string& bytes) {
    return Text(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace fuzz
