#include "update/module_installer.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>

#include "framework/dialog.h"
#include "framework/message_pump.h"
#include "launch/startup_file_xml.h"
#include "support/contained_path.h"
#include "support/file_digest.h"
#include "support/logger.h"
#include "support/platform.h"
#include "support/scoped.h"
#include "update/archive_extract.h"
#include "update/install_lock.h"
#include "update/publisher_files.h"
#include "inet/download.h"
#include "update/update_file_xml.h"

namespace {

const wchar_t kDownloadFolderName[] = L"download";

InstallPhaseTimes* g_phaseTimes = nullptr;

// Adds the time until it goes out of scope to one phase of g_phaseTimes.
class PhaseClock {
public:
    explicit PhaseClock(double InstallPhaseTimes::*phase) : m_phase(phase) {
        if (g_phaseTimes) QueryPerformanceCounter(&m_start);
    }
    ~PhaseClock() {
        if (!g_phaseTimes) return;
        // The caller logs the phase's own last error after the clock stops.
        const DWORD error = ::GetLastError();
        LARGE_INTEGER end, frequency;
        QueryPerformanceCounter(&end);
        QueryPerformanceFrequency(&frequency);
        g_phaseTimes->*m_phase +=
            static_cast<double>(end.QuadPart - m_start.QuadPart) / static_cast<double>(frequency.QuadPart);
        ::SetLastError(error);
    }
    PhaseClock(const PhaseClock&) = delete;
    PhaseClock& operator=(const PhaseClock&) = delete;

private:
    double InstallPhaseTimes::*m_phase;
    LARGE_INTEGER m_start = {};
};

void SendProgress(CDialog& dialog, int total, int current) {
    ::SendMessageW(dialog.GetSafeHwnd(), WM_LAUNCH_PROGRESS, static_cast<WPARAM>(total),
                   static_cast<LPARAM>(current));
    PumpMessages();
}

bool IsCabinetPath(const std::wstring& path) {
    wchar_t ext[_MAX_EXT] = {};
    if (_wsplitpath_s(path.c_str(), nullptr, 0, nullptr, 0, nullptr, 0, ext, _MAX_EXT) != 0) return false;
    return lstrcmpiW(ext, L".cab") == 0;
}

// The run's own working folder inside the install folder: an entry below it
// would be moved there and deleted again with it at the end of every run.
bool IsBelowDownloadFolder(const std::wstring& name) {
    const std::vector<std::wstring> components = ResolvedComponents(name);
    return !components.empty() &&
           CompareStringOrdinal(components[0].c_str(), -1, kDownloadFolderName, -1, TRUE) == CSTR_EQUAL;
}

// True only when the folder is known to hold nothing: it is missing, or its
// listing shows no entry.
bool IsEmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const ScopedFindHandle find(::FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found,
                                                   FindExSearchNameMatch, nullptr, 0));
    if (!find) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    bool empty = true;
    do {
        empty = lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0;
    } while (empty && ::FindNextFileW(find.get(), &found));
    return empty;
}

// Every file name and archive name of the manifest is joined to the install
// or download folder; a name that leads out of them, or a path through a
// link, is refused before anything on disk changes. installedAttributes
// receives, per entry, the attributes the check read for install folder +
// name (INVALID_FILE_ATTRIBUTES when missing, or when the name holds a
// separator and so was looked up in another spelling).
bool CheckManifestNames(const update_file_xml& manifest, const std::wstring& installFolder,
                        std::vector<DWORD>& installedAttributes) {
    const std::wstring downloadFolder = installFolder + kDownloadFolderName + L"\\";
    // Nothing below an empty download folder can be a link; asking about
    // every name there would cost a failed lookup each.
    const bool downloadLinks = !IsEmptyFolder(downloadFolder);
    for (const update_file_entry& entry : manifest.files) {
        if (!IsContainedName(entry.name) || ResolvedComponents(entry.name).empty() ||
            IsBelowDownloadFolder(entry.name)) {
            Logger::Instance()->Write(L"* 오류: 업데이트 파일 이름이 올바르지 않습니다. (name:%s)",
                                      entry.name.c_str());
            return false;
        }
        if (!entry.package.empty() && !IsContainedName(entry.package)) {
            Logger::Instance()->Write(
                L"* 오류: 업데이트 패키지 이름이 올바르지 않습니다. (name:%s, package:%s)",
                entry.name.c_str(), entry.package.c_str());
            return false;
        }
        DWORD attributes = INVALID_FILE_ATTRIBUTES;
        const bool installLink = CrossesLink(installFolder, entry.name, &attributes);
        installedAttributes.push_back(
            entry.name.find_first_of(L"\\/") == std::wstring::npos ? attributes : INVALID_FILE_ATTRIBUTES);
        if (installLink || (downloadLinks && (CrossesLink(downloadFolder, entry.name) ||
                                              CrossesLink(downloadFolder, entry.package)))) {
            Logger::Instance()->Write(L"* 오류: 링크를 거치는 경로에는 쓰지 않습니다. (path:%s)",
                                      ((installLink ? installFolder : downloadFolder) + entry.name).c_str());
            return false;
        }
    }
    return true;
}

