#include "update/publisher_files.h"

#include <windows.h>

#include <set>
#include <vector>

#include "inet/download.h"
#include "support/contained_path.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/publisher_trust.h"
#include "support/scoped.h"
#include "support/signer_key.h"
#include "update/update_file_xml.h"

namespace {

const wchar_t kListName[] = L"activeupdate.sig";
const wchar_t kSerialName[] = L"activeupdate.serial";

std::int64_t NowUtcSeconds() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>((ticks - 116444736000000000ULL) / 10000000ULL);
}

std::wstring TimeText(std::int64_t seconds) {
    const std::string text = FormatUtcTime(seconds);
    std::wstring wide;
    return MultiByteToWide(CP_UTF8, text.data(), static_cast<int>(text.size()), wide) ? wide : std::wstring();
}

// The extensions Windows maps as code (LoadLibrary takes any of them as an
// import's name, the shell runs some): such a file in the install folder runs
// in the module's process or beside it.
bool IsProgramFile(const std::wstring& name) {
    static const wchar_t* const kProgramExtensions[] = {L".dll", L".exe", L".ocx", L".cpl", L".scr", L".sys",
                                                        L".drv", L".ax",  L".acm", L".efi", L".mui", L".com",
                                                        L".tsp"};
    // Windows drops trailing dots and blanks: "x.dll. " opens as "x.dll".
    const size_t last = name.find_last_not_of(L". ");
    if (last == std::wstring::npos) return false;
    const std::wstring resolved = name.substr(0, last + 1);
    const size_t dot = resolved.find_last_of(L'.');
    if (dot == std::wstring::npos) return false;
    for (const wchar_t* program : kProgramExtensions) {
        if (CompareStringOrdinal(resolved.c_str() + dot, -1, program, -1, TRUE) == CSTR_EQUAL) return true;
    }
    return false;
}

// The serial last accepted for the folder; 0 when none was kept yet.
bool ReadAcceptedSerial(const std::wstring& path, std::uint64_t& serial) {
    serial = 0;
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    char text[32] = {};
    DWORD read = 0;
    if (!::ReadFile(file.get(), text, sizeof(text) - 1, &read, nullptr)) return false;
    if (!ParseSerial(std::string(text, read), serial)) {
        ::SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

// Written beside and moved over, so that a cut-off write leaves the old value.
bool WriteAcceptedSerial(const std::wstring& path, std::uint64_t serial) {
    const std::wstring temporary = path + L".tmp~";
    const std::string text = std::to_string(serial);
    {
        ScopedHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size())
            return false;
    }
    return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
           FALSE;
}

}  // namespace

bool PublisherFiles::Required() {
    return PublisherTrust::Current().PinsKeys();
}

std::wstring PublisherFiles::SerialPath(const std::wstring& installFolder) {
    return installFolder + kSerialName;
}

