#include "framework/file_find.h"

BOOL CFileFind::FindFile(const std::wstring& pattern) {
    Close();
    m_find.reset(::FindFirstFileW(pattern.c_str(), &m_next));
    if (!m_find.valid()) return FALSE;
    m_hasNext = true;
    size_t slash = pattern.find_last_of(L"\\/");
    m_root = slash == std::wstring::npos ? std::wstring() : pattern.substr(0, slash + 1);
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (!m_find.valid() || !m_hasNext) return FALSE;
    m_current = m_next;
    m_hasNext = ::FindNextFileW(m_find.get(), &m_next) != FALSE;
    return m_hasNext ? TRUE : FALSE;
}

void CFileFind::Close() {
    m_find.reset();
    m_hasNext = false;
    m_current = WIN32_FIND_DATAW{};
}

BOOL CFileFind::IsDots() const {
    const wchar_t* name = m_current.cFileName;
    return IsDirectory() && name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}
