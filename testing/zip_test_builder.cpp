#include "testing/zip_test_builder.h"

#include <zlib.h>

namespace zip_test {
namespace {

void Put16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::string RawDeflate(const std::string& data) {
    z_stream stream = {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

uint32_t Crc(const std::string& data) {
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
                                       static_cast<uInt>(data.size())));
}

}  // namespace

RawItem FolderItem(const std::string& name) {
    RawItem item;
    item.name = name;
    item.deflate = false;
    item.externalAttributes = 0x10;
    return item;
}

std::string ExtendedTimestamp(uint8_t flags, const std::vector<int32_t>& times) {
    std::string block;
    Put16(block, 0x5455);
    Put16(block, static_cast<uint32_t>(1 + 4 * times.size()));
    block += static_cast<char>(flags);
    for (int32_t time : times) Put32(block, static_cast<uint32_t>(time));
    return block;
}

std::string BuildZip(const std::vector<RawItem>& items, int entryCountBias) {
    std::string zip;
    std::string central;
    for (const RawItem& item : items) {
        std::string stored;
        uint32_t crc = Crc(item.data);
        switch (item.damage) {
            case Damage::None:
                stored = item.deflate ? RawDeflate(item.data) : item.data;
                break;
            case Damage::BadDeflateStream:
                // Block type 3 is reserved: inflating fails at once.
                stored = std::string(32, '\xFF');
                break;
            case Damage::WrongCrc:
                stored = item.deflate ? RawDeflate(item.data) : item.data;
                crc ^= 0x5A5A5A5A;
                break;
            case Damage::ShortStream:
                stored = RawDeflate(item.data.substr(0, item.data.size() / 2));
                break;
        }
        const bool deflated =
            item.deflate || item.damage == Damage::BadDeflateStream || item.damage == Damage::ShortStream;
        const uint16_t method = deflated ? 8 : 0;
        const uint32_t offset = static_cast<uint32_t>(zip.size());

        Put32(zip, 0x04034b50);
        Put16(zip, 20);
        Put16(zip, item.flag);
        Put16(zip, method);
        Put16(zip, item.dosTime);
        Put16(zip, item.dosDate);
        Put32(zip, crc);
        Put32(zip, static_cast<uint32_t>(stored.size()));
        Put32(zip, static_cast<uint32_t>(item.data.size()));
        Put16(zip, static_cast<uint32_t>(item.name.size()));
        Put16(zip, static_cast<uint32_t>(item.localExtra.size()));
        zip += item.name;
        zip += item.localExtra;
        zip += stored;

        Put32(central, 0x02014b50);
        Put16(central, item.versionMadeBy);
        Put16(central, 20);
        Put16(central, item.flag);
        Put16(central, method);
        Put16(central, item.dosTime);
        Put16(central, item.dosDate);
        Put32(central, crc);
        Put32(central, static_cast<uint32_t>(stored.size()));
        Put32(central, static_cast<uint32_t>(item.data.size()));
        Put16(central, static_cast<uint32_t>(item.name.size()));
        Put16(central, static_cast<uint32_t>(item.centralExtra.size()));
        Put16(central, 0);  // comment
        Put16(central, 0);  // disk
        Put16(central, 0);  // internal attributes
        Put32(central, item.externalAttributes);
        Put32(central, offset);
        central += item.name;
        central += item.centralExtra;
    }
    const uint32_t centralOffset = static_cast<uint32_t>(zip.size());
    zip += central;
    const uint32_t count = static_cast<uint32_t>(static_cast<int>(items.size()) + entryCountBias);
    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, count);
    Put16(zip, count);
    Put32(zip, static_cast<uint32_t>(central.size()));
    Put32(zip, centralOffset);
    Put16(zip, 0);
    return zip;
}

}  // namespace zip_test