// The install and download folders themselves, and every level of the
// install folder below the data root, must be real folders.
bool CheckWorkingFolder(const std::wstring& folder) {
    const std::wstring root = GetDataRootFolder();
    bool link = IsLinkPath(folder);
    if (!link && folder.size() > root.size() &&
        CompareStringOrdinal(folder.c_str(), static_cast<int>(root.size()), root.c_str(),
                             static_cast<int>(root.size()), TRUE) == CSTR_EQUAL) {
        link = CrossesLink(root, folder.substr(root.size()));
    }
    if (link) {
        Logger::Instance()->Write(L"* 오류: 링크를 거치는 경로에는 쓰지 않습니다. (path:%s)", folder.c_str());
        return false;
    }
    return true;
}

// The install folder and its download folder, made and checked before
// anything is written into them.
bool MakeWorkingFolders(const std::wstring& installFolder, const std::wstring& downloadFolder) {
    // An empty or relative install path (a document that was refused, say)
    // would make folders wherever the process happens to stand.
    if (installFolder.empty() || ::PathIsRelativeW(installFolder.c_str())) {
        Logger::Instance()->Write(L"* 오류: 작업 폴더를 생성할 수 없습니다. (path:%s, err:0x%08x)",
                                  installFolder.c_str(), static_cast<DWORD>(ERROR_BAD_PATHNAME));
        return false;
    }
    if (!CreateDirectories(installFolder)) {
        Logger::Instance()->Write(L"* 오류: 작업 폴더를 생성할 수 없습니다. (path:%s, err:0x%08x)",
                                  installFolder.c_str(), ::GetLastError());
        return false;
    }
    if (!CheckWorkingFolder(installFolder)) return false;
    if (!CreateDirectories(downloadFolder)) {
        Logger::Instance()->Write(L"* 오류: 설치 임시폴더를 생성할 수 없습니다. (path:%s, err:0x%08x)",
                                  downloadFolder.c_str(), ::GetLastError());
        return false;
    }
    return CheckWorkingFolder(downloadFolder);
}

// Each archive once, in order of first appearance; names compared exactly.
// An empty name is never remembered, so each such entry adds one more.
std::vector<std::wstring> ListArchives(const std::vector<update_file_entry>& installList) {
    std::vector<std::wstring> archives;
    for (const update_file_entry& entry : installList) {
        bool seen = false;
        for (const std::wstring& name : archives) {
            if (!name.empty() && name == entry.package) {
                seen = true;
                break;
            }
        }
        if (!seen) archives.push_back(entry.package);
    }
    return archives;
}

