#pragma once
// Brings the install folder up to date with the server's update manifest.

#include <windows.h>

#include <string>
#include <vector>

class CDialog;
class PublisherFiles;
class startup_file_xml;
struct update_file_entry;

// The progress message the install flow sends to the progress window:
// wParam the total, lParam the current position.
constexpr UINT WM_LAUNCH_PROGRESS = WM_USER + 1001;

// dialog receives the progress messages (WM_LAUNCH_PROGRESS). moduleName receives the module's file name, relative to the
// install folder. False when a step failed (logged).
[[nodiscard]] bool InstallModule(CDialog& dialog, const startup_file_xml& startup, std::wstring& moduleName);

// Fetches and reads the manifest below baseUrl, sets the module file name and
// lists the entries that are missing or outdated in installFolder (outdated
// files are deleted). False when the manifest cannot be had or is refused.
// Builds with publisher keys also load the publisher's signed file list into
// publisherFiles (a list of its own when null), and an installed file that
// differs from it is outdated.
[[nodiscard]] bool CollectUpdateFiles(const std::wstring& installFolder, const std::wstring& baseUrl,
                                      std::wstring& moduleName, std::vector<update_file_entry>& installList,
                                      PublisherFiles* publisherFiles = nullptr);

// Seconds spent in each phase of InstallModule, added up while a record is
// set. Only the benchmark sets one; unset, nothing is measured.
struct InstallPhaseTimes {
    double download = 0;    // FetchFile of every archive
    double extraction = 0;  // ExtractCabinet / ExtractZip
    double hashCheck = 0;   // the MD5 check of every unpacked file
    double moves = 0;       // MoveFileW into the install folder
    double cleanup = 0;     // removing the download folder
};
void SetInstallPhaseTimes(InstallPhaseTimes* times);
