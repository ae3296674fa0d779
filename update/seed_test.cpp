// SEED against the test vectors of RFC 4269, both directions.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "update/seed.h"
#include "tools/publish/manifest_encrypt.h"

namespace {

std::vector<unsigned char> Hex(const std::string& text) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

// RFC 4269, Appendix B.
const Vector kVectors[] = {
    {"00000000000000000000000000000000", "000102030405060708090A0B0C0D0E0F",
     "5EBAC6E0054E166819AFF1CC6D346CDB"},
    {"000102030405060708090A0B0C0D0E0F", "00000000000000000000000000000000",
     "C11F22F20140505084483597E4370F43"},
    {"4706480851E61BE85D74BFB3FD956185", "83A2F8A288641FB9A4E9A5CC2F131C7D",
     "EE54D13EBCAE706D226BC3142CD40D4A"},
    {"28DBC3BC49FFD87DCFA509B11D422BE7", "B41E6BE2EBA84A148E2EED84593C5EC7",
     "9B9B7BFCD1813CB95D0B3618F40F5122"},
};

TEST(SeedTest, EncryptsEveryStandardVector) {
    for (const Vector& v : kVectors) {
        const std::string where = ::testing::PrintToString(v.key);
        std::vector<unsigned char> key = Hex(v.key), block = Hex(v.plain);
        SeedRoundKeys rk;
        SeedKeySchedule(key.data(), rk);
        SeedEncryptBlock(rk, block.data());
        EXPECT_EQ(Hex(v.cipher), block) << where;
    }
}

TEST(SeedTest, DecryptsEveryStandardVector) {
    for (const Vector& v : kVectors) {
        const std::string where = ::testing::PrintToString(v.key);
        std::vector<unsigned char> key = Hex(v.key), block = Hex(v.cipher);
        SeedRoundKeys rk;
        SeedKeySchedule(key.data(), rk);
        SeedDecryptBlock(rk, block.data());
        EXPECT_EQ(Hex(v.plain), block) << where;
    }
}

TEST(SeedTest, RoundKeysDependOnEveryKeyByte) {
    unsigned char key[16] = {};
    SeedRoundKeys base;
    SeedKeySchedule(key, base);
    for (int i = 0; i < 16; ++i) {
        unsigned char changed[16] = {};
        changed[i] = 0x01;
        SeedRoundKeys rk;
        SeedKeySchedule(changed, rk);
        int differing = 0;
        for (int k = 0; k < kSeedRoundKeyCount; ++k) differing += rk.k[k] != base.k[k];
        EXPECT_GT(differing, 8) << "key byte " << i;
    }
}

TEST(SeedTest, DecryptInvertsEncryptForRandomKeysAndBlocks) {
    std::mt19937 gen(4269);
    for (int n = 0; n < 500; ++n) {
        unsigned char key[16], block[16], copy[16];
        for (auto& b : key) b = static_cast<unsigned char>(gen());
        for (int i = 0; i < 16; ++i) copy[i] = block[i] = static_cast<unsigned char>(gen());
        SeedRoundKeys rk;
        SeedKeySchedule(key, rk);
        SeedEncryptBlock(rk, block);
        EXPECT_NE(0, memcmp(copy, block, 16));
        SeedDecryptBlock(rk, block);
        ASSERT_EQ(0, memcmp(copy, block, 16)) << "case " << n;
    }
}

}  // namespace
