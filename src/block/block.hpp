// Cutting the loaded arrays into blocks and bringing each block into the BD1 layout.
#pragma once

#include <cstdint>
#include <span>

#include "mqo/mqo.hpp"

namespace bloktar {

inline constexpr int kBlockCorners = 8;
inline constexpr int kBlockFaces = 6;
inline constexpr int kFaceCornerCount = 4;

// The eight corners of one block, shaped like the first 96 bytes of a BD1 block record.
struct BlockCorners {
    float x[kBlockCorners];
    float y[kBlockCorners];
    float z[kBlockCorners];
};
static_assert(sizeof(BlockCorners) == 96);

// The six faces of one block, shaped like the 216 bytes that follow the corners in a record.
struct BlockFaces {
    float u[kBlockFaces][kFaceCornerCount];
    float v[kBlockFaces][kFaceCornerCount];
    std::int32_t texture[kBlockFaces];
};
static_assert(sizeof(BlockFaces) == 216);
static_assert(offsetof(BlockFaces, v) == 96 && offsetof(BlockFaces, texture) == 192);

// The Dif values of the six faces, from which the layout is recognised.
struct BlockPattern {
    std::int32_t Dif[kBlockFaces][kFaceCornerCount];
};
static_assert(sizeof(BlockPattern) == 96);

// Fills faces and pattern from faces 6i to 6i+5; a face beyond the array's end gives zeros.
void GatherBlockFaces(BlockFaces& faces, BlockPattern& pattern, std::span<const MQO_FACE> faceArray,
                      std::int32_t block);

// Fills corners from vertices 8i to 8i+7, which the caller guarantees to exist.
void GatherBlockCorners(BlockCorners& corners, std::span<const MQO_VERTEX> vertexArray,
                        std::int32_t block);

// The four recognised layouts, by the first face's Dif values, and how each maps onto layout 0.
extern const std::int32_t LayoutSignatureTable[4][4];
extern const std::int32_t CornerOrderTable[4][8];
extern const std::int32_t FaceOrderTable[4][6];
extern const std::int32_t UvRotationTable[4][6][4];

// The layout (0 to 3) whose signature the first face carries, or -1 for none.
int RecogniseBlockLayout(const BlockPattern& pattern);

// Rewrites corners, face order, texture indices and UV corners into layout 0; a block whose
// first face matches no layout stays as gathered.
void NormaliseBlockLayout(BlockCorners& corners, const BlockPattern& pattern, BlockFaces& faces);

}  // namespace bloktar
