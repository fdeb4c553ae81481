// The BD1 block file: a 312-byte header, then one 316-byte record per block, little-endian.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "block/block.hpp"
#include "mqo/mqo.hpp"

namespace bloktar {

static_assert(std::endian::native == std::endian::little,
              "BD1 records are held in memory in their little-endian file layout");

struct Bd1Header {
    char textureNames[kTextureSlots][kTextureSlotSize];
    std::int16_t blockCount;
};
static_assert(sizeof(Bd1Header) == 312);
static_assert(offsetof(Bd1Header, blockCount) == 310);

struct Bd1Block {
    float x[8];
    float y[8];
    float z[8];
    float u[24];
    float v[24];
    std::int32_t texture[6];
    std::int32_t flag;
};
static_assert(sizeof(Bd1Block) == 316);
static_assert(offsetof(Bd1Block, u) == 96 && offsetof(Bd1Block, v) == 192);
static_assert(offsetof(Bd1Block, texture) == 288 && offsetof(Bd1Block, flag) == 312);

inline constexpr std::int32_t kBd1MaxBlocks = 32767;

// The corners (0 to 7) that UV corners 0 to 3 of each face slot of a record belong to: the box's
// faces in the order the records hold them.
inline constexpr int kBd1FaceCorners[6][4] = {
    {3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7},
};

// Fills the zeroed header: each name up to its terminator, and the low 16 bits of blockCount.
void BuildBd1Header(Bd1Header& header, const TextureNameTable& table, std::int32_t blockCount);

// Fills one record from a normalised block.
void FillBd1Block(const BlockCorners& corners, const BlockFaces& faces, Bd1Block& record);

}  // namespace bloktar
