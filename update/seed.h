#pragma once
// The SEED block cipher (128-bit key, 128-bit block, 16 rounds) as RFC 4269
// defines it. The launcher decrypts the update manifest's file list with it;
// the publishing side encrypts with the same round keys (tools/publish).

#include <cstdint>

constexpr int kSeedBlockSize = 16;
constexpr int kSeedKeySize = 16;
constexpr int kSeedRoundKeyCount = 32;

struct SeedRoundKeys {
    std::uint32_t k[kSeedRoundKeyCount];  // K(i,0), K(i,1) for rounds 1..16
};

// Derives the 32 round-key words from a 16-byte key (big-endian words).
void SeedKeySchedule(const unsigned char key[kSeedKeySize], SeedRoundKeys& roundKeys);

// One 16-byte block, in place.
void SeedDecryptBlock(const SeedRoundKeys& roundKeys, unsigned char block[kSeedBlockSize]);
