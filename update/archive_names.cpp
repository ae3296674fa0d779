#include "update/archive_names.h"

#include <windows.h>

#include "support/logger.h"

namespace {

bool HasParentComponent(const std::wstring& name) {
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = name.size();
        if (name.compare(start, end - start, L"..") == 0) return true;
        start = end + 1;
    }
    return false;
}

bool FullPath(const std::wstring& path, std::wstring& full) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return false;
    full.assign(buffer, length);
    return true;
}

bool SameTextIgnoringCase(const wchar_t* a, const wchar_t* b, size_t count) {
    return CompareStringOrdinal(a, static_cast<int>(count), b, static_cast<int>(count), TRUE) == CSTR_EQUAL;
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
    if (HasParentComponent(name)) {
        Logger::Instance()->Write(L"* 오류: 항목 이름이 대상 폴더 밖을 가리킵니다. (name:%s)", name.c_str());
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    std::wstring path = base + name;
    std::wstring fullBase;
    std::wstring fullPath;
    if (path.size() >= MAX_PATH || !FullPath(base, fullBase) || !FullPath(path, fullPath)) {
        Logger::Instance()->Write(L"* 오류: 항목의 경로가 너무 깁니다. (base:%s, name:%s)", base.c_str(),
                                  name.c_str());
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (fullBase.empty() || fullBase.back() != L'\\') fullBase += L'\\';
    // Device names and whatever else the platform resolves elsewhere end up
    // outside the base folder's text and are refused with the rest.
    bool inside = false;
    if (fullPath.size() >= fullBase.size()) {
        inside = SameTextIgnoringCase(fullPath.c_str(), fullBase.c_str(), fullBase.size());
    } else if (fullPath.size() + 1 == fullBase.size()) {
        inside = SameTextIgnoringCase(fullPath.c_str(), fullBase.c_str(), fullPath.size());
    }
    if (!inside) {
        Logger::Instance()->Write(L"* 오류: 항목 이름이 대상 폴더 밖을 가리킵니다. (name:%s)", name.c_str());
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    target = path;
    return true;
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
