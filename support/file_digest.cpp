#include "support/file_digest.h"

#include <bcrypt.h>

#include <cwchar>

Md5Stream::Md5Stream() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        m_failed = true;
        return;
    }
    m_algorithm = algorithm;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        m_failed = true;
        return;
    }
    m_hash = hash;
}

Md5Stream::~Md5Stream() {
    if (m_hash) BCryptDestroyHash(static_cast<BCRYPT_HASH_HANDLE>(m_hash));
    if (m_algorithm) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(m_algorithm), 0);
}

void Md5Stream::Add(const void* data, size_t size) {
    if (m_failed || m_done) return;
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG part = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptHashData(static_cast<BCRYPT_HASH_HANDLE>(m_hash), bytes, part, 0))) {
            m_failed = true;
            return;
        }
        bytes += part;
        size -= part;
    }
}

std::wstring Md5Stream::Text() {
    if (m_done) return m_text;
    m_done = true;
    unsigned char digest[16];
    if (m_failed ||
        !BCRYPT_SUCCESS(BCryptFinishHash(static_cast<BCRYPT_HASH_HANDLE>(m_hash), digest, sizeof(digest), 0))) {
        m_text = L"-1";
        return m_text;
    }
    wchar_t text[33] = {};
    for (int i = 0; i < 16; ++i) _snwprintf(text + i * 2, 3, L"%02x", digest[i]);
    text[32] = 0;
    m_text = text;
    return m_text;
}

std::wstring Md5OfOpenFile(HANDLE file) {
    unsigned char block[kFileHashBlock];
    Md5Stream md5;
    for (;;) {
        DWORD read = 0;
        // A read error is not the end of the file: no digest of part of it.
        if (!ReadFile(file, block, kFileHashBlock, &read, nullptr)) return L"-1";
        if (read == 0) break;
        md5.Add(block, read);
    }
    return md5.Text();
}
