#pragma once
// Writers for the two archive formats the module update unpacks: cabinets
// (MSZIP, through the platform's cabinet library) and zip files (deflate,
// through minizip). Used by the manifest tools and by tests, which need to
// store any name, hostile ones included, exactly as given.

#include <string>
#include <vector>

struct ArchiveItem {
    std::wstring source;  // file whose content is stored
    std::wstring name;    // name stored in the archive, written unchanged
};

// A single-cabinet file with every item in order. False when a source cannot
// be read or the cabinet cannot be written (logged); no partial cabinet stays.
[[nodiscard]] bool WriteCabinet(const std::wstring& cabPath, const std::vector<ArchiveItem>& items);

// A cabinet set for tests of continuation cabinets: each cabinet holds at
// most cabinetSize bytes; the first is firstPath, the next ones carry their
// number before the extension ("set.cab", "set2.cab", "set3.cab"). paths
// receives every cabinet written, in order.
[[nodiscard]] bool WriteCabinetSet(const std::wstring& firstPath, const std::vector<ArchiveItem>& items,
                                   unsigned long cabinetSize, std::vector<std::wstring>& paths);

// A zip file with every item deflated, in order. Names are stored as UTF-8,
// with general-purpose flag bit 11 when they hold non-ASCII characters. False
// when a source cannot be read or the zip cannot be written (logged); no
// partial zip stays.
[[nodiscard]] bool WriteZip(const std::wstring& zipPath, const std::vector<ArchiveItem>& items);
