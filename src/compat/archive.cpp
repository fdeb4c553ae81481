#include "compat/archive.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#ifdef BLOKTAR_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#endif

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
// The most bytes that one byte of a deflate stream can stand for: a length of 258 from two codes
// of one bit each.
constexpr std::uint64_t kLargestInflation = 1032;

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

// The CRC-32 of bytes over any length, going on from crc: by ISA-L where there is ISA-L, which
// gives it in a fraction of zlib's time; else by zlib, which takes at most a uInt at a time.
std::uint32_t Crc32(std::uint32_t crc, const char* bytes, std::size_t size) {
#ifdef BLOKTAR_ISAL
    return crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(bytes), size);
#else
    uLong value = crc;
    const auto* at = reinterpret_cast<const Bytef*>(bytes);
    while (size > 0) {
        const auto step = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        value = crc32(value, at, step);
        at += step;
        size -= step;
    }
    return static_cast<std::uint32_t>(value);
#endif
}

// The bytes the worker makes ready at a time: large enough that handing them over costs
// nothing, small enough that the reader is never far behind.
constexpr std::size_t kChunk = std::size_t{1} << 20;

// Each inflater writes the member's raw deflate stream into bytes, room for size + 1, and calls
// ready(count) each time bytes[0, count) are made, a chunk at a time. It returns the count made,
// at most size + 1: the byte beyond size shows a stream longer than the member. whole says
// whether the stream ended there with exactly size bytes.
template <typename Ready>
std::size_t InflateWithZlib(const MemberLocation& location, char* bytes, bool& whole, Ready ready) {
    const std::size_t size = location.size;
    std::size_t done = 0;
    z_stream stream{};
    int status = inflateInit2(&stream, -MAX_WBITS);
    if (status == Z_OK) {
        stream.next_in = const_cast<Bytef*>(location.packed);
        stream.avail_in = static_cast<uInt>(location.packedSize);  // at most 4 GiB - 1: no ZIP64
        while (status == Z_OK && done <= size) {
            stream.next_out = reinterpret_cast<Bytef*>(bytes + done);
            stream.avail_out = static_cast<uInt>(std::min(size + 1 - done, kChunk));
            status = inflate(&stream, Z_NO_FLUSH);
            done = static_cast<std::size_t>(reinterpret_cast<char*>(stream.next_out) - bytes);
            if (done <= size) ready(done);
        }
        inflateEnd(&stream);
    }
    whole = status == Z_STREAM_END && done == size;
    return done;
}

#ifdef BLOKTAR_ISAL
template <typename Ready>
std::size_t InflateWithIsal(const MemberLocation& location, char* bytes, bool& whole, Ready ready) {
    const std::size_t size = location.size;
    std::size_t done = 0;
    whole = false;
    // Too large for a thread's stack (some 85 KiB). Without room for it nothing is made, and
    // the stream is judged as any other that is not made whole.
    const std::unique_ptr<inflate_state> state(new (std::nothrow) inflate_state);
    if (state == nullptr) return done;
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_DEFLATE;
    state->next_in = const_cast<std::uint8_t*>(location.packed);
    state->avail_in = static_cast<std::uint32_t>(location.packedSize);  // no ZIP64
    // A call ends with its chunk full, at the stream's end, or, the chunk not full, where the
    // input runs out or goes wrong.
    int status = ISAL_DECOMP_OK;
    bool more = true;
    while (more) {
        state->next_out = reinterpret_cast<std::uint8_t*>(bytes + done);
        state->avail_out = static_cast<std::uint32_t>(std::min(size + 1 - done, kChunk));
        status = isal_inflate(state.get());
        done = static_cast<std::size_t>(reinterpret_cast<char*>(state->next_out) - bytes);
        if (done <= size) ready(done);
        more = status == ISAL_DECOMP_OK && state->block_state != ISAL_BLOCK_FINISH &&
               state->avail_out == 0 && done <= size;
    }
    whole = status == ISAL_DECOMP_OK && state->block_state == ISAL_BLOCK_FINISH && done == size;
    return done;
}
#endif

}  // namespace

