#pragma once
// The encryption of the update manifest's inner file list: base64 text over
// an 8-byte header (h0, h1) and a payload that is SEED-encrypted (ECB) and
// then masked with bytes from the runtime generator seeded by the header.
// The launcher decrypts; the publishing side (tools/publish) encrypts with
// the same constants and the shared parts declared here.

#include <cstdint>
#include <string>
#include <vector>

// The key constants shared with every manifest producer.
constexpr std::uint32_t kManifestKeySeed = 0x4D5EAE9B;
extern const unsigned char kManifestKeyTable[128];

// Bytes written for `length` characters of base64 text; every character
// outside the standard alphabet (padding "=", line breaks, spaces, anything
// else) is skipped. `output` must hold Base64DecodedCapacity(length) bytes
// and should be zero-filled; nothing is written past `capacity`.
int Base64DecodedCapacity(int length);
int Base64Decode(const char* input, int length, unsigned char* output, int capacity);

// The 16-byte SEED key: srand(seed constant), then (rand() % 255) ^ table[i].
void BuildManifestKey(unsigned char key[16]);

// The seed of the payload mask: the upper 16 bits of h1 joined with the lower
// 16 bits of h0.
std::uint32_t ManifestMaskSeed(std::uint32_t h0, std::uint32_t h1);

// The attribute value to the inner manifest text. On failure (logged) text is
// left unchanged and false is returned. An empty payload gives "" and true.
[[nodiscard]] bool DecryptManifestData(std::wstring& text);

// The parts both directions share: the header is two little-endian words
// (h0, h1) before the payload; the payload mask is XOR-ed in and out alike;
// the SEED round keys come from the shared key constants.
constexpr int kManifestHeaderSize = 8;
struct SeedRoundKeys;
void ApplyManifestMask(std::uint32_t h0, std::uint32_t h1, unsigned char* payload, size_t length);
void ManifestRoundKeys(SeedRoundKeys& roundKeys);
