#include "update/archive_extract.h"

#include <setupapi.h>
#include <shlobj.h>

#include <io.h>

#include <cwchar>

#include "support/contained_path.h"
#include "support/logger.h"
#include "update/archive_names.h"
#include "update/zip_archive.h"

namespace {

bool CopyText(wchar_t (&field)[MAX_PATH], const std::wstring& text) {
    if (text.size() >= MAX_PATH) return false;
    std::wmemset(field, L'\0', MAX_PATH);
    std::wmemcpy(field, text.data(), text.size());
    return true;
}

std::wstring WithSeparator(const std::wstring& folder) {
    if (!folder.empty() && folder.back() == L'\\') return folder;
    return folder + L'\\';
}

bool EndsWithSeparator(const std::wstring& name) {
    return !name.empty() && (name.back() == L'\\' || name.back() == L'/');
}

// Answers one file: skip it, or write it to the target path set in the
// record. A refusal is kept in the context as its error code.
UINT ChooseCabinetTarget(CabinetExtractContext& context, FILE_IN_CABINET_INFO_W& info) {
    if (context.failure != NO_ERROR) return FILEOP_SKIP;
    std::wstring inCabinet = info.NameInCabinet ? info.NameInCabinet : L"";
    std::wstring name;
    if (context.fileName[0]) {
        if (lstrcmpiW(inCabinet.c_str(), context.fileName) != 0) return FILEOP_SKIP;
        name = context.newName;
    } else {
        name = StripItemName(inCabinet);
    }
    // Cabinets hold files only: a name without a file part has nothing to
    // write, and a name leaving the destination is never written.
    std::wstring target;
    if (name.empty() || EndsWithSeparator(name)) {
        Logger::Instance()->Write(L"* 오류: 캐비닛 항목의 이름이 올바르지 않습니다. (name:%s)",
                                  inCabinet.c_str());
        context.failure = ERROR_INVALID_NAME;
        return FILEOP_SKIP;
    }
    if (!ComposeItemTarget(context.destination, name, target)) {
        context.failure =
            GetLastError() != NO_ERROR ? GetLastError() : static_cast<DWORD>(ERROR_INVALID_NAME);
        return FILEOP_SKIP;
    }
    // The setup library in Wine writes over an existing file without
    // truncating it, leaving the old file's tail behind a shorter new one;
    // removing the old file first gives the replacement Windows makes.
    ClearItemTarget(target);
    std::wmemcpy(info.FullTargetName, target.c_str(), target.size() + 1);
    std::wmemcpy(context.pendingTarget, target.c_str(), target.size() + 1);
    return FILEOP_DOIT;
}

// The next cabinet of a set: the setup library looks for it beside the
// current one when answered NO_ERROR, but asks again and again, without end,
// when it is not there. A missing continuation fails the extraction.
UINT AnswerContinuation(CabinetExtractContext& context, const CABINET_INFO_W* cabinet) {
    constexpr UINT kMaxContinuations = 64;
    std::wstring folder = cabinet && cabinet->CabinetPath ? cabinet->CabinetPath : L"";
    std::wstring file = cabinet && cabinet->CabinetFile ? cabinet->CabinetFile : L"";
    // The name comes from the cabinet: it must not lead the setup library to
    // read some other local file as the continuation.
    if (!file.empty() && !IsContainedName(file)) {
        Logger::Instance()->Write(L"* 오류: 이어지는 캐비닛 파일의 이름이 올바르지 않습니다. (name:%s)",
                                  file.c_str());
        if (context.failure == NO_ERROR) context.failure = ERROR_INVALID_NAME;
        return ERROR_INVALID_NAME;
    }
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    const std::wstring path = folder + file;
    DWORD attributes = file.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(path.c_str());
    if (++context.continuationRequests > kMaxContinuations || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Logger::Instance()->Write(L"* 오류: 이어지는 캐비닛 파일을 찾을 수 없습니다. (path:%s)",
                                  path.c_str());
        if (context.failure == NO_ERROR) context.failure = ERROR_FILE_NOT_FOUND;
        return ERROR_FILE_NOT_FOUND;
    }
    return NO_ERROR;
}

}  // namespace