bool ReadWholeStream(std::FILE* file, Room& bytes, std::size_t& size) {
    size = 0;
    // The whole file in one read where its size can be told (a byte more shows its end).
    std::size_t room = std::size_t{1} << 20;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long end = std::ftell(file);
        if (end >= 0) room = std::max(room, static_cast<std::size_t>(end) + 1);
    }
    if (std::fseek(file, 0, SEEK_SET) != 0) return false;
    try {
        bytes = ObtainRoom(room);
        for (;;) {
            size += std::fread(bytes.get() + size, 1, room - size, file);
            if (size < room) return !std::ferror(file);
            // Longer than it was: twice the room.
            if (room > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
            Room larger = ObtainRoom(room * 2);
            std::memcpy(larger.get(), bytes.get(), size);
            bytes = std::move(larger);
            room *= 2;
        }
    } catch (const std::bad_alloc&) {
        bytes.reset();
        size = 0;
        return false;
    }
}

Fault LocateDocumentMember(const unsigned char* archive, std::size_t size, ArchiveMember& member,
                           MemberLocation& location) {
    member = ArchiveMember{};
    location = MemberLocation{};
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
    // A size that the packed bytes cannot inflate to is refused before room is made for it.
    if (method == kDeflated && fullSize > std::uint64_t{packedSize} * kLargestInflation) {
        return Fault::ArchiveBroken;
    }

    member.name.assign(reinterpret_cast<const char*>(entry + kCentralHeaderSize), Le16(entry + 28));
    member.utf8Name = (flags & kUtf8Name) != 0;
    location.deflated = method == kDeflated;
    location.packed = archive + data;
    location.packedSize = packedSize;
    location.size = fullSize;
    location.crc = crc;
    return Fault::None;
}

MemberInflation::MemberInflation(const MemberLocation& location, char* into)
    : location_(location), bytes_(into) {
    worker_.Run(&MemberInflation::Work, this);
}

void MemberInflation::Work(void* self) {
    static_cast<MemberInflation*>(self)->Inflate();
}

// The worker's side: bytes_ beyond the published count are its alone.
void MemberInflation::Inflate() {
    const std::size_t size = location_.size;
    const auto ready = [this](std::size_t count) { worker_.Publish(count, false); };
    std::size_t done = 0;
    if (!location_.deflated) {
        while (done < size) {
            const std::size_t step = std::min(size - done, kChunk);
            std::memcpy(bytes_ + done, location_.packed + done, step);
            done += step;
            ready(done);
        }
        whole_ = true;
    } else {
#ifdef BLOKTAR_ISAL
        done = InflateWithIsal(location_, bytes_, whole_, ready);
#else
        done = InflateWithZlib(location_, bytes_, whole_, ready);
#endif
    }
    worker_.Publish(std::min(done, size), true);
}

void MemberInflation::Catch() {
    if (ended_) return;
    bool final = false;
    const std::size_t ready = worker_.WaitBeyond(ready_, final);
    crc_ = Crc32(crc_, bytes_ + ready_, ready - ready_);
    ready_ = ready;
    ended_ = final;
}

std::size_t MemberInflation::Read(char* into, std::size_t size) {
    if (offset_ == ready_) Catch();
    const std::size_t count = std::min(size, ready_ - offset_);
    if (count > 0) std::memcpy(into, bytes_ + offset_, count);
    offset_ += count;
    return count;
}

Fault MemberInflation::Finish() {
    while (!ended_) Catch();
#ifdef BLOKTAR_ISAL
    // The verdict is zlib's. ISA-L takes some streams zlib refuses and may tell where a stream
    // goes wrong otherwise, so a stream it does not make whole with the right CRC is inflated
    // again by zlib, over the same room (the worker is done with it, and the reads are over),
    // and judged by what zlib makes of it. One it makes whole with the right CRC is taken: zlib
    // would refuse it only for a flaw ISA-L lets pass, of those tried only a code set that
    // leaves codes unused, which encoders do not write.
    if (location_.deflated && !(whole_ && crc_ == location_.crc)) {
        const std::size_t done = InflateWithZlib(location_, bytes_, whole_, [](std::size_t) {});
        ready_ = std::min(done, location_.size);
        crc_ = Crc32(0, bytes_, ready_);
        reinflated_ = true;
    }
#endif
    if (!whole_) return Fault::ArchiveBroken;
    return crc_ == location_.crc ? Fault::None : Fault::ArchiveCrcWrong;
}

Fault ExtractDocumentMember(const unsigned char* archive, std::size_t size, ArchiveMember& member) {
    MemberLocation location;
    const Fault fault = LocateDocumentMember(archive, size, member, location);
    if (fault != Fault::None) return fault;
    member.bytes = ObtainRoom(location.size + 1);
    member.size = location.size;
    MemberInflation inflation(location, member.bytes.get());
    return inflation.Finish();
}

}  // namespace bloktar::compat
