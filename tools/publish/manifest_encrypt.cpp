#include "tools/publish/manifest_encrypt.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "support/logger.h"
#include "support/platform.h"
#include "update/manifest_crypto.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void StoreLittle(std::uint32_t v, unsigned char* p) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

bool EncryptManifestDataBody(const std::wstring& inner, std::uint32_t h0, std::uint32_t h1,
                             std::wstring& encoded) {
    // The reader ends the text at its first NUL: a NUL inside would silently
    // cut the manifest short.
    if (inner.find(L'\0') != std::wstring::npos) {
        Logger::Instance()->Write(L"* 오류: 매니페스트에 NUL 문자가 있습니다. (pos:%d)",
                                  static_cast<int>(inner.find(L'\0')));
        return false;
    }
    std::string utf8;
    if (!inner.empty() && !WideToMultiByte(CP_UTF8, inner.data(), static_cast<int>(inner.size()), utf8)) {
        Logger::Instance()->Write(L"* 오류: 매니페스트를 UTF-8로 변환할 수 없습니다. (err:0x%08x)", GetLastError());
        return false;
    }
    const size_t padded = (utf8.size() + kSeedBlockSize - 1) / kSeedBlockSize * kSeedBlockSize;
    std::vector<unsigned char> bytes(kManifestHeaderSize + padded, 0);
    StoreLittle(h0, bytes.data());
    StoreLittle(h1, bytes.data() + 4);
    unsigned char* payload = bytes.data() + kManifestHeaderSize;
    std::copy(utf8.begin(), utf8.end(), payload);

    SeedRoundKeys roundKeys;
    ManifestRoundKeys(roundKeys);
    for (size_t off = 0; off < padded; off += kSeedBlockSize) SeedEncryptBlock(roundKeys, payload + off);
    SecureZeroMemory(&roundKeys, sizeof(roundKeys));
    ApplyManifestMask(h0, h1, payload, padded);

    const std::string text = Base64Encode(bytes.data(), bytes.size());
    encoded.assign(text.begin(), text.end());
    return true;
}

}  // namespace

std::string Base64Encode(const unsigned char* bytes, size_t length) {
    std::string out;
    if (!bytes) return out;
    out.reserve((length + 2) / 3 * 4);
    for (size_t i = 0; i < length; i += 3) {
        const size_t n = length - i < 3 ? length - i : 3;
        std::uint32_t bits = static_cast<std::uint32_t>(bytes[i]) << 16;
        if (n > 1) bits |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
        if (n > 2) bits |= bytes[i + 2];
        out.push_back(kAlphabet[(bits >> 18) & 0x3F]);
        out.push_back(kAlphabet[(bits >> 12) & 0x3F]);
        out.push_back(n > 1 ? kAlphabet[(bits >> 6) & 0x3F] : '=');
        out.push_back(n > 2 ? kAlphabet[bits & 0x3F] : '=');
    }
    return out;
}

// SEED is a Feistel cipher: encryption is decryption with the round keys in
// the reverse order, so the launcher's rounds serve both.
void SeedEncryptBlock(const SeedRoundKeys& roundKeys, unsigned char block[kSeedBlockSize]) {
    SeedRoundKeys reversed;
    for (int round = 0; round < 16; ++round) {
        reversed.k[2 * round] = roundKeys.k[2 * (15 - round)];
        reversed.k[2 * round + 1] = roundKeys.k[2 * (15 - round) + 1];
    }
    SeedDecryptBlock(reversed, block);
    SecureZeroMemory(&reversed, sizeof(reversed));
}

bool EncryptManifestData(const std::wstring& inner, std::uint32_t h0, std::uint32_t h1,
                         std::wstring& encoded) {
    try {
        return EncryptManifestDataBody(inner, h0, h1, encoded);
    } catch (...) {
        Logger::Instance()->Write(L"* 오류: 매니페스트를 암호화하는 중 메모리가 부족합니다. (length:%d)",
                                  static_cast<int>(inner.size()));
        return false;
    }
}
