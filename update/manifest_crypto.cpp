#include "update/manifest_crypto.h"

#include <windows.h>

#include <algorithm>
#include <new>

#include "support/crt_random.h"
#include "support/logger.h"
#include "support/platform.h"
#include "update/seed.h"

const unsigned char kManifestKeyTable[128] = {
    0x65, 0x06, 0xBC, 0x2A, 0xE1, 0x9C, 0x45, 0x0E, 0x8A, 0xCF, 0x3B, 0x19, 0xC2, 0x2A, 0xB9, 0x5F,
    0x33, 0x57, 0x8E, 0x85, 0x26, 0x52, 0x16, 0x36, 0xCC, 0xB3, 0x3F, 0xC1, 0x30, 0x57, 0x81, 0xEF,
    0x45, 0x9F, 0x07, 0x35, 0xC7, 0x65, 0x7B, 0x19, 0x2E, 0x8B, 0xA4, 0xE8, 0x10, 0x3A, 0x05, 0xCF,
    0x95, 0x84, 0x5F, 0x58, 0x50, 0x2F, 0x7B, 0x42, 0x6F, 0x5A, 0xA2, 0x5C, 0xFA, 0xB6, 0x04, 0x15,
    0x9B, 0x71, 0x43, 0xC7, 0x7A, 0x67, 0x15, 0x5C, 0x19, 0xFC, 0x43, 0xAC, 0x2E, 0x9C, 0xFA, 0xC9,
    0x2E, 0x12, 0xAE, 0x8E, 0x25, 0x4E, 0x61, 0x90, 0x53, 0xCF, 0x0D, 0xC7, 0x1B, 0x48, 0x71, 0x3B,
    0x54, 0x72, 0xAB, 0x39, 0xD0, 0xDB, 0xA5, 0x56, 0xE0, 0x41, 0xD9, 0xBC, 0x0B, 0x0B, 0x09, 0xEF,
    0x0E, 0xA0, 0xFC, 0x1E, 0x09, 0xA0, 0x05, 0x40, 0xD3, 0x7B, 0x51, 0x37, 0x66, 0x29, 0xEB, 0x22,
};

namespace {


int AlphabetValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::uint32_t LoadLittle(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The attribute value narrowed to bytes, up to its first NUL. Base64 is plain
// ASCII; anything else is dropped here rather than converted, so that what the
// decoder sees never depends on the user's ANSI code page.
std::string NarrowAscii(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\0') break;
        if (c < 0x80) out.push_back(static_cast<char>(c));
    }
    return out;
}

}  // namespace

int Base64DecodedCapacity(int length) {
    return length < 0 ? 5 : (length / 4) * 3 + 5;
}

int Base64Decode(const char* input, int length, unsigned char* output, int capacity) {
    if (!input || length <= 0 || !output || capacity <= 0) return 0;
    int pos = 0;
    int written = 0;
    while (pos < length) {
        int values[4] = {0, 0, 0, 0};
        int filled = 0;
        while (filled < 4 && pos < length) {
            int v = AlphabetValue(static_cast<unsigned char>(input[pos++]));
            if (v >= 0) values[filled++] = v;
        }
        if (filled == 0) break;
        std::uint32_t bits =
            (static_cast<std::uint32_t>(values[0]) << 18) | (static_cast<std::uint32_t>(values[1]) << 12) |
            (static_cast<std::uint32_t>(values[2]) << 6) | static_cast<std::uint32_t>(values[3]);
        const unsigned char bytes[3] = {static_cast<unsigned char>(bits >> 16),
                                        static_cast<unsigned char>(bits >> 8),
                                        static_cast<unsigned char>(bits)};
        for (int i = 0; i < filled - 1 && written < capacity; ++i) output[written++] = bytes[i];
    }
    return written;
}

void BuildManifestKey(unsigned char key[16]) {
    crt_srand(kManifestKeySeed);
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<unsigned char>((crt_rand() % 255) ^ kManifestKeyTable[i]);
}

// The mask is symmetric: the same generator bytes XOR-ed in again undo it.
// Modulo 255, not 256, is part of the format.
void ApplyManifestMask(std::uint32_t h0, std::uint32_t h1, unsigned char* payload, size_t length) {
    CrtRandom random(ManifestMaskSeed(h0, h1));
    for (size_t i = 0; i < length; ++i) payload[i] ^= static_cast<unsigned char>(random.Next() % 255);
    // The thread's generator ends where srand and one rand per byte leave it.
    crt_srand(random.state());
}

void ManifestRoundKeys(SeedRoundKeys& roundKeys) {
    unsigned char key[16];
    BuildManifestKey(key);
    SeedKeySchedule(key, roundKeys);
    SecureZeroMemory(key, sizeof(key));
}

std::uint32_t ManifestMaskSeed(std::uint32_t h0, std::uint32_t h1) {
    return ((h1 ^ h0) & 0xFFFF) ^ h1;
}

namespace {

bool DecryptManifestDataBody(std::wstring& text) {
    const std::string narrow = NarrowAscii(text);
    const int length = static_cast<int>(narrow.size());
    const int capacity = Base64DecodedCapacity(length);
    std::vector<unsigned char> decoded;
    try {
        decoded.assign(static_cast<size_t>(capacity), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int n = Base64Decode(narrow.data(), length, decoded.data(), capacity);
    if (n < kManifestHeaderSize || (n - kManifestHeaderSize) % kSeedBlockSize != 0) return false;
    const std::uint32_t h0 = LoadLittle(decoded.data());
    const std::uint32_t h1 = LoadLittle(decoded.data() + 4);
    unsigned char* payload = decoded.data() + kManifestHeaderSize;
    const int payloadLength = n - kManifestHeaderSize;
    ApplyManifestMask(h0, h1, payload, static_cast<size_t>(payloadLength));

    SeedRoundKeys roundKeys;
    ManifestRoundKeys(roundKeys);
    for (int off = 0; off < payloadLength; off += kSeedBlockSize) SeedDecryptBlock(roundKeys, payload + off);
    SecureZeroMemory(&roundKeys, sizeof(roundKeys));

    // The plaintext ends at its first NUL (block padding) or at the payload's end.
    int textLength = 0;
    while (textLength < payloadLength && payload[textLength] != 0) ++textLength;
    if (textLength == 0) {
        text.clear();
        return true;
    }
    std::wstring result;
    if (!MultiByteToWide(CP_UTF8, reinterpret_cast<const char*>(payload), textLength, result)) return false;
    text.swap(result);
    return true;
}

}  // namespace

// Refusals are silent: the manifest reader's caller writes the record.
bool DecryptManifestData(std::wstring& text) {
    try {
        return DecryptManifestDataBody(text);
    } catch (...) {
        return false;
    }
}
