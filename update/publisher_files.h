#pragma once
// Launchers built with publisher keys install only the publisher's files: the
// update folder holds "activeupdate.sig", the publisher's signed list of every
// file of the install folder (update/signed_file_list.h). The manifest's MD5
// values and its fixed key authenticate nothing; this list does. Launchers
// without keys neither fetch nor need it.

#include <cstdint>
#include <string>

#include "update/signed_file_list.h"

class update_file_xml;

class PublisherFiles {
public:
    // True when this build checks the list (it pins publisher keys).
    static bool Required();

    // Fetches the list below baseUrl and accepts it only when it is signed by
    // a pinned key, well formed, not expired, not older than the one last
    // accepted for installFolder, and names exactly the manifest's files.
    // False after the refusal record.
    [[nodiscard]] bool Load(const std::wstring& baseUrl, const std::wstring& installFolder,
                            const update_file_xml& manifest);
    bool loaded() const { return m_loaded; }

    // Reads the file once: md5 receives its MD5 text, and the result says
    // whether its size and SHA-256 are the ones listed for name.
    bool Matches(const std::wstring& path, const std::wstring& name, std::wstring& md5) const;
    // The same check before a downloaded file is moved into place; false
    // after its record.
    [[nodiscard]] bool CheckDownloaded(const std::wstring& path, const std::wstring& name, std::wstring& md5) const;

    // After the install, before anything is loaded from the folder: removes
    // every program file the list does not name and keeps the list's serial
    // as the lowest one acceptable from now on. False after its record.
    [[nodiscard]] bool Finish(const std::wstring& installFolder) const;

    // Where the serial of the last accepted list is kept for an install folder.
    static std::wstring SerialPath(const std::wstring& installFolder);

private:
    SignedFileList m_list;
    std::uint64_t m_acceptedSerial = 0;
    bool m_loaded = false;
};
