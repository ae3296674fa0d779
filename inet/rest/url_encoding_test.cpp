// Percent-encoding and decoding, under the Western (1252) and the Korean
// (949) ANSI code page: the suite runs under both.

#include "inet/rest/url_encoding.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "support/platform.h"

using inet::rest::url_decode;
using inet::rest::url_decode_in_code_page;
using inet::rest::url_encode;
using inet::rest::url_encode_component;

namespace {

const wchar_t kHan[] = L"\xD55C";  // U+D55C, UTF-8 ED 95 9C, code page 949 C7 D1

bool Korean() {
    return GetACP() == 949;
}

TEST(UrlEncode, KeepsUrlStructureAndEscapesTheRest) {
    EXPECT_EQ(L"a%20b/c?d=e&f", url_encode(L"a b/c?d=e&f", 2));
    EXPECT_EQ(L"%24", url_encode(L"$", 2));
    EXPECT_EQ(L"%C3%A9", url_encode(L"\x00E9", 2));
    EXPECT_EQ(L"!#&()*+,-./:;=?@_~", url_encode(L"!#&()*+,-./:;=?@_~", 1));
    EXPECT_EQ(L"!#&()*+,-./:;=?@_~", url_encode(L"!#&()*+,-./:;=?@_~", 2));
    EXPECT_EQ(L"AZaz09", url_encode(L"AZaz09", 2));
    EXPECT_EQ(L"%25%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D%27", url_encode(L"%\"<>\\^`{|}[]'", 2));
}

TEST(UrlEncode, HangulThroughUtf8IsThreeEscapes) {
    EXPECT_EQ(L"%ED%95%9C", url_encode(kHan, 2));
}

TEST(UrlEncode, ModeOneFollowsTheAnsiCodePage) {
    if (Korean()) {
        EXPECT_EQ(L"%C7%D1", url_encode(kHan, 1));
        EXPECT_EQ(L"x%C7%D1%20y", url_encode(L"x\xD55C y", 1));
    } else {
        EXPECT_EQ(1252u, GetACP());
        EXPECT_EQ(L"%E9", url_encode(L"\x00E9", 1));
        // Hangul has no 1252 form: the converter's default character.
        EXPECT_EQ(L"%3F", url_encode(kHan, 1));
    }
}

TEST(UrlEncode, OtherModesCopyTheText) {
    EXPECT_EQ(L"a b $\xD55C", url_encode(L"a b $\xD55C", 0));
    EXPECT_EQ(L"a b", url_encode(L"a b", 3));
    EXPECT_EQ(L"a b", url_encode(L"a b", -1));
    EXPECT_EQ(L"", url_encode(L"", 2));
}

TEST(UrlEncode, SurrogatePairsAreConvertedUnitByUnit) {
    // Each half alone is not convertible to UTF-8: the converter gives the
    // replacement character for each, and nothing breaks.
    std::wstring out = url_encode(L"\xD83D\xDE00", 2);
    EXPECT_EQ(L"%EF%BF%BD%EF%BF%BD", out);
}

TEST(UrlEncodeComponent, OnlyUnreservedCharactersRemain) {
    std::wstring out;
    EXPECT_TRUE(url_encode_component(out, L"a b*()~!/-._"));
    EXPECT_EQ(L"a%20b*()~%21%2F-._", out);
    std::wstring more;
    EXPECT_TRUE(url_encode_component(more, L"?=&:%+\xD55C"));
    EXPECT_EQ(L"%3F%3D%26%3A%25%2B%ED%95%9C", more);
}

TEST(UrlEncodeComponent, AppendsWithoutClearing) {
    std::wstring out = L"pre=";
    EXPECT_TRUE(url_encode_component(out, L"x y"));
    EXPECT_TRUE(url_encode_component(out, L"x y"));
    EXPECT_EQ(L"pre=x%20yx%20y", out);
    EXPECT_TRUE(url_encode_component(out, L""));
    EXPECT_EQ(L"pre=x%20yx%20y", out);
}

TEST(UrlDecode, EscapedUtf8BecomesTheCharacter) {
    EXPECT_EQ(std::wstring(kHan), url_decode(L"%ED%95%9C"));
    EXPECT_EQ(L"a b", url_decode(L"a%20b"));
    EXPECT_EQ(L"\x00E9", url_decode(L"%c3%a9"));
}

TEST(UrlDecode, LoneOrBrokenEscapesStay) {
    EXPECT_EQ(L"100%", url_decode(L"100%"));
    EXPECT_EQ(L"%4", url_decode(L"%4"));
    EXPECT_EQ(L"%zz", url_decode(L"%zz"));
    EXPECT_EQ(L"%", url_decode(L"%"));
    EXPECT_EQ(L"%A", url_decode(L"%%41"));
    EXPECT_EQ(L"a+b", url_decode(L"a+b"));
    EXPECT_EQ(L"a+b c", url_decode(L"a+b%20c"));
}

TEST(UrlDecode, TextWithoutPercentIsReturnedAsItIs) {
    EXPECT_EQ(L"a+b\xD55C\x00E9", url_decode(L"a+b\xD55C\x00E9"));
    EXPECT_EQ(L"", url_decode(L""));
}

TEST(UrlDecode, EscapesThatAreNotUtf8BecomeReplacementCharacters) {
    // The ASCII text is UTF-8 text, so the escaped bytes are read as UTF-8;
    // a lone E9 byte is not, and the converter replaces it.
    EXPECT_EQ(L"caf\xFFFD", url_decode(L"caf%E9"));
    // A decoded zero byte ends the text.
    EXPECT_EQ(L"ab", url_decode(L"ab%00cd"));
}

TEST(UrlDecode, TextWithAnsiCharactersDecodesEachEscapeAsOneCharacter) {
    // The literal character makes the ANSI form non-UTF-8 on both code pages
    // (E9 on 1252; C7 D1 on 949), so the escapes are taken one by one.
    std::wstring literal = Korean() ? std::wstring(kHan) : std::wstring(L"\x00E9");
    EXPECT_EQ(literal + L" \x00ED\x0095\x009C", url_decode(literal + L"%20%ED%95%9C"));
}

TEST(UrlDecode, HangulWithEscapesKeepsTheHangulOnEveryCodePage) {
    // On 949 the ANSI form of Hangul is not UTF-8 and the text is decoded in
    // place; on 1252 the ANSI form would be '?', which must not replace the
    // Hangul: it is decoded in place there too.
    EXPECT_EQ(std::wstring(kHan) + L" x", url_decode(std::wstring(kHan) + L"%20x"));
    EXPECT_EQ(std::wstring(kHan) + L"\x00ED", url_decode(std::wstring(kHan) + L"%ED"));
}

TEST(UrlDecode, OnAUtf8CodePageEscapesAreReadAsUtf8) {
    // Wine keeps its code page from the locale, so the UTF-8 system option
    // is given to the decoder directly.
    EXPECT_EQ(L"\xD55C x", url_decode_in_code_page(L"%ED%95%9C%20x", CP_UTF8));
    EXPECT_EQ(std::wstring(kHan) + L" \xD55C",
              url_decode_in_code_page(std::wstring(kHan) + L"%20%ED%95%9C", CP_UTF8));
    // A lone surrogate has no UTF-8 form: the escapes are taken one by one.
    EXPECT_EQ(L"\xD800\x00ED", url_decode_in_code_page(L"\xD800%ED", CP_UTF8));
    EXPECT_EQ(url_decode(L"%ED%95%9C"), url_decode_in_code_page(L"%ED%95%9C", GetACP()));
}

TEST(UrlDecode, RoundTripsThroughTheUtf8Encoders) {
    std::wstring text = L"name=\xD55C\xAE00 & more/\x00E9?";
    std::wstring component;
    ASSERT_TRUE(url_encode_component(component, text));
    EXPECT_EQ(text, url_decode(component));
    EXPECT_EQ(text, url_decode(url_encode(text, 2)));
}

TEST(Utf8Rule, FollowsRfc3629) {
    auto is = [](std::initializer_list<unsigned char> bytes) {
        std::vector<unsigned char> v(bytes);
        return IsUtf8Text(v.data(), v.size(), true);
    };
    EXPECT_FALSE(is({0xC0, 0xAF}));        // overlong
    EXPECT_FALSE(is({0xE0, 0x80, 0xAF}));  // overlong
    EXPECT_FALSE(is({0xED, 0xA0, 0x80}));  // surrogate
    EXPECT_TRUE(is({0xF4, 0x8F, 0xBF, 0xBF}));
    EXPECT_FALSE(is({0xF4, 0x90, 0x80, 0x80}));  // above U+10FFFF
    EXPECT_FALSE(is({0xF5, 0x80, 0x80, 0x80}));
    EXPECT_FALSE(is({'a', 0xE4, 0xB8}));  // truncated at the end
    EXPECT_FALSE(is({0x80}));             // stray continuation byte
    EXPECT_TRUE(is({'a', 'b', 'c'}));
    EXPECT_TRUE(is({0xEF, 0xBB, 0xBF, 0xFF, 0xFE}));  // mark: whatever follows
    EXPECT_TRUE(is({0xEF, 0xBB, 0xBF}));
    EXPECT_TRUE(is({'a', 0x00, 0xFF}));  // only up to the zero byte
    EXPECT_TRUE(is({0xE4, 0xB8, 0x80}));
    // Lengths around the sequence sizes give the same answers.
    for (size_t pad = 0; pad < 9; ++pad) {
        std::vector<unsigned char> v(pad, 'a');
        v.insert(v.end(), {0xED, 0x95, 0x9C});
        EXPECT_TRUE(IsUtf8Text(v.data(), v.size(), false)) << pad;
        v.insert(v.end(), {0xC0, 0xAF});
        EXPECT_FALSE(IsUtf8Text(v.data(), v.size(), false)) << pad;
    }
}

}  // namespace
