#include "tools/publish/archive_writer.h"

#include <windows.h>

#include <fci.h>
#include <fcntl.h>

// iowin32.h needs the declarations of zip.h (through ioapi.h) first.
#include <zip.h>
#include <iowin32.h>

#include <cstdlib>
#include <cstring>

#include "support/scoped.h"
#include "support/logger.h"
#include "support/platform.h"

namespace {

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    std::unique_ptr<char[]> bytes = WideToUtf8(text.c_str(), -1);
    return bytes ? std::string(bytes.get()) : std::string();
}

std::wstring FromUtf8(const char* text) {
    if (!text || !*text) return std::wstring();
    std::unique_ptr<wchar_t[]> wide = Utf8ToWide(text, -1);
    return wide ? std::wstring(wide.get()) : std::wstring();
}

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// DOS date and time of a file's last write, in local time as both formats
// expect; 1980-01-01 00:00 when the time cannot be expressed.
void DosTimeOf(const FILETIME& utc, WORD& date, WORD& time) {
    FILETIME local;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) {
        date = 0x21;
        time = 0;
    }
}

// ---- cabinets -------------------------------------------------------------
// The cabinet library hands every path back to our callbacks as narrow text;
// they travel as UTF-8 so that any wide path survives the round trip.

struct FciContext {
    bool nameIsUtf = false;  // the item being added has a non-ASCII stored name
    unsigned tempCounter = 0;
    // A cabinet set names its next cabinets folder + stem + number +
    // extension and lists them here; null for a single cabinet.
    std::vector<std::wstring>* setPaths = nullptr;
    std::wstring folder;
    std::wstring stem;
    std::wstring extension;
};

FNFCIALLOC(FciAlloc) {
    return std::malloc(cb);
}

FNFCIFREE(FciFree) {
    std::free(memory);
}

FNFCIOPEN(FciOpen) {
    (void)pmode;
    (void)pv;
    DWORD access = GENERIC_READ;
    switch (oflag & (_O_RDONLY | _O_WRONLY | _O_RDWR)) {
        case _O_WRONLY:
            access = GENERIC_WRITE;
            break;
        case _O_RDWR:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
        default:
            break;
    }
    DWORD creation = OPEN_EXISTING;
    if (oflag & _O_CREAT) {
        if (oflag & _O_EXCL) {
            creation = CREATE_NEW;
        } else if (oflag & _O_TRUNC) {
            creation = CREATE_ALWAYS;
        } else {
            creation = OPEN_ALWAYS;
        }
    } else if (oflag & _O_TRUNC) {
        creation = TRUNCATE_EXISTING;
    }
    HANDLE file = CreateFileW(FromUtf8(pszFile).c_str(), access, FILE_SHARE_READ, nullptr, creation,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *err = static_cast<int>(GetLastError());
        return -1;
    }
    return reinterpret_cast<INT_PTR>(file);
}

FNFCIREAD(FciRead) {
    (void)pv;
    DWORD done = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(hf), memory, cb, &done, nullptr)) {
        *err = static_cast<int>(GetLastError());
        return static_cast<UINT>(-1);
    }
    return done;
}

FNFCIWRITE(FciWrite) {
    (void)pv;
    DWORD done = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(hf), memory, cb, &done, nullptr) || done != cb) {
        *err = static_cast<int>(GetLastError());
        return static_cast<UINT>(-1);
    }
    return done;
}

FNFCICLOSE(FciClose) {
    (void)pv;
    if (!CloseHandle(reinterpret_cast<HANDLE>(hf))) {
        *err = static_cast<int>(GetLastError());
        return -1;
    }
    return 0;
}

FNFCISEEK(FciSeek) {
    (void)pv;
    DWORD method = seektype == SEEK_CUR ? FILE_CURRENT : seektype == SEEK_END ? FILE_END : FILE_BEGIN;
    DWORD position = SetFilePointer(reinterpret_cast<HANDLE>(hf), dist, nullptr, method);
    if (position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        *err = static_cast<int>(GetLastError());
        return -1;
    }
    return static_cast<__LONG32>(position);
}

FNFCIDELETE(FciDelete) {
    (void)pv;
    if (!DeleteFileW(FromUtf8(pszFile).c_str())) {
        *err = static_cast<int>(GetLastError());
        return -1;
    }
    return 0;
}