bool PublisherFiles::Load(const std::wstring& baseUrl, const std::wstring& installFolder,
                          const update_file_xml& manifest) {
    const std::wstring url = baseUrl + kListName;
    ByteBuffer buffer;
    if (!FetchDocument(url, buffer)) {
        Logger::Instance()->Write(L"*오류 : activeupdate.sig를 다운로드 하지 못했습니다. (url:%s)", url.c_str());
        return false;
    }
    std::string document;
    std::wstring signerKey;
    DWORD status = 0;
    if (!ReadSignedMessage(buffer.data(), static_cast<size_t>(buffer.length), document, signerKey, status)) {
        Logger::Instance()->Write(L"*오류 : activeupdate.sig의 서명이 올바르지 않습니다. (url:%s, 0x%08x)",
                                  url.c_str(), status);
        return false;
    }
    if (!PublisherTrust::Current().AllowsKey(signerKey)) {
        Logger::Instance()->Write(L"*오류 : 허용되지 않은 서명자의 파일 목록입니다. (url:%s, key:%s)", url.c_str(),
                                  signerKey.c_str());
        return false;
    }
    SignedFileList list;
    // The list may not name the file that keeps its serial: a package could
    // otherwise reset it.
    if (!ParseSignedFileList(document.data(), document.size(), list) || list.Find(kSerialName)) {
        Logger::Instance()->Write(L"*오류 : activeupdate.sig의 포멧이 올바르지 않습니다. (url:%s)", url.c_str());
        return false;
    }
    if (list.expires <= NowUtcSeconds()) {
        Logger::Instance()->Write(L"*오류 : activeupdate.sig의 유효 기간이 지났습니다. (url:%s, expires:%s)",
                                  url.c_str(), TimeText(list.expires).c_str());
        return false;
    }
    const std::wstring serialPath = SerialPath(installFolder);
    std::uint64_t accepted = 0;
    if (!ReadAcceptedSerial(serialPath, accepted)) {
        Logger::Instance()->Write(L"*오류 : 받은 일련번호를 읽을 수 없습니다. (path:%s, 0x%08x)", serialPath.c_str(),
                                  ::GetLastError());
        return false;
    }
    if (list.serial < accepted) {
        Logger::Instance()->Write(
            L"*오류 : activeupdate.sig의 일련번호가 이미 받은 것보다 낮습니다. (serial:%s, accepted:%s)",
            std::to_wstring(list.serial).c_str(), std::to_wstring(accepted).c_str());
        return false;
    }
    // The manifest and the list name the same files: every file the update
    // touches is one the publisher signed, and none the publisher listed is
    // left out.
    std::set<const SignedFile*> named;
    for (const update_file_entry& entry : manifest.files) {
        const SignedFile* listed = list.Find(entry.name);
        if (!listed) {
            Logger::Instance()->Write(L"*오류 : activeupdate.sig에 없는 파일입니다. (name:%s)", entry.name.c_str());
            return false;
        }
        named.insert(listed);
    }
    for (const SignedFile& file : list.files) {
        if (named.count(&file) == 0) {
            Logger::Instance()->Write(L"*오류 : activeupdate.xml에 없는 파일입니다. (name:%s)", file.name.c_str());
            return false;
        }
    }
    m_list = std::move(list);
    m_acceptedSerial = accepted;
    m_loaded = true;
    return true;
}

bool PublisherFiles::Matches(const std::wstring& path, const std::wstring& name, std::wstring& md5) const {
    std::wstring sha256;
    unsigned long long size = 0;
    ComputeFileDigests(path, md5, sha256, size);
    const SignedFile* listed = m_list.Find(name);
    return listed && listed->size == size && listed->sha256 == sha256;
}

bool PublisherFiles::CheckDownloaded(const std::wstring& path, const std::wstring& name, std::wstring& md5) const {
    if (Matches(path, name, md5)) return true;
    Logger::Instance()->Write(L"*오류 : 다운로드 받은 파일이 서명된 목록과 다릅니다. (src:%s)", path.c_str());
    return false;
}

bool PublisherFiles::Finish(const std::wstring& installFolder) const {
    // Every level of the folder, without entering links: the loader looks in
    // the module's own folder first, so an unsigned "version.dll" there would
    // run inside the signed module's process.
    std::vector<std::wstring> pending{L""};
    while (!pending.empty()) {
        const std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found;
        const ScopedFindHandle find(::FindFirstFileExW((installFolder + relative + L"*").c_str(), FindExInfoBasic,
                                                       &found, FindExSearchNameMatch, nullptr, 0));
        if (!find) continue;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring entry = relative + name;
            const std::wstring path = installFolder + entry;
            const DWORD attributes = GetEntryAttributes(path, found.dwFileAttributes);
            const bool link = IsLinkAttributes(attributes);
            if (!link && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                pending.push_back(entry + L"\\");
                continue;
            }
            if (!IsProgramFile(name) || (!link && m_list.Find(entry))) continue;
            if (!(link ? RemoveLink(path, attributes) : DeleteFileForce(path))) {
                Logger::Instance()->Write(L"*오류 : 목록에 없는 프로그램 파일을 지울 수 없습니다. (path:%s, 0x%08x)",
                                          path.c_str(), ::GetLastError());
                return false;
            }
            Logger::Instance()->Write(L"*알림 : 목록에 없는 프로그램 파일을 지웠습니다. (path:%s)", path.c_str());
        } while (::FindNextFileW(find.get(), &found));
    }
    if (m_list.serial > m_acceptedSerial && !WriteAcceptedSerial(SerialPath(installFolder), m_list.serial)) {
        Logger::Instance()->Write(L"*오류 : 일련번호를 저장할 수 없습니다. (path:%s, 0x%08x)",
                                  SerialPath(installFolder).c_str(), ::GetLastError());
        return false;
    }
    return true;
}
