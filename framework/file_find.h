#pragma once
// Enumerates a folder's entries in the framework's style: FindFile opens the
// search, each FindNextFile moves to the next entry and returns FALSE when the
// entry it moved to is the last one (which is still valid to read).

#include <windows.h>

#include <string>

#include "support/scoped.h"

class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind() { Close(); }
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    BOOL FindFile(const std::wstring& pattern);
    BOOL FindNextFile();
    void Close();

    std::wstring GetFileName() const { return m_current.cFileName; }
    std::wstring GetFilePath() const { return m_root + m_current.cFileName; }
    BOOL IsDirectory() const { return (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    BOOL IsDots() const;
    DWORD GetAttributes() const { return m_current.dwFileAttributes; }

private:
    ScopedFindHandle m_find;
    WIN32_FIND_DATAW m_next = {};
    WIN32_FIND_DATAW m_current = {};
    bool m_hasNext = false;
    std::wstring m_root;
};
