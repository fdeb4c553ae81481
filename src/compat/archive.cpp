#include "compat/archive.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace bloktar::compat {
namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndOfDirectorySize = 22;
constexpr std::uint32_t kZip64Mark = 0xFFFFFFFF;
constexpr unsigned kEncrypted = 0x0001;
constexpr unsigned kUtf8Name = 0x0800;
constexpr unsigned kStored = 0;
constexpr unsigned kDeflated = 8;

std::uint32_t Le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t Le32(const unsigned char* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

bool NamesDocument(const unsigned char* name, std::size_t length) {
    static constexpr char kEnding[] = ".mqo";
    if (length < 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = static_cast<char>(name[length - 4 + i]);
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kEnding[i]) return false;
    }
    return true;
}

// crc32 over any length (zlib takes at most a uInt at a time).
std::uint32_t Crc32(const char* bytes, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    const auto* at = reinterpret_cast<const Bytef*>(bytes);
    while (size > 0) {
        const auto step = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, at, step);
        at += step;
        size -= step;
    }
    return static_cast<std::uint32_t>(crc);
}

// Inflates raw deflate data into exactly size bytes; false unless the stream ends right there.
// into has room for one byte more, which shows a stream longer than size.
bool Inflate(const unsigned char* data, std::size_t dataSize, char* into, std::size_t size) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(dataSize);  // at most 4 GiB - 1: no ZIP64
    stream.next_out = reinterpret_cast<Bytef*>(into);
    stream.avail_out = static_cast<uInt>(size + 1);
    int status = Z_OK;
    while (status == Z_OK) status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.total_out == size;
    inflateEnd(&stream);
    return whole;
}

}  // namespace

bool ReadWholeStream(std::FILE* file, std::vector<unsigned char>& bytes) {
    bytes.clear();
    constexpr std::size_t kStep = 1 << 20;
    try {
        for (;;) {
            const std::size_t start = bytes.size();
            bytes.resize(start + kStep);
            const std::size_t got = std::fread(bytes.data() + start, 1, kStep, file);
            bytes.resize(start + got);
            if (got < kStep) return !std::ferror(file);
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
}

Fault ExtractDocumentMember(const unsigned char* archive, std::size_t size, ArchiveMember& member) {
    member = ArchiveMember{};
    if (size < kEndOfDirectorySize) return Fault::ArchiveBroken;
    // The end record stands last, behind a comment of at most 65,535 bytes.
    std::size_t end = size - kEndOfDirectorySize;
    const std::size_t lowest = end > 0xFFFF ? end - 0xFFFF : 0;
    while (Le32(archive + end) != kEndOfDirectory) {
        if (end == lowest) return Fault::ArchiveBroken;
        --end;
    }
    const std::uint32_t entries = Le16(archive + end + 10);
    const std::uint32_t directorySize = Le32(archive + end + 12);
    const std::uint32_t directoryOffset = Le32(archive + end + 16);
    if (entries == 0xFFFF || directoryOffset == kZip64Mark || directorySize == kZip64Mark) {
        return Fault::ArchiveUnsupported;
    }
    if (std::uint64_t{directoryOffset} + directorySize > end) return Fault::ArchiveBroken;

    const unsigned char* entry = nullptr;
    std::size_t at = directoryOffset;
    const std::size_t directoryEnd = std::size_t{directoryOffset} + directorySize;
    for (std::uint32_t i = 0; i < entries; ++i) {
        if (at + kCentralHeaderSize > directoryEnd || Le32(archive + at) != kCentralHeader) {
            return Fault::ArchiveBroken;
        }
        const std::size_t nameLength = Le16(archive + at + 28);
        const std::size_t next = at + kCentralHeaderSize + nameLength + Le16(archive + at + 30) +
                                 Le16(archive + at + 32);
        if (next > directoryEnd) return Fault::ArchiveBroken;
        if (NamesDocument(archive + at + kCentralHeaderSize, nameLength)) {
            entry = archive + at;
            break;
        }
        at = next;
    }
    if (entry == nullptr) return Fault::ArchiveNoDocument;

    const unsigned flags = Le16(entry + 8);
    const unsigned method = Le16(entry + 10);
    const std::uint32_t crc = Le32(entry + 16);
    const std::uint32_t packedSize = Le32(entry + 20);
    const std::uint32_t fullSize = Le32(entry + 24);
    const std::uint32_t localOffset = Le32(entry + 42);
    if ((flags & kEncrypted) != 0 || (method != kStored && method != kDeflated) ||
        packedSize == kZip64Mark || fullSize == kZip64Mark || localOffset == kZip64Mark) {
        return Fault::ArchiveUnsupported;
    }
    if (std::uint64_t{localOffset} + kLocalHeaderSize > size ||
        Le32(archive + localOffset) != kLocalHeader) {
        return Fault::ArchiveBroken;
    }
    const std::uint64_t data = std::uint64_t{localOffset} + kLocalHeaderSize +
                               Le16(archive + localOffset + 26) + Le16(archive + localOffset + 28);
    if (data + packedSize > size) return Fault::ArchiveBroken;
    if (method == kStored && packedSize != fullSize) return Fault::ArchiveBroken;

    member.name.assign(reinterpret_cast<const char*>(entry + kCentralHeaderSize), Le16(entry + 28));
    member.utf8Name = (flags & kUtf8Name) != 0;
    // Not zero-filled: only the pages the member's bytes fill are ever touched.
    member.bytes.reset(new char[std::size_t{fullSize} + 1]);
    member.size = fullSize;
    const unsigned char* packed = archive + data;
    if (method == kStored) {
        if (fullSize > 0) std::memcpy(member.bytes.get(), packed, fullSize);
    } else if (!Inflate(packed, packedSize, member.bytes.get(), fullSize)) {
        return Fault::ArchiveBroken;
    }
    if (Crc32(member.bytes.get(), member.size) != crc) return Fault::ArchiveCrcWrong;
    return Fault::None;
}

}  // namespace bloktar::compat