// Downloads each archive into the download folder and unpacks it there; the
// ".cab" extension chooses the cabinet extractor.
bool FetchAndUnpack(CDialog& dialog, const std::wstring& filesUrl, const std::wstring& downloadFolder,
                    const std::vector<std::wstring>& archives, WrittenFileDigests& digests) {
    const int archiveCount = static_cast<int>(archives.size());
    for (int i = 1; i <= archiveCount; ++i) {
        SendProgress(dialog, archiveCount, i);
        const std::wstring& name = archives[static_cast<size_t>(i - 1)];
        const std::wstring url = filesUrl + name;
        const std::wstring path = downloadFolder + name;
        bool fetched;
        {
            PhaseClock clock(&InstallPhaseTimes::download);
            fetched = FetchFile(url, path);
        }
        if (!fetched) {
            Logger::Instance()->Write(L"* 오류: 파일을 다운로드 할수 없습니다. (url%s, path:%s)", url.c_str(),
                                      path.c_str());
            return false;
        }
        bool extracted;
        {
            PhaseClock clock(&InstallPhaseTimes::extraction);
            if (IsCabinetPath(path)) {
                extracted = ExtractCabinet(path, downloadFolder, L"", L"");
                // The setup library writes files this run cannot hash on the
                // way; any of them may replace one remembered before.
                digests.Clear();
            } else {
                extracted = ExtractZip(path, downloadFolder, L"", L"", &digests);
            }
        }
        if (!extracted) {
            Logger::Instance()->Write(L"* 오류: 파일에 압축을 풀수 없습니다. (src:%s, dest:%s, 0x%08x)",
                                      path.c_str(), downloadFolder.c_str(), ::GetLastError());
            return false;
        }
    }
    return true;
}

// Checks each unpacked file against its hash (entries without one are taken
// as they are) and moves it into place. The progress total stays the number
// of archives.
bool VerifyAndMove(CDialog& dialog, const std::wstring& installFolder, const std::wstring& downloadFolder,
                   const std::vector<update_file_entry>& installList, int archiveCount,
                   const WrittenFileDigests& digests, const PublisherFiles& publisherFiles) {
    int position = 0;
    for (const update_file_entry& entry : installList) {
        SendProgress(dialog, archiveCount, ++position);
        const std::wstring source = downloadFolder + entry.name;
        const std::wstring target = installFolder + entry.name;
        std::wstring hash;
        if (publisherFiles.loaded()) {
            // One read gives the publisher's SHA-256 and the manifest's MD5.
            PhaseClock clock(&InstallPhaseTimes::hashCheck);
            if (!publisherFiles.CheckDownloaded(source, entry.name, hash)) return false;
        }
        if (!entry.hash.empty()) {
            if (!publisherFiles.loaded()) {
                PhaseClock clock(&InstallPhaseTimes::hashCheck);
                hash = ComputeFileMd5(source, digests);
            }
            if (lstrcmpiW(hash.c_str(), entry.hash.c_str()) != 0) {
                Logger::Instance()->Write(L"* 오류: 다운로드 받은파일이 올바르않습니다. (src:%s, hash:%s)",
                                          source.c_str(), hash.c_str());
                return false;
            }
        }
        BOOL moved;
        {
            PhaseClock clock(&InstallPhaseTimes::moves);
            moved = ::MoveFileW(source.c_str(), target.c_str());
        }
        if (!moved) {
            Logger::Instance()->Write(L"* 오류: 파일을 복사할수 없습니다. (src:%s, dest:%s, 0x%08x)",
                                      source.c_str(), target.c_str(), ::GetLastError());
            return false;
        }
    }
    return true;
}

}  // namespace

