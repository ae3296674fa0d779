#pragma once
// Digests of data as it passes by and of whole files, and the digests of
// files remembered as they were written, so that a file just written need not
// be read back to be checked.

#include <windows.h>

#include <map>
#include <string>

#include "support/scoped.h"

// A platform hash (MD5 by default, RFC 1321) over the bytes handed to Add, in
// order. Text() gives the digest as lowercase hexadecimal digits, two per
// byte in digest order, or "-1" when the platform's hash failed.
class HashStream {
public:
    explicit HashStream(LPCWSTR algorithm = BCRYPT_MD5_ALGORITHM);
    HashStream(const HashStream&) = delete;
    HashStream& operator=(const HashStream&) = delete;

    void Add(const void* data, size_t size);
    // Ends the stream; later calls give the same text.
    std::wstring Text();

private:
    ScopedBCryptAlgorithm m_algorithm;
    ScopedBCryptHash m_hash;
    bool m_failed = false;
    bool m_done = false;
    std::wstring m_text;
};

// Block size for reading whole files through a hash: large enough that the
// calls stop mattering, small enough to live on the stack (a fresh heap block
// per file measured slower than the reads it saves).
constexpr DWORD kFileHashBlock = 64 * 1024;

// The MD5 text of what remains of an open file from its current position,
// read in blocks of kFileHashBlock; "-1" on a read error.
std::wstring Md5OfOpenFile(HANDLE file);

// MD5 and SHA-256 of what remains of an open file from one read, so that a
// build checking both pays for the read once; size receives the bytes read.
// Both texts are "-1" on a read error.
void DigestsOfOpenFile(HANDLE file, std::wstring& md5, std::wstring& sha256, ULONGLONG& size);

// Digests of files as they were written, recalled later through an open
// handle to the same file. A file is recognised by its file index together
// with its size and times as they were when it was recorded, so that a file
// replaced or changed since is never taken for the one that was hashed; such
// a file simply has no digest here. The index is unique on one volume: the
// files remembered in one set are those unpacked into one folder tree.
class WrittenFileDigests {
public:
    // file: open, its content written completely and its times set.
    void Remember(HANDLE file, const std::wstring& md5);
    // True, with md5 set, when file is a remembered file unchanged since.
    [[nodiscard]] bool Recall(HANDLE file, std::wstring& md5) const;
    void Clear() { m_files.clear(); }
    bool empty() const { return m_files.empty(); }

    using Identity = ULONGLONG;  // the file index

private:
    struct Written {
        ULONGLONG size;
        FILETIME creationTime;
        FILETIME writeTime;
        std::wstring md5;
    };
    std::map<Identity, Written> m_files;
};
