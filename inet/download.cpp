#include "inet/download.h"

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/file_find.h"
#include "inet/rest/rest.h"
#include "support/contained_path.h"
#include "support/file_digest.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/scoped.h"

namespace {

constexpr int kAttempts = 5;

bool Exists(const std::wstring& path) {
    return _waccess(path.c_str(), 0) == 0;
}

std::wstring ErrorText(const inet::rest::_response* response) {
    if (!response || !response->error[0]) return std::wstring();
    std::unique_ptr<wchar_t[]> wide =
        AnsiToWide(response->error, static_cast<int>(strnlen(response->error, 256)));
    return wide ? std::wstring(wide.get()) : std::wstring();
}

}  // namespace

bool FetchDocument(const std::wstring& url, ByteBuffer& buffer) {
    inet::rest::_request request;
    std::shared_ptr<inet::rest::_response> response;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        response = inet::rest::get(url, request, -1, -1);
        if (response && response->status == 200) break;
    }
    if (!response || response->status != 200) {
        DWORD error = GetLastError();
        Logger::Instance()->Write(L"*오류 : 다운로드 하지 못했습니다. (url:%s, status:%d, err:0x%08x)",
                                  url.c_str(), response ? response->status : -1, error);
        Logger::Instance()->Write(L"     %s", ErrorText(response.get()).c_str());
        return false;
    }
    // ByteBuffer counts in a signed 32-bit length: a body it cannot describe
    // is refused rather than cut.
    if (response->body_size > static_cast<uint32_t>(INT_MAX)) {
        Logger::Instance()->Write(L"*오류 : 다운로드 하지 못했습니다. (url:%s, status:%d, err:0x%08x)",
                                  url.c_str(), response->status, ERROR_NOT_ENOUGH_MEMORY);
        Logger::Instance()->Write(L"     %s", L"document too large");
        return false;
    }
    try {
        if (buffer.bytes.size() < response->body_size) buffer.bytes.resize(response->body_size);
    } catch (...) {
        Logger::Instance()->Write(L"*오류 : 다운로드 하지 못했습니다. (url:%s, status:%d, err:0x%08x)",
                                  url.c_str(), response->status, ERROR_NOT_ENOUGH_MEMORY);
        Logger::Instance()->Write(L"     %s", L"out of memory");
        return false;
    }
    buffer.length = 0;
    if (response->body_size > 0) std::memcpy(buffer.bytes.data(), response->body.data(), response->body_size);
    buffer.length = static_cast<int>(response->body_size);
    return true;
}

bool FetchFile(const std::wstring& url, const std::wstring& path) {
    std::wstring temporary = path + L".tmp~";
    // A link left in the temporary file's place would take the download
    // somewhere else; it goes, as a link.
    if (IsLinkPath(temporary)) (void)RemoveLink(temporary, GetPathAttributes(temporary));
    inet::rest::_request request;
    std::shared_ptr<inet::rest::_response> response;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        response = inet::rest::get_file(url, request, temporary, -1, 1);
        if (response && response->status == 200) break;
    }
    if (!response || response->status != 200) {
        DWORD error = GetLastError();
        Logger::Instance()->Write(L"*오류 : 파일을 다운로드 하지 못했습니다. (url:%s, status:%d, err:0x%08x)",
                                  url.c_str(), response ? response->status : -1, error);
        Logger::Instance()->Write(L"     %s", ErrorText(response.get()).c_str());
        if (Exists(temporary)) DeleteFileW(temporary.c_str());
        return false;
    }
    if (Exists(path) && !DeleteFileW(path.c_str())) {
        DWORD error = GetLastError();
        Logger::Instance()->Write(L"*경고 : 파일을 삭제하는데 실패했습니다. (url:%s, err:0x%08x)",
                                  url.c_str(), error);
    }
    if (MoveFileW(temporary.c_str(), path.c_str())) return true;
    if (CopyFileW(temporary.c_str(), path.c_str(), FALSE)) return true;
    DWORD error = GetLastError();
    Logger::Instance()->Write(
        L"*오류 : 다운로드받은 파일명을 변경 하지 못했습니다. (src:%s, dest:%s, err:0x%08x)",
        temporary.c_str(), path.c_str(), error);
    if (Exists(temporary)) DeleteFileForce(temporary);
    // The old file could not be replaced; it is not left behind as if it were
    // the new one.
    if (Exists(path)) DeleteFileForce(path);
    return false;
}