bool CollectUpdateFiles(const std::wstring& installFolder, const std::wstring& baseUrl,
                        std::wstring& moduleName, std::vector<update_file_entry>& installList,
                        PublisherFiles* publisherFiles) {
    const std::wstring manifestUrl = baseUrl + L"activeupdate.xml";
    ByteBuffer buffer;
    if (!FetchDocument(manifestUrl, buffer)) {
        Logger::Instance()->Write(L"* 오류: activeupdate.xml을 다운로드 하지 못했습니다. (url:%s)",
                                  manifestUrl.c_str());
        return false;
    }
    PumpMessages();

    update_file_xml manifest;
    if (!manifest.Load(buffer.data(), buffer.length)) {
        Logger::Instance()->Write(L"* 오류: activeupdate.xml의 포멧이 올바르지 않습니다. (url:%s)",
                                  manifestUrl.c_str());
        return false;
    }
    std::vector<DWORD> checkedAttributes;
    if (!CheckManifestNames(manifest, installFolder, checkedAttributes)) return false;
    PublisherFiles ownFiles;
    PublisherFiles& files = publisherFiles ? *publisherFiles : ownFiles;
    if (PublisherFiles::Required() && !files.Load(baseUrl, installFolder, manifest)) return false;
    moduleName = manifest.module;

    // The check of the names has just read every plainly named file's
    // attributes; until this loop deletes a file, nothing on disk has changed,
    // so a file found there exists without asking again.
    bool deleted = false;
    for (size_t i = 0; i < manifest.files.size(); ++i) {
        const update_file_entry& entry = manifest.files[i];
        const std::wstring path = installFolder + entry.name;
        const bool known = !deleted && checkedAttributes[i] != INVALID_FILE_ATTRIBUTES;
        if (!known && !::PathFileExistsW(path.c_str())) {
            installList.push_back(entry);
        } else if (files.loaded()) {
            // One read gives the MD5 and the publisher's SHA-256; either may
            // call for the file again.
            std::wstring md5;
            if (!files.Matches(path, entry.name, md5) ||
                (entry.hash.empty() ? lstrcmpiW(GetFileVersionText(path).c_str(), entry.version.c_str())
                                    : lstrcmpiW(md5.c_str(), entry.hash.c_str())) != 0) {
                DeleteFileForce(path);
                deleted = true;
                installList.push_back(entry);
            }
        } else if (!entry.hash.empty()) {
            if (lstrcmpiW(ComputeFileMd5(path).c_str(), entry.hash.c_str()) != 0) {
                // Read-only files too: a package may carry them, and one that
                // stayed would block its own update on every later run.
                DeleteFileForce(path);
                deleted = true;
                installList.push_back(entry);
            }
        } else if (lstrcmpiW(GetFileVersionText(path).c_str(), entry.version.c_str()) != 0) {
            DeleteFileForce(path);
            deleted = true;
            installList.push_back(entry);
        }
    }
    return true;
}

bool InstallModule(CDialog& dialog, const startup_file_xml& startup, std::wstring& moduleName) {
    PumpMessages();
    const std::wstring installFolder = startup.install_path;
    const std::wstring downloadFolder = installFolder + kDownloadFolderName + L"\\";
    Logger::Instance()->Write(L"* 업데이트 시작 ********************");
    Logger::Instance()->Write(L"* install path: %s\r\n", installFolder.c_str());
    // Held until the update ends, so that another launcher on the same
    // folder neither shares the download folder nor sees half-moved files.
    InstallLock lock;
    if (!lock.Acquire(installFolder)) return false;
    if (!MakeWorkingFolders(installFolder, downloadFolder)) return false;

    std::vector<update_file_entry> installList;
    PublisherFiles publisherFiles;
    if (!CollectUpdateFiles(installFolder, startup.update_url, moduleName, installList, &publisherFiles))
        return false;
    if (!startup.module.empty()) moduleName = startup.module;
    PumpMessages();

    if (installList.empty()) {
        SendProgress(dialog, 100, 100);
        DeleteFolder(downloadFolder, true);
        return !publisherFiles.loaded() || publisherFiles.Finish(installFolder);
    }
    const std::vector<std::wstring> archives = ListArchives(installList);
    const int archiveCount = static_cast<int>(archives.size());
    // Zip items are hashed as they are unpacked; their check then needs no
    // second pass over the file.
    WrittenFileDigests digests;
    if (!FetchAndUnpack(dialog, startup.update_files_url, downloadFolder, archives, digests)) return false;
    SendProgress(dialog, archiveCount, archiveCount);
    if (!VerifyAndMove(dialog, installFolder, downloadFolder, installList, archiveCount, digests, publisherFiles))
        return false;
    SendProgress(dialog, archiveCount, archiveCount);
    {
        PhaseClock clock(&InstallPhaseTimes::cleanup);
        DeleteFolder(downloadFolder, true);
    }
    return !publisherFiles.loaded() || publisherFiles.Finish(installFolder);
}

void SetInstallPhaseTimes(InstallPhaseTimes* times) {
    g_phaseTimes = times;
}
