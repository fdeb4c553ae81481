#include "support/zip.hpp"

#include <zlib.h>

#include <cstdint>
#include <stdexcept>

namespace testing_support {
namespace {

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

std::string Deflate(const std::string& bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate failed");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string ZipArchive(const std::vector<ZipMember>& members) {
    std::string archive;
    std::string directory;
    for (const ZipMember& member : members) {
        std::string packed = !member.packed.empty() ? member.packed
                             : member.deflated      ? Deflate(member.bytes)
                                                    : member.bytes;
        if (member.cut) packed.resize(packed.size() / 2);
        const auto crc =
            static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(member.bytes.data()),
                                             static_cast<uInt>(member.bytes.size()))) ^
            member.crcChange;
        const auto offset = static_cast<std::uint32_t>(archive.size());
        auto common = [&](std::string& out) {
            Put16(out, 20);                       // version needed
            Put16(out, 0);                        // flags
            Put16(out, member.deflated ? 8 : 0);  // method
            Put32(out, 0);                        // time and date
            Put32(out, crc);
            Put32(out, static_cast<std::uint32_t>(packed.size()));
            Put32(out, static_cast<std::uint32_t>(static_cast<std::int64_t>(member.bytes.size()) +
                                                  member.sizeChange));
            Put16(out, static_cast<std::uint32_t>(member.name.size()));
            Put16(out, 0);  // extra field
        };
        Put32(archive, 0x04034b50);
        common(archive);
        archive += member.name + packed;
        Put32(directory, 0x02014b50);
        Put16(directory, 20);  // made by
        common(directory);
        Put16(directory, 0);  // comment
        Put16(directory, 0);  // disk
        Put16(directory, 0);  // internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, offset);
        directory += member.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    Put32(archive, 0x06054b50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, static_cast<std::uint32_t>(members.size()));
    Put16(archive, static_cast<std::uint32_t>(members.size()));
    Put32(archive, static_cast<std::uint32_t>(directory.size()));
    Put32(archive, directoryOffset);
    Put16(archive, 0);
    return archive;
}

}  // namespace testing_support