UINT CALLBACK CabinetFileCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) noexcept {
    try {
        auto* extract = static_cast<CabinetExtractContext*>(context);
        if (notification == SPFILENOTIFY_FILEEXTRACTED) {
            // After a refused continuation Wine still reports the file it was
            // writing as extracted, cut short; it stays pending for removal.
            if (extract && extract->failure == NO_ERROR) extract->pendingTarget[0] = L'\0';
            // The setup library goes on after a file it could not write; the
            // file is simply missing afterwards, which the installer's check
            // of every unpacked file finds.
            return NO_ERROR;
        }
        if (notification == SPFILENOTIFY_NEEDNEWCABINET && extract) {
            return AnswerContinuation(*extract, reinterpret_cast<const CABINET_INFO_W*>(param1));
        }
        if (notification != SPFILENOTIFY_FILEINCABINET) return NO_ERROR;

        auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1);
        if (!extract) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FILEOP_ABORT;
        }
        if (!info) {
            if (extract->failure == NO_ERROR) extract->failure = ERROR_INVALID_PARAMETER;
            return FILEOP_SKIP;
        }
        if (info->Win32Error != NO_ERROR) {
            std::wstring target(info->FullTargetName, wcsnlen(info->FullTargetName, MAX_PATH));
            Logger::Instance()->Write(L"error : Decompress is failed(%s)\r\n", target.c_str());
            // Only abort, do and skip answer this notification: an error code
            // given back could read as "do" (1) or "skip" (2). The error is
            // kept and reported when the iteration ends.
            if (extract->failure == NO_ERROR) extract->failure = info->Win32Error;
            return FILEOP_SKIP;
        }
        return ChooseCabinetTarget(*extract, *info);
    } catch (...) {
        auto* extract = static_cast<CabinetExtractContext*>(context);
        if (extract && extract->failure == NO_ERROR) extract->failure = ERROR_NOT_ENOUGH_MEMORY;
        return FILEOP_SKIP;
    }
}

bool ExtractCabinet(const std::wstring& cabinet, const std::wstring& destination,
                    const std::wstring& fileName, const std::wstring& newName) {
    const std::wstring folder = WithSeparator(destination);
    const std::wstring targetName = newName.empty() ? fileName : newName;
    CabinetExtractContext context = {};
    if (destination.empty() || !CopyText(context.fileName, fileName) ||
        !CopyText(context.newName, targetName) || !CopyText(context.destination, folder)) {
        Logger::Instance()->Write(L"* 오류: 캐비닛을 풀 경로가 올바르지 않습니다. (dest:%s, name:%s)",
                                  destination.c_str(), targetName.c_str());
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    BOOL iterated = SetupIterateCabinetW(cabinet.c_str(), 0, CabinetFileCallback, &context);
    if (!iterated || context.failure != NO_ERROR) {
        DWORD error = context.failure != NO_ERROR ? context.failure : GetLastError();
        // A file cut off by the failure would pass for a whole one. The
        // caller writes the record, with the error kept here.
        if (context.pendingTarget[0]) DeleteFileW(context.pendingTarget);
        SetLastError(error);
        return false;
    }
    return true;
}

bool ExtractZip(const std::wstring& zipPath, const std::wstring& destination, const std::wstring& fileName,
                const std::wstring& newName, WrittenFileDigests* digests) {
    if (_waccess(zipPath.c_str(), 0) != 0) {
        Logger::Instance()->Write(L"Extract Zip failed to File not found");
        return false;
    }
    if (destination.empty()) {
        // An empty destination would become "\", the root of the current drive.
        Logger::Instance()->Write(L"* 오류: 압축을 풀 폴더가 지정되지 않았습니다. (src:%s)", zipPath.c_str());
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const std::wstring folder = WithSeparator(destination);
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_EXISTS && rc != ERROR_ALREADY_EXISTS) {
            SetLastError(static_cast<DWORD>(rc));
            Logger::Instance()->Write(L"Extract Zip failed to SHCreateDirectoryExA");
            return false;
        }
    }
    const std::wstring targetName = newName.empty() ? fileName : newName;

    ZipArchive zip;
    zip.SetWrittenDigests(digests);
    if (!zip.Open(zipPath)) {
        Logger::Instance()->Write(L"Extract Zip failed to OpenZip");
        return false;
    }
    if (!zip.SetBaseFolder(folder)) {
        Logger::Instance()->Write(L"Extract Zip failed to SetUnzipBaseDir");
        zip.Close();
        return false;
    }
    ZipEntryInfo count;
    if (!zip.GetItem(-1, count)) {
        Logger::Instance()->Write(L"Extract Zip failed to GetZipItem");
        zip.Close();
        return false;
    }
    bool ok = true;
    for (int index = 0; index < count.index; ++index) {
        ZipEntryInfo item;
        if (!zip.GetItem(index, item)) {
            Logger::Instance()->Write(L"Extract Zip failed to GetZipItem");
            ok = false;
            break;
        }
        std::wstring name = item.name;
        if (!fileName.empty()) {
            if (lstrcmpiW(item.name.c_str(), fileName.c_str()) != 0) continue;
            name = targetName;
        }
        if (!zip.UnzipItem(index, name)) {
            Logger::Instance()->Write(L"Extract Zip failed to UnzipItem");
            ok = false;
            break;
        }
    }
    zip.Close();
    return ok;
}
