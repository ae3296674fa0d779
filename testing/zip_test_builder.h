#pragma once
// Test-only: zip files written byte by byte, for the items minizip's writer
// will not make (any host byte, raw name bytes, extra fields, the encrypted
// flag, damaged data, a lying directory count).

#include <cstdint>
#include <string>
#include <vector>

namespace zip_test {

enum class Damage {
    None,
    BadDeflateStream,  // the compressed bytes are not a deflate stream
    WrongCrc,          // the data is sound but the stored CRC is not its own
    ShortStream,       // the deflate stream ends before the stored size
};

struct RawItem {
    std::string name;  // stored name bytes, as they are
    std::string data;  // uncompressed content
    bool deflate = true;
    uint16_t versionMadeBy = 20;  // host system in the high byte (0 = MS-DOS)
    uint32_t externalAttributes = 0;
    uint16_t flag = 0;
    uint16_t dosDate = (41 << 9) | (6 << 5) | 15;          // 2021-06-15
    uint16_t dosTime = (10 << 11) | (20 << 5) | (30 / 2);  // 10:20:30
    std::string centralExtra;
    std::string localExtra;
    Damage damage = Damage::None;
};

// A folder item ("name/") with the MS-DOS directory attribute.
RawItem FolderItem(const std::string& name);
// An "UT" extended-timestamp extra block with the given flags and times.
std::string ExtendedTimestamp(uint8_t flags, const std::vector<int32_t>& times);

// The archive's bytes. entryCountBias is added to the item counts of the end
// record (a directory that claims more items than it holds).
std::string BuildZip(const std::vector<RawItem>& items, int entryCountBias = 0);

}  // namespace zip_test
