#pragma once
// Downloads (documents into memory, files through a temporary name) and the
// small file operations of the module update.

#include <string>
#include <vector>

class WrittenFileDigests;

struct ByteBuffer {
    std::vector<unsigned char> bytes;  // may be longer than length
    int length = 0;                    // valid bytes at the start of bytes
    const unsigned char* data() const { return length > 0 ? bytes.data() : nullptr; }
};

// Five attempts, back to back; only status 200 counts. False when all failed
// (logged); the buffer is then untouched.
[[nodiscard]] bool FetchDocument(const std::wstring& url, ByteBuffer& buffer);
// Downloads into path + ".tmp~" and moves it into place. False when the file
// is not in place (logged).
[[nodiscard]] bool FetchFile(const std::wstring& url, const std::wstring& path);
// 32 lowercase hexadecimal digits, or "-1" when the file cannot be opened.
std::wstring ComputeFileMd5(const std::wstring& path);
// The same text, taken from digests when the file is one remembered there and
// unchanged since; read and hashed otherwise.
std::wstring ComputeFileMd5(const std::wstring& path, const WrittenFileDigests& digests);
// MD5 and SHA-256 from one read of the file, opened as ComputeFileMd5 opens
// it; both "-1" when it cannot be opened or read.
void ComputeFileDigests(const std::wstring& path, std::wstring& md5, std::wstring& sha256,
                        unsigned long long& size);
// "a.b.c.d" from the fixed file version, or empty.
std::wstring GetFileVersionText(const std::wstring& path);
[[nodiscard]] bool CreateDirectories(const std::wstring& path);
bool DeleteFolder(const std::wstring& path, bool recursive);
bool DeleteFileForce(const std::wstring& path);
bool IsDirectoryPath(const std::wstring& path);
bool IsFilePath(const std::wstring& path);
