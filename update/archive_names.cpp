#include "update/archive_names.h"

#include <windows.h>

#include "support/contained_path.h"
#include "support/logger.h"

namespace {

std::wstring FolderPart(const std::wstring& name) {
    const size_t split = name.find_last_of(L"\\/");
    return split == std::wstring::npos ? std::wstring() : name.substr(0, split + 1);
}

}  // namespace

std::wstring StripItemName(const std::wstring& stored) {
    static const wchar_t* const kClimbs[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
    std::wstring name = stored;
    for (;;) {
        if (name.size() >= 2 && name[1] == L':') {
            name.erase(0, 2);
            continue;
        }
        if (!name.empty() && (name[0] == L'\\' || name[0] == L'/')) {
            name.erase(0, 1);
            continue;
        }
        bool cut = false;
        for (const wchar_t* climb : kClimbs) {
            size_t at = name.find(climb);
            if (at != std::wstring::npos) {
                name.erase(0, at + 4);
                cut = true;
                break;
            }
        }
        if (!cut) return name;
    }
}

bool ComposeItemTarget(const std::wstring& base, const std::wstring& name, std::wstring& target) {
    if (!IsContainedName(name)) {
        Logger::Instance()->Write(L"* 오류: 항목 이름이 대상 폴더 밖을 가리킵니다. (name:%s)", name.c_str());
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::wstring path = base + name;
    if (path.size() >= MAX_PATH) {
        Logger::Instance()->Write(L"* 오류: 항목의 경로가 너무 깁니다. (base:%s, name:%s)", base.c_str(),
                                  name.c_str());
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // A folder level that is a junction or a link would carry the item
    // elsewhere; a link in the file's own place is removed before writing.
    if (CrossesLink(base, FolderPart(name))) {
        Logger::Instance()->Write(L"* 오류: 항목의 경로가 링크를 거칩니다. (base:%s, name:%s)", base.c_str(),
                                  name.c_str());
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    target = path;
    return true;
}

void ClearItemTarget(const std::wstring& target) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetPathAttributes(target);
    if (IsLinkAttributes(attributes)) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryW(target.c_str());
        } else {
            DeleteFileW(target.c_str());
        }
    } else if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(target.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        DeleteFileW(target.c_str());
    }
    SetLastError(error);
}

bool CreateFolderLevels(const std::wstring& base, const std::wstring& relative) {
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = relative.size();
        if (end > start) {
            std::wstring level = base + relative.substr(0, end);
            DWORD attributes = GetFileAttributesW(level.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                if (!CreateDirectoryW(level.c_str(), nullptr)) {
                    DWORD error = GetLastError();
                    attributes = GetFileAttributesW(level.c_str());
                    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                        Logger::Instance()->Write(L"* 오류: 폴더를 만들 수 없습니다. (path:%s, 0x%08x)",
                                                  level.c_str(), error);
                        SetLastError(error);
                        return false;
                    }
                }
            }
        }
        start = end + 1;
    }
    return true;
}
