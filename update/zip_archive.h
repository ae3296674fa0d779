#pragma once
// The zip reading layer: item information and item extraction over minizip
// (central directory, item data) and zlib (inflating).

#include <windows.h>

#include <string>
#include <vector>

class WrittenFileDigests;

struct ZipEntryInfo {
    int index = -1;     // the item's position; for index -1, the number of items
    std::wstring name;  // sanitised relative name ("/" separators kept)
    DWORD attributes = 0;
    FILETIME creationTime = {};
    FILETIME accessTime = {};
    FILETIME modificationTime = {};
    ULONGLONG compressedSize = 0;
    ULONGLONG uncompressedSize = 0;
};

class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Fails when the file is not a readable zip archive (logged).
    [[nodiscard]] bool Open(const std::wstring& zipPath);
    // Relative item names are resolved against this folder ("\" added when it
    // ends in neither "\" nor "/"); until set, the current directory. Fails
    // for a missing folder or one too long to hold an item below it.
    [[nodiscard]] bool SetBaseFolder(const std::wstring& folder);
    // Index -1 gives the number of items in info.index; 0 to count-1 that
    // item. Fails for an index out of range or an unreadable entry (logged).
    [[nodiscard]] bool GetItem(int index, ZipEntryInfo& info);
    // Writes the item to base folder + name: a folder item creates the folder,
    // a file item replaces the file. Fails when the target is outside the base
    // folder or cannot be written, or the data is damaged or encrypted
    // (logged); a file left half-written by the failure is removed.
    [[nodiscard]] bool UnzipItem(int index, const std::wstring& name);
    void Close();
    // While set, every file item written is hashed as it is written and its
    // digest remembered there (the caller keeps digests alive meanwhile).
    void SetWrittenDigests(WrittenFileDigests* digests) { m_digests = digests; }

private:
    struct ItemDetails;
    bool ReadItem(int index, ZipEntryInfo& info, ItemDetails& details);
    bool WriteFileItem(const std::wstring& target, const ZipEntryInfo& info);
    std::wstring BaseFolder() const;

    void* m_zip = nullptr;  // minizip's unzFile
    std::wstring m_path;
    std::wstring m_base;
    int m_count = 0;
    // Where each readable central-directory entry starts, so that any item is
    // reached directly rather than by walking from the first.
    struct EntryPosition {
        unsigned long long directoryOffset;
        unsigned long long number;
    };
    std::vector<EntryPosition> m_positions;
    WrittenFileDigests* m_digests = nullptr;
};
