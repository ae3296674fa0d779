#pragma once
// The publishing side of the update manifest: what the launcher decrypts
// (update/manifest_crypto.h), made from the same constants. Never linked into
// the launcher.

#include <cstdint>
#include <string>

#include "update/seed.h"

// Standard alphabet with "=" padding, no line breaks.
std::string Base64Encode(const unsigned char* bytes, size_t length);

// One 16-byte block, in place.
void SeedEncryptBlock(const SeedRoundKeys& roundKeys, unsigned char block[kSeedBlockSize]);

// The inner manifest as UTF-8, NUL-padded to whole blocks, encrypted, masked
// under the header (h0, h1) and base64-encoded. False when the text cannot be
// converted to UTF-8 or holds a NUL (logged).
[[nodiscard]] bool EncryptManifestData(const std::wstring& inner, std::uint32_t h0, std::uint32_t h1,
                                       std::wstring& encoded);
