// Base64, the header-seeded mask and the manifest data encryption, checked
// against the format rebuilt here from its parts.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/crt_random.h"
#include "update/manifest_crypto.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/seed.h"

namespace {

// The runtime generator written out once more, independent of crt_rand.
struct Lcg {
    std::uint32_t state;
    int Next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
};

std::vector<unsigned char> Decode(const std::string& text) {
    std::vector<unsigned char> out(static_cast<size_t>(Base64DecodedCapacity(static_cast<int>(text.size()))),
                                   0xEE);
    int n =
        Base64Decode(text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::vector<unsigned char> Bytes(const char* text) {
    return std::vector<unsigned char>(text, text + strlen(text));
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

// The manifest key as the shared constants define it.
std::vector<unsigned char> ExpectedKey() {
    Lcg lcg{kManifestKeySeed};
    std::vector<unsigned char> key(16);
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<unsigned char>((lcg.Next() % 255) ^ kManifestKeyTable[i]);
    return key;
}

// Builds an attribute value step by step: SEED with the manifest key, then
// the mask (optionally overriding mask bytes), then base64.
std::string BuildValue(std::uint32_t h0, std::uint32_t h1, const std::vector<unsigned char>& plain) {
    std::vector<unsigned char> bytes(8 + plain.size(), 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<unsigned char>(h0 >> (8 * i));
        bytes[4 + i] = static_cast<unsigned char>(h1 >> (8 * i));
    }
    std::copy(plain.begin(), plain.end(), bytes.begin() + 8);
    std::vector<unsigned char> key = ExpectedKey();
    SeedRoundKeys rk;
    SeedKeySchedule(key.data(), rk);
    for (size_t off = 8; off + 16 <= bytes.size(); off += 16) SeedEncryptBlock(rk, bytes.data() + off);
    Lcg mask{((h1 ^ h0) & 0xFFFF) ^ h1};
    for (size_t i = 8; i < bytes.size(); ++i) bytes[i] ^= static_cast<unsigned char>(mask.Next() % 255);
    return Base64Encode(bytes.data(), bytes.size());
}

std::vector<unsigned char> Padded(const std::string& text) {
    std::vector<unsigned char> out(text.begin(), text.end());
    out.resize((out.size() + 15) / 16 * 16, 0);
    return out;
}

// A seed whose first generator output is `value` (0..32767), found by
// inverting the generator's step.
std::uint32_t SeedForFirstOutput(int value) {
    std::uint32_t inverse = 214013u;  // Newton's iteration for the inverse modulo 2^32
    for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
    const std::uint32_t state = static_cast<std::uint32_t>(value) << 16;
    return (state - 2531011u) * inverse;
}

TEST(Base64Test, DecodesGroupsAndPartialGroups) {
    EXPECT_EQ(Bytes("A"), Decode("QQ=="));
    EXPECT_EQ(Bytes("ABC"), Decode("QUJD"));
    EXPECT_EQ(Bytes("AB"), Decode("QUI="));
    EXPECT_EQ(Bytes("AB"), Decode("QUI"));
    // A lone trailing character carries no whole byte.
    EXPECT_EQ(Bytes("ABC"), Decode("QUJDR"));
    EXPECT_TRUE(Decode("").empty());
    EXPECT_TRUE(Decode("====").empty());
    EXPECT_EQ(Bytes("any carnal pleasure."), Decode("YW55IGNhcm5hbCBwbGVhc3VyZS4="));
}

TEST(Base64Test, SkipsEveryCharacterOutsideTheAlphabet) {
    EXPECT_EQ(Bytes("ABC"), Decode(" Q\r\nU=J\tD== "));
    EXPECT_EQ(Bytes("ABC"), Decode("Q-U_J.D!"));
    std::string withHigh = "Q\xC3\xA9UJ\xFF";
    withHigh += "D";
    EXPECT_EQ(Bytes("ABC"), Decode(withHigh));
}

TEST(Base64Test, LeavesThreeZeroBytesInTheCallersBuffer) {
    for (int len = 0; len <= 40; ++len) {
        std::string text(static_cast<size_t>(len), 'z');
        std::vector<unsigned char> buffer(static_cast<size_t>(Base64DecodedCapacity(len)), 0);
        int n = Base64Decode(text.data(), len, buffer.data(), static_cast<int>(buffer.size()));
        ASSERT_LE(n + 3, static_cast<int>(buffer.size())) << len;
        for (int i = n; i < n + 3; ++i) EXPECT_EQ(0, buffer[static_cast<size_t>(i)]);
    }
}

TEST(Base64Test, NeverWritesPastTheGivenCapacity) {
    unsigned char buffer[8];
    memset(buffer, 0xAB, sizeof(buffer));
    EXPECT_EQ(4, Base64Decode("QUJDREVGR0hJ", 12, buffer, 4));
    EXPECT_EQ(0xAB, buffer[4]);
    EXPECT_EQ(0, Base64Decode(nullptr, 4, buffer, 4));
    EXPECT_EQ(0, Base64Decode("QUJD", -1, buffer, 4));
}

TEST(Base64Test, EncodeThenDecodeGivesTheBytesBack) {
    std::mt19937 gen(7);
    for (size_t len = 0; len < 70; ++len) {
        std::vector<unsigned char> bytes(len);
        for (auto& b : bytes) b = static_cast<unsigned char>(gen());
        std::string text = Base64Encode(bytes.data(), bytes.size());
        EXPECT_EQ(0u, text.size() % 4);
        EXPECT_EQ(bytes, Decode(text));
    }
    EXPECT_EQ("YW55IGNhcm5hbCBwbGVhc3VyZS4=",
              Base64Encode(reinterpret_cast<const unsigned char*>("any carnal pleasure."), 20));
}

TEST(ManifestKeyTest, FollowsTheRuntimeGeneratorAndTheSharedTable) {
    unsigned char key[16];
    BuildManifestKey(key);
    EXPECT_EQ(ExpectedKey(), std::vector<unsigned char>(key, key + 16));
    EXPECT_EQ(0x65, kManifestKeyTable[0]);
    EXPECT_EQ(0x22, kManifestKeyTable[127]);
}

// The answer every manifest producer shares, computed apart from this code.
TEST(ManifestKeyTest, MatchesTheSharedKnownAnswer) {
    const unsigned char expected[16] = {0xE3, 0xF8, 0x88, 0xEF, 0x77, 0x0C, 0xE9, 0x03,
                                        0x18, 0x4D, 0xBA, 0x7D, 0xC2, 0xA5, 0x43, 0x84};
    unsigned char key[16] = {};
    BuildManifestKey(key);
    EXPECT_EQ(0, std::memcmp(expected, key, sizeof(key)));

    std::wstring text =
        L"EQAAAMgAAAA/"
        L"wZXS6OuMTBw7VNIRFDhc6dhAxaCtT0V0ghmGqj0QMRzZIZEF98uIOGaIBEzOFoefVbEqWM2gzVWK5JbegvQSTQB9"
        L"ceRkW4UbvTzfpSG66zWPCE/A+Y6Jxl5NCe8aYPvHHUFDOnfXqH/pttkbqk74Hd2UB3uUkvBfTvOYlktHGA==";
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(
        L"<update><files name=\"editor.cab\"><file id=\"module\" hash=\"0123456789abcdef0123456789abcdef\">"
        L"Editor.dll</file></files></update>",
        text);
}

TEST(ManifestKeyTest, MaskXorsOneDrawModulo255PerByteAndLeavesTheGeneratorAfterThem) {
    std::vector<unsigned char> payload(1000, 0x5A);
    ApplyManifestMask(0x11112222u, 0xAAAABBBBu, payload.data(), payload.size());
    Lcg reference{ManifestMaskSeed(0x11112222u, 0xAAAABBBBu)};
    for (size_t i = 0; i < payload.size(); ++i)
        ASSERT_EQ(static_cast<unsigned char>(0x5A ^ (reference.Next() % 255)), payload[i]) << i;
    EXPECT_EQ(reference.Next(), crt_rand());
}

TEST(ManifestKeyTest, MaskSeedJoinsUpperHalfOfH1WithLowerHalfOfH0) {
    EXPECT_EQ(0xAAAA2222u, ManifestMaskSeed(0x11112222u, 0xAAAABBBBu));
    EXPECT_EQ(0u, ManifestMaskSeed(0, 0));
    EXPECT_EQ(0xFFFF0000u, ManifestMaskSeed(0xFFFF0000u, 0xFFFFFFFFu));
}

TEST(DecryptManifestDataTest, DecryptsAValueBuiltFromTheParts) {
    std::wstring text = Widen(BuildValue(0x12345678u, 0x9ABCDEF0u, Padded("<update></update>")));
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(L"<update></update>", text);
}

TEST(DecryptManifestDataTest, RefusesFewerThanEightBytesAndLeavesTheText) {
    for (const char* value : {"", "QUJD", "QUJDREVG", "QUJDREVGRw=="}) {
        std::wstring text = Widen(value);
        EXPECT_FALSE(DecryptManifestData(text)) << value;
        EXPECT_EQ(Widen(value), text);
    }
}

TEST(DecryptManifestDataTest, RefusesAPayloadThatIsNotWholeBlocks) {
    std::vector<unsigned char> bytes(8 + 17, 0x41);
    const std::wstring value = Widen(Base64Encode(bytes.data(), bytes.size()));
    std::wstring text = value;
    EXPECT_FALSE(DecryptManifestData(text));
    EXPECT_EQ(value, text);
    bytes.resize(8 + 15);
    text = Widen(Base64Encode(bytes.data(), bytes.size()));
    EXPECT_FALSE(DecryptManifestData(text));
}

TEST(DecryptManifestDataTest, ExactlyTheHeaderGivesAnEmptyText) {
    unsigned char header[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::wstring text = Widen(Base64Encode(header, 8));
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(L"", text);
}

TEST(DecryptManifestDataTest, LineBreaksSpacesAndPaddingAnywhereChangeNothing) {
    const std::string value = BuildValue(0xCAFEBABEu, 0x0BADF00Du, Padded("<update><files/></update>"));
    std::wstring plain = Widen(value);
    ASSERT_TRUE(DecryptManifestData(plain));
    std::string noisy;
    for (size_t i = 0; i < value.size(); ++i) {
        noisy += value[i];
        if (i % 3 == 0) noisy += "\r\n";
        if (i % 5 == 0) noisy += " ";
        if (i % 7 == 0) noisy += "=";
    }
    std::wstring text = Widen("= \n" + noisy + "\t==");
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(plain, text);
}

TEST(DecryptManifestDataTest, GeneratorOutput255MasksWithZeroAnd254With254) {
    const std::vector<unsigned char> plain = Padded("<update>x</update>");
    for (int first : {255, 254, 510}) {
        const std::string where = ::testing::PrintToString(first);
        const std::uint32_t seed = SeedForFirstOutput(first);
        Lcg check{seed};
        ASSERT_EQ(first, check.Next()) << where;
        // h0 == h1 == seed gives exactly that mask seed.
        std::string value = BuildValue(seed, seed, plain);
        std::wstring text = Widen(value);
        ASSERT_TRUE(DecryptManifestData(text)) << where;
        EXPECT_EQ(L"<update>x</update>", text) << where;

        // Byte 0 masked with (first % 256) instead: the result must differ
        // wherever 255 and 256 disagree.
        std::vector<unsigned char> bytes = Decode(value);
        bytes[8] ^= static_cast<unsigned char>(first % 255);
        bytes[8] ^= static_cast<unsigned char>(first % 256);
        std::wstring wrong = Widen(Base64Encode(bytes.data(), bytes.size()));
        ASSERT_TRUE(DecryptManifestData(wrong)) << where;
        if (first % 255 == first % 256)
            EXPECT_EQ(L"<update>x</update>", wrong) << where;
        else
            EXPECT_NE(L"<update>x</update>", wrong) << where;
    }
}

TEST(DecryptManifestDataTest, NulPaddingEndsTheText) {
    std::vector<unsigned char> plain = Padded("abc");
    ASSERT_EQ(16u, plain.size());
    std::wstring text = Widen(BuildValue(1, 2, plain));
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(L"abc", text);
    // A text that fills its blocks needs no NUL.
    text = Widen(BuildValue(1, 2, Bytes("0123456789abcdef")));
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(L"0123456789abcdef", text);
    // Bytes after the first NUL are ignored, even when not NUL.
    plain = Bytes("abXcdefghijklmno");
    plain[2] = 0;
    text = Widen(BuildValue(1, 2, plain));
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(L"ab", text);
}

TEST(DecryptManifestDataTest, ReadsUtf8WhateverTheCodePage) {
    const std::string utf8 = "<f>\xED\x8E\xB8\xEC\xA7\x91\xEA\xB8\xB0.dll</f>";  // 편집기
    std::wstring text = Widen(BuildValue(5, 6, Padded(utf8)));
    ASSERT_TRUE(DecryptManifestData(text));
    EXPECT_EQ(L"<f>\uD3B8\uC9D1\uAE30.dll</f>", text);
}

TEST(DecryptManifestDataTest, NonAsciiCharactersInTheValueAreSkipped) {
    const std::string value = BuildValue(9, 10, Padded("<update/>"));
    std::wstring noisy;
    for (char c : value) {
        noisy += static_cast<wchar_t>(c);
        noisy += L"\uAC00";  // a Hangul syllable, which code page 949 turns into two bytes
    }
    ASSERT_TRUE(DecryptManifestData(noisy));
    EXPECT_EQ(L"<update/>", noisy);
}

TEST(DecryptManifestDataTest, TheValueEndsAtItsFirstNul) {
    std::wstring text = Widen(BuildValue(3, 4, Padded("<update/>")));
    std::wstring withTail = text + L'\0' + L"QUJD";
    ASSERT_TRUE(DecryptManifestData(withTail));
    EXPECT_EQ(L"<update/>", withTail);
}

TEST(DecryptManifestDataTest, BuildsTheKeyAfterUnmaskingOnTheCallingThread) {
    crt_srand(77);
    std::wstring text = Widen(BuildValue(3, 4, Padded("x")));
    ASSERT_TRUE(DecryptManifestData(text));
    // The key is built last, so the generator continues from the key seed.
    Lcg lcg{kManifestKeySeed};
    for (int i = 0; i < 16; ++i) lcg.Next();
    EXPECT_EQ(lcg.Next(), crt_rand());
}

TEST(EncryptManifestDataTest, RoundTripsTextsOfEveryLength) {
    std::wstring base =
        L"<update><files name=\"\uD3B8\uC9D1.cab\"><file "
        L"id=\"module\">\uD55C\uAE00.dll</file></files></update>";
    for (size_t len = 0; len <= base.size(); ++len) {
        const std::wstring inner = base.substr(0, len);
        std::wstring encoded;
        ASSERT_TRUE(EncryptManifestData(inner, static_cast<std::uint32_t>(len * 7919),
                                        0x5A5A0000u + static_cast<std::uint32_t>(len), encoded));
        std::wstring text = encoded;
        ASSERT_TRUE(DecryptManifestData(text)) << len;
        EXPECT_EQ(inner, text);
    }
}

TEST(EncryptManifestDataTest, MatchesTheFormatBuiltFromItsParts) {
    std::wstring encoded;
    ASSERT_TRUE(EncryptManifestData(L"<update>\uD55C</update>", 0x01020304u, 0xA0B0C0D0u, encoded));
    EXPECT_EQ(Widen(BuildValue(0x01020304u, 0xA0B0C0D0u, Padded("<update>\xED\x95\x9C</update>"))), encoded);
    // Header bytes are little-endian.
    std::vector<unsigned char> bytes = Decode(std::string(encoded.begin(), encoded.end()));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(0x04, bytes[0]);
    EXPECT_EQ(0xD0, bytes[4]);
    EXPECT_EQ(0u, (bytes.size() - 8) % 16);
}

TEST(EncryptManifestDataTest, RefusesATextWithAnEmbeddedNul) {
    std::wstring inner = L"<update>";
    inner += L'\0';
    inner += L"</update>";
    std::wstring encoded = L"unchanged";
    EXPECT_FALSE(EncryptManifestData(inner, 1, 2, encoded));
    EXPECT_EQ(L"unchanged", encoded);
}

}  // namespace
