#include "bd1/bd1_reader.hpp"

#include <cstring>

namespace bloktar {

namespace {

// Judges a file of length bytes by its header, if it was read: sets the fault the header and
// length show, and returns true when there is none.
bool JudgeHeader(const Bd1Header& header, bool headerRead, std::uint64_t length,
                 Bd1Reading& reading) {
    reading.length = length;
    if (!headerRead || length < sizeof(Bd1Header)) {
        reading.fault = Bd1Fault::TooShort;
        return false;
    }
    reading.blockCount = header.blockCount;
    if (header.blockCount < 0) {
        reading.fault = Bd1Fault::NegativeCount;
        return false;
    }
    if (length !=
        sizeof(Bd1Header) + sizeof(Bd1Block) * static_cast<std::size_t>(header.blockCount)) {
        reading.fault = Bd1Fault::LengthMismatch;
        return false;
    }
    return true;
}

// Judges the records' flags; on success the header and records become the reading's.
void JudgeRecords(const Bd1Header& header, std::vector<Bd1Block>& blocks, Bd1Reading& reading) {
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].flag != 1) {
            reading.fault = Bd1Fault::FlagNotOne;
            reading.faultyBlock = static_cast<std::int32_t>(i);
            reading.faultyFlag = blocks[i].flag;
            return;
        }
    }
    reading.fault = Bd1Fault::None;
    reading.header = header;
    reading.blocks = std::move(blocks);
}

// Reads up to size bytes into room; returns how many came.
std::size_t ReadUpTo(std::FILE* file, void* room, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const std::size_t more = std::fread(static_cast<char*>(room) + got, 1, size - got, file);
        if (more == 0) break;
        got += more;
    }
    return got;
}

}  // namespace

void ReadBd1FileBytes(std::span<const unsigned char> bytes, std::uint64_t length,
                      Bd1Reading& reading) {
    Bd1Header header{};
    const bool headerRead = bytes.size() >= sizeof header;
    if (headerRead) std::memcpy(&header, bytes.data(), sizeof header);
    if (!JudgeHeader(header, headerRead, length, reading)) return;
    if (bytes.size() != static_cast<std::size_t>(length)) {
        reading.fault = Bd1Fault::LengthMismatch;
        return;
    }
    const auto count = static_cast<std::size_t>(header.blockCount);
    std::vector<Bd1Block> blocks(count);
    if (count > 0)
        std::memcpy(blocks.data(), bytes.data() + sizeof header, count * sizeof(Bd1Block));
    JudgeRecords(header, blocks, reading);
}

bool ReadBd1File(std::FILE* file, Bd1Reading& reading) {
    // The header, then the records it announces straight into their array, then whatever follows,
    // only counted.
    Bd1Header header{};
    std::uint64_t length = ReadUpTo(file, &header, sizeof header);
    const bool headerRead = length == sizeof header;
    std::vector<Bd1Block> blocks;
    if (headerRead && header.blockCount >= 0) {
        blocks.resize(static_cast<std::size_t>(header.blockCount));
        length += ReadUpTo(file, blocks.data(), blocks.size() * sizeof(Bd1Block));
    }
    unsigned char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) != 0;) length += got;
    if (std::ferror(file) != 0) return false;
    if (JudgeHeader(header, headerRead, length, reading)) JudgeRecords(header, blocks, reading);
    return true;
}

std::string_view SlotName(const Bd1Header& header, int slot) {
    const char* name = header.textureNames[slot];
    const void* end = std::memchr(name, '\0', kTextureSlotSize);
    return std::string_view(
        name, end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name)
                             : kTextureSlotSize);
}

}  // namespace bloktar
