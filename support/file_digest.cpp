#include "support/file_digest.h"

#include <bcrypt.h>
#include <winternl.h>

#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

HashStream::HashStream(LPCWSTR algorithm) {
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    m_failed = !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&rawAlgorithm, algorithm, nullptr, 0));
    if (m_failed) return;
    m_algorithm.reset(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    m_failed = !BCRYPT_SUCCESS(BCryptCreateHash(m_algorithm.get(), &rawHash, nullptr, 0, nullptr, 0, 0));
    if (!m_failed) m_hash.reset(rawHash);
}

void HashStream::Add(const void* data, size_t size) {
    if (m_failed || m_done) return;
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG part = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptHashData(m_hash.get(), bytes, part, 0))) {
            m_failed = true;
            return;
        }
        bytes += part;
        size -= part;
    }
}

std::wstring HashStream::Text() {
    if (m_done) return m_text;
    m_done = true;
    DWORD length = 0;
    ULONG got = 0;
    unsigned char digest[64];
    if (m_failed ||
        !BCRYPT_SUCCESS(BCryptGetProperty(m_algorithm.get(), BCRYPT_HASH_LENGTH,
                                          reinterpret_cast<PUCHAR>(&length), sizeof(length), &got, 0)) ||
        length > sizeof(digest) || !BCRYPT_SUCCESS(BCryptFinishHash(m_hash.get(), digest, length, 0))) {
        m_text = L"-1";
        return m_text;
    }
    static const wchar_t kHex[] = L"0123456789abcdef";
    m_text.resize(static_cast<size_t>(length) * 2);
    for (DWORD i = 0; i < length; ++i) {
        m_text[static_cast<size_t>(i) * 2] = kHex[digest[i] >> 4];
        m_text[static_cast<size_t>(i) * 2 + 1] = kHex[digest[i] & 15];
    }
    return m_text;
}

namespace {

// Feeds the rest of the file to each stream; false on a read error, which is
// not the end of the file: no digest of part of it.
bool ReadThrough(HANDLE file, HashStream& first, HashStream* second, ULONGLONG* size) {
    unsigned char block[kFileHashBlock];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, block, kFileHashBlock, &read, nullptr)) return false;
        if (read == 0) return true;
        first.Add(block, read);
        if (second) second->Add(block, read);
        if (size) *size += read;
    }
}

}  // namespace

std::wstring Md5OfOpenFile(HANDLE file) {
    HashStream md5;
    return ReadThrough(file, md5, nullptr, nullptr) ? md5.Text() : L"-1";
}

void DigestsOfOpenFile(HANDLE file, std::wstring& md5, std::wstring& sha256, ULONGLONG& size) {
    HashStream md5Stream;
    HashStream sha256Stream(BCRYPT_SHA256_ALGORITHM);
    size = 0;
    if (!ReadThrough(file, md5Stream, &sha256Stream, &size)) {
        md5 = sha256 = L"-1";
        return;
    }
    md5 = md5Stream.Text();
    sha256 = sha256Stream.Text();
}

namespace {

struct Description {
    WrittenFileDigests::Identity identity;
    ULONGLONG size;
    FILETIME creationTime;
    FILETIME writeTime;
};

FILETIME ToFileTime(const LARGE_INTEGER& value) {
    FILETIME time;
    time.dwLowDateTime = value.LowPart;
    time.dwHighDateTime = static_cast<DWORD>(value.HighPart);
    return time;
}

// Queries that read the file's own record only: the volume record that
// GetFileInformationByHandle and the FileIdInfo query also ask for costs about
// half a millisecond per call under Wine, more than hashing a small file.
bool Describe(HANDLE file, Description& d) {
    IO_STATUS_BLOCK status = {};
    FILE_INTERNAL_INFORMATION internal = {};
    FILE_BASIC_INFO basic;
    LARGE_INTEGER size;
    if (!NT_SUCCESS(
            NtQueryInformationFile(file, &status, &internal, sizeof(internal), FileInternalInformation)) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
        !GetFileSizeEx(file, &size))
        return false;
    d.identity = static_cast<ULONGLONG>(internal.IndexNumber.QuadPart);
    d.size = static_cast<ULONGLONG>(size.QuadPart);
    d.creationTime = ToFileTime(basic.CreationTime);
    d.writeTime = ToFileTime(basic.LastWriteTime);
    return true;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

void WrittenFileDigests::Remember(HANDLE file, const std::wstring& md5) {
    Description d;
    if (!Describe(file, d)) return;
    // Some file systems (network shares among them) report no file index:
    // their files cannot be told apart, so none is remembered.
    if (d.identity == 0) return;
    try {
        m_files[d.identity] = Written{d.size, d.creationTime, d.writeTime, md5};
    } catch (...) {
        // Without the record the file is read back instead.
        m_files.erase(d.identity);
    }
}

bool WrittenFileDigests::Recall(HANDLE file, std::wstring& md5) const {
    if (m_files.empty()) return false;
    Description d;
    if (!Describe(file, d)) return false;
    auto found = m_files.find(d.identity);
    if (found == m_files.end() || found->second.size != d.size ||
        !SameTime(found->second.creationTime, d.creationTime) ||
        !SameTime(found->second.writeTime, d.writeTime))
        return false;
    md5 = found->second.md5;
    return true;
}
