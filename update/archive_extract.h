#pragma once
// Unpacking the module's archives: cabinets through the setup library's
// SetupIterateCabinetW, zip files through the zip reading layer. Both unpack
// every file (empty file name) or the items whose name equals fileName
// (ignoring case) under newName (fileName when empty). Nothing is ever
// written outside the destination folder.

#include <windows.h>

#include <string>

class WrittenFileDigests;

struct CabinetExtractContext {
    wchar_t fileName[MAX_PATH];     // the one file to extract; empty = every file
    wchar_t newName[MAX_PATH];      // the name the filtered file is written under
    wchar_t destination[MAX_PATH];  // target folder, ending with "\"
    // The first refusal (a Win32 error code), 0 while there is none. Once set,
    // every later file is skipped and the extraction reports failure: the
    // setup library is not relied on to stop at an abort answer (Wine's goes
    // on with the next file).
    DWORD failure;
    // How often the library asked for a continuation cabinet: bounded, since
    // a set that points back at itself would otherwise be asked for forever.
    UINT continuationRequests;
    // The file handed to the library and not yet reported extracted; removed
    // when the iteration stops half-way through it.
    wchar_t pendingTarget[MAX_PATH];
};

// The SetupIterateCabinetW callback: chooses each file's target path
// (destination + name) and refuses names that would leave the destination.
UINT CALLBACK CabinetFileCallback(PVOID context, UINT notification, UINT_PTR param1,
                                  UINT_PTR param2) noexcept;

// False when the setup library reports a failure (not a cabinet, unreadable,
// a refused item name); the thread's last error is the failure's.
[[nodiscard]] bool ExtractCabinet(const std::wstring& cabinet, const std::wstring& destination,
                                  const std::wstring& fileName, const std::wstring& newName);

// False when the zip cannot be read or an item cannot be written (logged);
// items unpacked before the failure stay. With digests, the MD5 of every file
// written is remembered there as it is written.
[[nodiscard]] bool ExtractZip(const std::wstring& zipPath, const std::wstring& destination,
                              const std::wstring& fileName, const std::wstring& newName,
                              WrittenFileDigests* digests = nullptr);