FNFCIGETTEMPFILE(FciGetTempFile) {
    auto* context = static_cast<FciContext*>(pv);
    wchar_t folder[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return FALSE;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[64];
        _snwprintf(name, 63, L"orvfci-%lu-%u-%lu.tmp", GetCurrentProcessId(), context->tempCounter++,
                   GetTickCount());
        name[63] = L'\0';
        std::wstring candidate = std::wstring(folder) + name;
        if (GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        std::string bytes = ToUtf8(candidate);
        if (bytes.empty() || cbTempName < 0 || bytes.size() + 1 > static_cast<size_t>(cbTempName))
            return FALSE;
        std::memcpy(pszTempName, bytes.c_str(), bytes.size() + 1);
        return TRUE;
    }
    return FALSE;
}

FNFCIGETOPENINFO(FciGetOpenInfo) {
    auto* context = static_cast<FciContext*>(pv);
    HANDLE file = CreateFileW(FromUtf8(pszName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *err = static_cast<int>(GetLastError());
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        *err = static_cast<int>(GetLastError());
        CloseHandle(file);
        return -1;
    }
    WORD date = 0;
    WORD time = 0;
    DosTimeOf(info.ftLastWriteTime, date, time);
    *pdate = date;
    *ptime = time;
    *pattribs = static_cast<USHORT>(info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    if (context->nameIsUtf) *pattribs |= _A_NAME_IS_UTF;
    return reinterpret_cast<INT_PTR>(file);
}

FNFCIFILEPLACED(FciFilePlaced) {
    (void)pccab;
    (void)pszFile;
    (void)cbFile;
    (void)fContinuation;
    (void)pv;
    return 0;
}

FNFCIGETNEXTCABINET(FciGetNextCabinet) {
    (void)cbPrevCab;
    auto* context = static_cast<FciContext*>(pv);
    // A single cabinet has limits it never reaches; only a set goes on.
    if (!context->setPaths) return FALSE;
    std::wstring file = context->stem + std::to_wstring(pccab->iCab) + context->extension;
    std::string bytes = ToUtf8(file);
    if (bytes.size() + 1 > sizeof(pccab->szCab)) return FALSE;
    std::memcpy(pccab->szCab, bytes.c_str(), bytes.size() + 1);
    context->setPaths->push_back(context->folder + file);
    return TRUE;
}

FNFCISTATUS(FciStatus) {
    (void)cb1;
    (void)pv;
    // For a finished cabinet the answer is the size it may take: its own.
    return typeStatus == statusCabinet ? static_cast<__LONG32>(cb2) : 0;
}

class FciOwner {
public:
    explicit FciOwner(HFCI handle) : m_handle(handle) {}
    ~FciOwner() {
        if (m_handle) FCIDestroy(m_handle);
    }
    FciOwner(const FciOwner&) = delete;
    FciOwner& operator=(const FciOwner&) = delete;
    HFCI get() const { return m_handle; }

private:
    HFCI m_handle;
};

bool CopyField(char* field, size_t size, const std::string& text) {
    if (text.size() + 1 > size) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

bool BuildCabinet(const std::wstring& cabPath, const std::vector<ArchiveItem>& items,
                  unsigned long cabinetSize, std::vector<std::wstring>* setPaths) {
    CCAB ccab = {};
    ccab.cb = cabinetSize ? cabinetSize : 0x7FFFFFFF;
    ccab.cbFolderThresh = 0x7FFFFFFF;
    ccab.iCab = 1;
    ccab.setID = 1;
    size_t slash = cabPath.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : cabPath.substr(0, slash + 1);
    std::wstring file = slash == std::wstring::npos ? cabPath : cabPath.substr(slash + 1);
    if (file.empty() || !CopyField(ccab.szCabPath, sizeof(ccab.szCabPath), ToUtf8(folder)) ||
        !CopyField(ccab.szCab, sizeof(ccab.szCab), ToUtf8(file))) {
        Logger::Instance()->Write(L"* 오류: 캐비닛 파일 경로가 올바르지 않습니다. (path:%s)",
                                  cabPath.c_str());
        return false;
    }

    FciContext context;
    context.setPaths = setPaths;
    context.folder = folder;
    size_t dot = file.find_last_of(L'.');
    context.stem = dot == std::wstring::npos ? file : file.substr(0, dot);
    context.extension = dot == std::wstring::npos ? std::wstring() : file.substr(dot);
    ERF erf = {};
    FciOwner fci(FCICreate(&erf, FciFilePlaced, FciAlloc, FciFree, FciOpen, FciRead, FciWrite, FciClose,
                           FciSeek, FciDelete, FciGetTempFile, &ccab, &context));
    if (!fci.get()) {
        Logger::Instance()->Write(L"* 오류: 캐비닛 작성을 시작할 수 없습니다. (path:%s, oper:%d, err:%d)",
                                  cabPath.c_str(), erf.erfOper, erf.erfType);
        return false;
    }
    for (const ArchiveItem& item : items) {
        std::string source = ToUtf8(item.source);
        std::string name = ToUtf8(item.name);
        std::vector<char> sourceBytes(source.begin(), source.end());
        sourceBytes.push_back('\0');
        std::vector<char> nameBytes(name.begin(), name.end());
        nameBytes.push_back('\0');
        context.nameIsUtf = !IsAscii(item.name);
        if (!FCIAddFile(fci.get(), sourceBytes.data(), nameBytes.data(), FALSE, FciGetNextCabinet, FciStatus,
                        FciGetOpenInfo, tcompTYPE_MSZIP)) {
            Logger::Instance()->Write(
                L"* 오류: 캐비닛에 파일을 넣을 수 없습니다. (src:%s, name:%s, oper:%d, err:%d)",
                item.source.c_str(), item.name.c_str(), erf.erfOper, erf.erfType);
            return false;
        }
    }
    if (!FCIFlushCabinet(fci.get(), FALSE, FciGetNextCabinet, FciStatus)) {
        Logger::Instance()->Write(L"* 오류: 캐비닛 파일을 쓸 수 없습니다. (path:%s, oper:%d, err:%d)",
                                  cabPath.c_str(), erf.erfOper, erf.erfType);
        return false;
    }
    return true;
}

// ---- zip files --------------------------------------------------------------

bool AddZipItem(zipFile zip, const ArchiveItem& item) {
    ScopedHandle file(CreateFileW(item.source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.get(), &info)) {
        Logger::Instance()->Write(L"* 오류: 압축할 파일을 열 수 없습니다. (src:%s, 0x%08x)",
                                  item.source.c_str(), GetLastError());
        return false;
    }
    zip_fileinfo zi = {};
    WORD date = 0;
    WORD time = 0;
    DosTimeOf(info.ftLastWriteTime, date, time);
    zi.dosDate = (static_cast<uLong>(date) << 16) | time;
    // MS-DOS attribute byte: read-only, hidden, system, directory, archive.
    zi.external_fa = info.dwFileAttributes & 0x37;

    std::string name = ToUtf8(item.name);
    const uLong utf8Flag = IsAscii(item.name) ? 0 : 0x800;
    const ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const int zip64 = size >= 0xFFFFFFFFull ? 1 : 0;
    // Version made by 2.0 on MS-DOS (host byte 0), so readers take the
    // attribute byte above as DOS attributes.
    if (zipOpenNewFileInZip4_64(zip, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 20,
                                utf8Flag, zip64) != ZIP_OK) {
        Logger::Instance()->Write(L"* 오류: zip 항목을 만들 수 없습니다. (name:%s)", item.name.c_str());
        return false;
    }
    std::vector<unsigned char> buffer(65536);
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            Logger::Instance()->Write(L"* 오류: 압축할 파일을 읽을 수 없습니다. (src:%s, 0x%08x)",
                                      item.source.c_str(), GetLastError());
            ok = false;
            break;
        }
        if (read == 0) break;
        if (zipWriteInFileInZip(zip, buffer.data(), read) != ZIP_OK) {
            Logger::Instance()->Write(L"* 오류: zip 항목을 쓸 수 없습니다. (name:%s)", item.name.c_str());
            ok = false;
            break;
        }
    }
    if (zipCloseFileInZip(zip) != ZIP_OK && ok) {
        Logger::Instance()->Write(L"* 오류: zip 항목을 마무리할 수 없습니다. (name:%s)", item.name.c_str());
        ok = false;
    }
    return ok;
}

}  // namespace

bool WriteCabinet(const std::wstring& cabPath, const std::vector<ArchiveItem>& items) {
    if (BuildCabinet(cabPath, items, 0, nullptr)) return true;
    DeleteFileW(cabPath.c_str());
    return false;
}

bool WriteCabinetSet(const std::wstring& firstPath, const std::vector<ArchiveItem>& items,
                     unsigned long cabinetSize, std::vector<std::wstring>& paths) {
    std::vector<std::wstring> written = {firstPath};
    if (BuildCabinet(firstPath, items, cabinetSize, &written)) {
        paths = written;
        return true;
    }
    for (const std::wstring& path : written) DeleteFileW(path.c_str());
    return false;
}

bool WriteZip(const std::wstring& zipPath, const std::vector<ArchiveItem>& items) {
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    zipFile zip = zipOpen2_64(zipPath.c_str(), APPEND_STATUS_CREATE, nullptr, &io);
    if (!zip) {
        Logger::Instance()->Write(L"* 오류: zip 파일을 만들 수 없습니다. (path:%s, 0x%08x)", zipPath.c_str(),
                                  GetLastError());
        return false;
    }
    bool ok = true;
    for (const ArchiveItem& item : items) {
        if (!AddZipItem(zip, item)) {
            ok = false;
            break;
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK && ok) {
        Logger::Instance()->Write(L"* 오류: zip 파일을 마무리할 수 없습니다. (path:%s)", zipPath.c_str());
        ok = false;
    }
    if (!ok) DeleteFileW(zipPath.c_str());
    return ok;
}
