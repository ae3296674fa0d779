#pragma once
// The publisher's list of the install folder's files, the document that
// "activeupdate.sig" carries signed: a serial number, an expiry time and each
// file's SHA-256, size and name. UTF-8, every line ended by LF alone:
//
//   orvin-file-list 1
//   serial 1765400000
//   expires 2027-12-10T14:00:00Z
//   <64 lower-case hex digits> <size in bytes> <name>
//   ...
//
// The format is strict so that one document has one reading: no blank lines,
// no leading zeros, no repeated names (compared without regard to case, as the
// file system compares them), every name one the install folder may hold.

#include <cstdint>
#include <string>
#include <vector>

struct SignedFile {
    std::wstring name;    // relative to the install folder, "\" between folders
    std::wstring sha256;  // 64 lower-case hex digits
    std::uint64_t size = 0;
};

struct SignedFileList {
    std::uint64_t serial = 0;
    std::int64_t expires = 0;  // seconds since 1970-01-01T00:00:00Z
    std::vector<SignedFile> files;

    // The entry whose name equals name without regard to case ("/" taken as
    // "\"), or null.
    const SignedFile* Find(const std::wstring& name) const;
};

// Reads a document; false for anything that is not exactly the format above.
// list is left untouched on failure.
[[nodiscard]] bool ParseSignedFileList(const char* text, size_t size, SignedFileList& list);

// The document for list (names as given, which must be valid ones).
std::string FormatSignedFileList(const SignedFileList& list);

// A serial as the list writes it: decimal, no sign, no leading zeros.
[[nodiscard]] bool ParseSerial(const std::string& text, std::uint64_t& serial);

// "YYYY-MM-DDTHH:MM:SSZ" for seconds since 1970, and back (false for text
// that is not exactly such a time).
std::string FormatUtcTime(std::int64_t seconds);
[[nodiscard]] bool ParseUtcTime(const std::string& text, std::int64_t& seconds);
