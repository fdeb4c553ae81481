#include "bd1/bd1_reader.hpp"

#include <algorithm>
#include <cstring>

namespace bloktar {

bool ReadBd1Stream(std::FILE* file, std::vector<unsigned char>& bytes, std::uint64_t& length) {
    unsigned char chunk[65536];
    length = 0;
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got == 0) break;
        length += got;
        const std::size_t room = static_cast<std::size_t>(kBd1MaxLength) - bytes.size();
        bytes.insert(bytes.end(), chunk, chunk + std::min(got, room));
    }
    return std::ferror(file) == 0;
}

void ReadBd1FileBytes(std::span<const unsigned char> bytes, std::uint64_t length,
                      Bd1Reading& reading) {
    reading.length = length;
    if (length < sizeof(Bd1Header) || bytes.size() < sizeof(Bd1Header)) {
        reading.fault = Bd1Fault::TooShort;
        return;
    }
    Bd1Header header;
    std::memcpy(&header, bytes.data(), sizeof header);
    reading.blockCount = header.blockCount;
    if (header.blockCount < 0) {
        reading.fault = Bd1Fault::NegativeCount;
        return;
    }
    const auto count = static_cast<std::size_t>(header.blockCount);
    if (length != sizeof(Bd1Header) + sizeof(Bd1Block) * count ||
        bytes.size() != static_cast<std::size_t>(length)) {
        reading.fault = Bd1Fault::LengthMismatch;
        return;
    }
    std::vector<Bd1Block> blocks(count);
    if (count > 0)
        std::memcpy(blocks.data(), bytes.data() + sizeof header, count * sizeof(Bd1Block));
    for (std::size_t i = 0; i < count; ++i) {
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

std::string_view SlotName(const Bd1Header& header, int slot) {
    const char* name = header.textureNames[slot];
    const void* end = std::memchr(name, '\0', kTextureSlotSize);
    return std::string_view(
        name, end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name)
                             : kTextureSlotSize);
}

}  // namespace bloktar