namespace {

// Opened as the runtime library's fopen(path, "rb") opens a file, so that the
// same files open and the same are refused, without its stream layer; read in
// large blocks (the block size does not change the digest).
ScopedHandle OpenToHash(const std::wstring& path) {
    return ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring FileMd5(const std::wstring& path, const WrittenFileDigests* digests) {
    ScopedHandle file = OpenToHash(path);
    if (!file) return L"-1";
    std::wstring known;
    if (digests && digests->Recall(file.get(), known)) return known;
    return Md5OfOpenFile(file.get());
}

}  // namespace

std::wstring ComputeFileMd5(const std::wstring& path) {
    return FileMd5(path, nullptr);
}

std::wstring ComputeFileMd5(const std::wstring& path, const WrittenFileDigests& digests) {
    return FileMd5(path, &digests);
}

void ComputeFileDigests(const std::wstring& path, std::wstring& md5, std::wstring& sha256,
                        unsigned long long& size) {
    ScopedHandle file = OpenToHash(path);
    if (!file) {
        md5 = sha256 = L"-1";
        size = 0;
        return;
    }
    DigestsOfOpenFile(file.get(), md5, sha256, size);
}

std::wstring GetFileVersionText(const std::wstring& path) {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return std::wstring();
    // At least 4096 bytes, and the whole block when it is larger: a cut block
    // would let VerQueryValueW follow lengths past the buffer's end.
    std::vector<unsigned char> block(std::max<DWORD>(size, 4096), 0);
    if (!GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()))
        return std::wstring();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::wstring();
    wchar_t text[64];
    _snwprintf(text, 63, L"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
               HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    text[63] = 0;
    return text;
}

bool CreateDirectories(const std::wstring& input) {
    std::wstring path = input;
    bool network = false;
    if (!path.empty()) {
        if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\') {
            size_t slash = path.find(L'\\', 2);
            if (slash != std::wstring::npos && slash > 2) {
                network = !IsDirectoryPath(path.substr(0, slash));
            } else {
                network = !IsDirectoryPath(path);
            }
        }
        std::wstring collapsed;
        collapsed.reserve(path.size());
        for (size_t i = 0; i < path.size(); ++i) {
            collapsed += path[i];
            if (path[i] == L'\\' && i + 1 < path.size() && path[i + 1] == L'\\') ++i;
        }
        path = collapsed;
        if (network) path.insert(path.begin(), L'\\');
        if (path.back() != L'\\') path += L'\\';
    }

    if (CreateDirectoryW(path.c_str(), nullptr)) return true;
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        size_t start = network ? 0 : 1;
        size_t first = path.find(L'\\');
        if (first != std::wstring::npos && first >= start) {
            size_t last = path.find_last_of(L'\\');
            for (size_t at = first; at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
                BOOL made = CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
                if (at == last) {
                    if (made) return true;
                    error = GetLastError();
                }
            }
        }
    }
    if (error == ERROR_ALREADY_EXISTS) return true;
    Logger::Instance()->Write(L"폴더를 생성하지 못했습니다.[win32err:%d][%s]\r\n", static_cast<int>(error),
                              path.c_str());
    SetLastError(error);
    return false;
}

bool DeleteFolder(const std::wstring& input, bool recursive) {
    if (!IsDirectoryPath(input)) return false;
    // A junction or a directory link is removed as a link: entering it would
    // delete the files of whatever folder it points to.
    if (IsLinkPath(input)) {
        std::wstring link = input;
        while (link.size() > 1 && link.back() == L'\\') link.pop_back();
        return RemoveLink(link, FILE_ATTRIBUTE_DIRECTORY);
    }
    std::wstring path = input;
    if (path.back() != L'\\') path += L'\\';
    {
        CFileFind finder;
        BOOL more = finder.FindFile(path + L"*.*");
        while (more) {
            more = finder.FindNextFile();
            if (finder.IsDots()) continue;
            const DWORD attributes = GetEntryAttributes(finder.GetFilePath(), finder.GetAttributes());
            if (IsLinkAttributes(attributes)) {
                if (!RemoveLink(finder.GetFilePath(), attributes)) return false;
            } else if (finder.IsDirectory()) {
                if (recursive && !DeleteFolder(finder.GetFilePath(), recursive)) return false;
            } else if (!DeleteFileForce(finder.GetFilePath())) {
                return false;
            }
        }
    }
    if (!RemoveDirectoryW(path.c_str())) Logger::Instance()->Write(L"delete fail: %s\n", path.c_str());
    return true;
}

bool DeleteFileForce(const std::wstring& path) {
    if (path.empty() || !IsFilePath(path)) return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    return DeleteFileW(path.c_str()) != FALSE;
}

bool IsDirectoryPath(const std::wstring& path) {
    if (!Exists(path)) return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFilePath(const std::wstring& path) {
    if (!Exists(path)) return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
