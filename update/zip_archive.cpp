#include "update/zip_archive.h"

// iowin32.h needs the declarations of unzip.h (through ioapi.h) first.
#include <unzip.h>
#include <iowin32.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "support/file_digest.h"
#include "support/scoped.h"
#include "support/logger.h"
#include "support/platform.h"
#include "update/archive_names.h"

struct ZipArchive::ItemDetails {
    unsigned long flag = 0;  // general-purpose bit flag
};

namespace {

constexpr int kChunk = 8192;
constexpr DWORD kDosAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;

unzFile AsZip(void* zip) {
    return static_cast<unzFile>(zip);
}

// Hosts whose external attributes carry the MS-DOS attribute byte: MS-DOS,
// Macintosh, NTFS and VFAT.
bool IsDosLikeHost(unsigned host) {
    return host == 0 || host == 7 || host == 11 || host == 14;
}

DWORD AttributesOf(const unz_file_info64& raw) {
    unsigned host = (raw.version >> 8) & 0xFF;
    if (IsDosLikeHost(host)) return raw.external_fa & kDosAttributes;
    DWORD mode = (raw.external_fa >> 16) & 0xFFFF;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (mode & 0x4000) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(mode & 0x80)) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

FILETIME UnixTimeToFileTime(int32_t seconds) {
    ULONGLONG ticks = static_cast<ULONGLONG>(static_cast<long long>(seconds) + 11644473600LL) * 10000000ULL;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// DOS times are stored in the local time of the machine that packed them.
bool DosTimeToUtc(unsigned long dosDate, FILETIME& utc) {
    FILETIME local;
    if (!DosDateTimeToFileTime(HIWORD(dosDate), LOWORD(dosDate), &local)) return false;
    return LocalFileTimeToFileTime(&local, &utc) != FALSE;
}

uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The extended-timestamp block ("UT", 0x5455): a flags byte, then the
// modification, access and creation times its flags name, as signed 32-bit
// Unix seconds. Central-directory copies usually keep every flag but carry the
// modification time only, so a time is taken only when the block holds it.
void ApplyExtendedTimestamp(const unsigned char* extra, size_t size, ZipEntryInfo& info) {
    size_t pos = 0;
    while (pos + 4 <= size) {
        unsigned tag = extra[pos] | extra[pos + 1] << 8;
        size_t length = extra[pos + 2] | extra[pos + 3] << 8;
        pos += 4;
        if (length > size - pos) return;
        if (tag == 0x5455 && length >= 1) {
            const unsigned char* data = extra + pos;
            FILETIME* times[3] = {&info.modificationTime, &info.accessTime, &info.creationTime};
            size_t offset = 1;
            for (unsigned bit = 0; bit < 3; ++bit) {
                if (!(data[0] & (1u << bit))) continue;
                if (offset + 4 > length) break;
                *times[bit] = UnixTimeToFileTime(static_cast<int32_t>(ReadLe32(data + offset)));
                offset += 4;
            }
            return;
        }
        pos += length;
    }
}

bool DecodeItemName(const std::vector<char>& bytes, size_t length, std::wstring& name) {
    length = strnlen(bytes.data(), length);
    if (length == 0) {
        name.clear();
        return true;
    }
    const bool utf8 = IsUtf8Text(reinterpret_cast<const unsigned char*>(bytes.data()), length, false);
    std::unique_ptr<wchar_t[]> wide = utf8 ? Utf8ToWide(bytes.data(), static_cast<int>(length))
                                           : AnsiToWide(bytes.data(), static_cast<int>(length));
    if (!wide) return false;
    name = wide.get();
    return true;
}

bool IsZero(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0;
}

}  // namespace

ZipArchive::~ZipArchive() {
    Close();
}

bool ZipArchive::Open(const std::wstring& zipPath) {
    Close();
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    unzFile zip = unzOpen2_64(zipPath.c_str(), &io);
    if (!zip) {
        Logger::Instance()->Write(L"* 오류: zip 파일을 열 수 없습니다. (path:%s)", zipPath.c_str());
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    unz_global_info64 global;
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK || global.number_entry > 0x7FFFFFFF) {
        Logger::Instance()->Write(L"* 오류: zip 파일의 목록을 읽을 수 없습니다. (path:%s)", zipPath.c_str());
        unzClose(zip);
        SetLastError(ERROR_BAD_FORMAT);
        return false;
    }
    m_zip = zip;
    m_path = zipPath;
    m_count = static_cast<int>(global.number_entry);
    // A damaged directory ends the walk early; the items past it then fail
    // one by one when asked for.
    int rc = unzGoToFirstFile(zip);
    while (rc == UNZ_OK && m_positions.size() < static_cast<size_t>(m_count)) {
        unz64_file_pos position;
        if (unzGetFilePos64(zip, &position) != UNZ_OK) break;
        m_positions.push_back({position.pos_in_zip_directory, position.num_of_file});
        rc = unzGoToNextFile(zip);
    }
    return true;
}

bool ZipArchive::SetBaseFolder(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    DWORD attributes = base.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(base.c_str());
    if (base.size() >= MAX_PATH || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Logger::Instance()->Write(L"* 오류: 압축을 풀 폴더가 올바르지 않습니다. (path:%s)", folder.c_str());
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    m_base = base;
    return true;
}

bool ZipArchive::GetItem(int index, ZipEntryInfo& info) {
    if (index == -1) {
        if (!m_zip) {
            Logger::Instance()->Write(L"* 오류: 열린 zip 파일이 없습니다.");
            return false;
        }
        info = ZipEntryInfo();
        info.index = m_count;
        return true;
    }
    ItemDetails details;
    return ReadItem(index, info, details);
}

bool ZipArchive::ReadItem(int index, ZipEntryInfo& info, ItemDetails& details) {
    if (!m_zip) {
        Logger::Instance()->Write(L"* 오류: 열린 zip 파일이 없습니다.");
        return false;
    }
    if (index < 0 || index >= m_count) {
        Logger::Instance()->Write(L"* 오류: zip 항목 번호가 범위를 벗어납니다. (index:%d, count:%d)", index,
                                  m_count);
        return false;
    }
    unzFile zip = AsZip(m_zip);
    unz_file_info64 raw;
    bool ok = static_cast<size_t>(index) < m_positions.size();
    if (ok) {
        unz64_file_pos position = {m_positions[index].directoryOffset, m_positions[index].number};
        ok = unzGoToFilePos64(zip, &position) == UNZ_OK &&
             unzGetCurrentFileInfo64(zip, &raw, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK;
    }
    std::vector<char> nameBytes;
    std::vector<unsigned char> extra;
    if (ok) {
        nameBytes.assign(raw.size_filename + 1, '\0');
        extra.assign(raw.size_file_extra + 1, 0);
        ok = unzGetCurrentFileInfo64(zip, &raw, nameBytes.data(), static_cast<uLong>(nameBytes.size()),
                                     extra.data(), static_cast<uLong>(raw.size_file_extra), nullptr,
                                     0) == UNZ_OK;
    }
    ZipEntryInfo item;
    if (ok) ok = DecodeItemName(nameBytes, raw.size_filename, item.name);
    if (!ok) {
        Logger::Instance()->Write(L"* 오류: zip 항목 정보를 읽을 수 없습니다. (path:%s, index:%d)",
                                  m_path.c_str(), index);
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    item.index = index;
    item.name = StripItemName(item.name);
    item.attributes = AttributesOf(raw);
    FILETIME dosTime = {};
    DosTimeToUtc(raw.dosDate, dosTime);
    item.creationTime = item.accessTime = item.modificationTime = dosTime;
    ApplyExtendedTimestamp(extra.data(), raw.size_file_extra, item);
    item.compressedSize = raw.compressed_size;
    item.uncompressedSize = raw.uncompressed_size;
    details.flag = raw.flag;
    info = item;
    return true;
}

std::wstring ZipArchive::BaseFolder() const {
    if (!m_base.empty()) return m_base;
    wchar_t current[MAX_PATH] = {};
    DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring base = length > 0 && length < MAX_PATH ? std::wstring(current, length) : std::wstring(L".");
    if (base.back() != L'\\') base += L'\\';
    return base;
}

bool ZipArchive::UnzipItem(int index, const std::wstring& name) {
    ZipEntryInfo info;
    ItemDetails details;
    if (!ReadItem(index, info, details)) return false;
    const std::wstring base = BaseFolder();
    std::wstring target;
    if (!ComposeItemTarget(base, name, target)) return false;

    // Folder items are marked by their attributes; a name ending in a
    // separator names a folder too (there is no file part to create).
    if ((info.attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (!name.empty() && (name.back() == L'\\' || name.back() == L'/'))) {
        return CreateFolderLevels(base, name);
    }
    if (name.empty()) {
        Logger::Instance()->Write(L"* 오류: zip 항목의 이름이 비어 있습니다. (path:%s, index:%d)",
                                  m_path.c_str(), index);
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (details.flag & 1) {
        Logger::Instance()->Write(L"* 오류: 암호화된 zip 항목은 풀 수 없습니다. (name:%s)", name.c_str());
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    size_t split = name.find_last_of(L"\\/");
    if (split != std::wstring::npos && !CreateFolderLevels(base, name.substr(0, split + 1))) return false;
    return WriteFileItem(target, info);
}

bool ZipArchive::WriteFileItem(const std::wstring& target, const ZipEntryInfo& info) {
    unzFile zip = AsZip(m_zip);
    int rc = unzOpenCurrentFile(zip);
    if (rc != UNZ_OK) {
        Logger::Instance()->Write(L"* 오류: zip 항목의 데이터를 읽을 수 없습니다. (name:%s, err:%d)",
                                  info.name.c_str(), rc);
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    DWORD flags = info.attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
    if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
    ClearItemTarget(target);
    ScopedHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flags, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        unzCloseCurrentFile(zip);
        Logger::Instance()->Write(L"* 오류: 파일을 만들 수 없습니다. (path:%s, 0x%08x)", target.c_str(),
                                  error);
        SetLastError(error);
        return false;
    }

    std::vector<char> buffer(kChunk);
    std::unique_ptr<HashStream> md5;
    if (m_digests) md5.reset(new HashStream);
    ULONGLONG total = 0;
    bool ok = true;
    for (;;) {
        int got = unzReadCurrentFile(zip, buffer.data(), kChunk);
        if (got < 0) {
            Logger::Instance()->Write(L"* 오류: zip 항목의 데이터가 손상되었습니다. (name:%s, err:%d)",
                                      info.name.c_str(), got);
            SetLastError(ERROR_INVALID_DATA);
            ok = false;
            break;
        }
        if (got == 0) break;
        DWORD written = 0;
        if (!WriteFile(file.get(), buffer.data(), static_cast<DWORD>(got), &written, nullptr) ||
            written != static_cast<DWORD>(got)) {
            Logger::Instance()->Write(L"* 오류: 파일을 쓸 수 없습니다. (path:%s, 0x%08x)", target.c_str(),
                                      GetLastError());
            ok = false;
            break;
        }
        if (md5) md5->Add(buffer.data(), static_cast<size_t>(got));
        total += static_cast<ULONGLONG>(got);
    }
    // The checksum is compared only once every byte has been read; a stream
    // that ends early is caught by the byte count.
    rc = unzCloseCurrentFile(zip);
    if (ok && (rc != UNZ_OK || total != info.uncompressedSize)) {
        Logger::Instance()->Write(L"* 오류: zip 항목의 데이터가 손상되었습니다. (name:%s, err:%d)",
                                  info.name.c_str(), rc);
        SetLastError(ERROR_INVALID_DATA);
        ok = false;
    }
    if (ok && !SetFileTime(file.get(), IsZero(info.creationTime) ? nullptr : &info.creationTime,
                           IsZero(info.accessTime) ? nullptr : &info.accessTime,
                           IsZero(info.modificationTime) ? nullptr : &info.modificationTime)) {
        Logger::Instance()->Write(L"* 오류: 파일 시간을 설정할 수 없습니다. (path:%s, 0x%08x)",
                                  target.c_str(), GetLastError());
        ok = false;
    }
    // Recorded with the file's final size and times, which the check of the
    // unpacked file compares before it trusts the digest.
    if (ok && md5) m_digests->Remember(file.get(), md5->Text());
    file.reset();
    if (!ok) {
        // A half-written file would pass for the item; take it away.
        DWORD error = GetLastError();
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(target.c_str());
        SetLastError(error);
    }
    return ok;
}

void ZipArchive::Close() {
    if (m_zip) {
        unzClose(AsZip(m_zip));
        m_zip = nullptr;
    }
    m_positions.clear();
    m_count = 0;
    m_path.clear();
}
