// SEED: decrypting what was encrypted (and encrypting what was decrypted)
// gives the block back, under any key; the standard's first vector is
// checked once.
//
// Input: 16 key bytes, then any number of 16-byte blocks.

#include <cstring>

#include "fuzz_support.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/seed.h"

namespace {

// RFC 4269, Appendix B, first vector.
bool KnownAnswer() {
    const unsigned char key[16] = {};
    unsigned char block[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                               0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    const unsigned char cipher[16] = {0x5E, 0xBA, 0xC6, 0xE0, 0x05, 0x4E, 0x16, 0x68,
                                      0x19, 0xAF, 0xF1, 0xCC, 0x6D, 0x34, 0x6C, 0xDB};
    SeedRoundKeys rk;
    SeedKeySchedule(key, rk);
    SeedEncryptBlock(rk, block);
    if (std::memcmp(block, cipher, 16) != 0) return false;
    SeedDecryptBlock(rk, block);
    return block[15] == 0x0F && block[0] == 0x00;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const bool known = KnownAnswer();
    FUZZ_CHECK(known);
    if (size < kSeedKeySize) return 0;
    SeedRoundKeys rk;
    SeedKeySchedule(data, rk);
    for (size_t off = kSeedKeySize; off + kSeedBlockSize <= size; off += kSeedBlockSize) {
        unsigned char block[kSeedBlockSize];
        std::memcpy(block, data + off, sizeof block);
        SeedEncryptBlock(rk, block);
        SeedDecryptBlock(rk, block);
        FUZZ_CHECK(std::memcmp(block, data + off, sizeof block) == 0);
        SeedDecryptBlock(rk, block);
        SeedEncryptBlock(rk, block);
        FUZZ_CHECK(std::memcmp(block, data + off, sizeof block) == 0);
    }
    return 0;
}
