#pragma once
// MD5 of data as it passes by, and of whole files read in large blocks.

#include <windows.h>

#include <string>

// MD5 (RFC 1321) over the bytes handed to Add, in order. Text() gives 32
// lowercase hexadecimal digits, or "-1" when the platform's hash failed.
class Md5Stream {
public:
    Md5Stream();
    ~Md5Stream();
    Md5Stream(const Md5Stream&) = delete;
    Md5Stream& operator=(const Md5Stream&) = delete;

    void Add(const void* data, size_t size);
    // Ends the stream; later calls give the same text.
    std::wstring Text();

private:
    void* m_algorithm = nullptr;  // BCRYPT_ALG_HANDLE
    void* m_hash = nullptr;       // BCRYPT_HASH_HANDLE
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
