#include "bd1/bd1.hpp"

#include <cstring>

namespace bloktar {

static_assert(sizeof(BlockCorners) + sizeof(BlockFaces) == offsetof(Bd1Block, flag));

void BuildBd1Header(Bd1Header& header, const TextureNameTable& table, std::int32_t blockCount) {
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const char* name = table.names[slot];
        const void* terminator = std::memchr(name, '\0', kTextureSlotSize - 1);
        const std::size_t length =
            terminator != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(terminator) - name)
                : kTextureSlotSize - 1;
        std::memcpy(header.textureNames[slot], name, length);
        header.textureNames[slot][length] = '\0';
    }
    header.blockCount = static_cast<std::int16_t>(static_cast<std::uint16_t>(blockCount & 0xFFFF));
}

void FillBd1Block(const BlockCorners& corners, const BlockFaces& faces, Bd1Block& record) {
    std::memcpy(&record, &corners, sizeof corners);
    std::memcpy(reinterpret_cast<unsigned char*>(&record) + sizeof corners, &faces, sizeof faces);
    record.flag = 1;
}

}  // namespace bloktar
