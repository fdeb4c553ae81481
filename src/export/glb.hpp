// A model of blocks as one binary glTF 2.0 file (.glb): every block's six faces as two triangles
// each, seen from outside the box, with flat normals, the records' UVs and the block's number
// on every vertex; one material per texture slot in use, and one for faces whose texture number
// names no slot.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "bd1/bd1.hpp"
#include "export/images.hpp"
#include "run/platform.hpp"

namespace bloktar::exporter {

// Every face's four corners are vertices of their own, interleaved: position (3 floats), normal
// (3 floats), UV (2 floats), the block's number (an unsigned 16-bit number) and 2 bytes of zero.
inline constexpr std::size_t kVertexStride = 36;
inline constexpr std::size_t kNormalOffset = 12;
inline constexpr std::size_t kUvOffset = 24;
inline constexpr std::size_t kBlockOffset = 32;
inline constexpr std::uint32_t kVerticesPerBlock = 24;  // six faces of four corners
inline constexpr std::uint32_t kIndicesPerBlock = 36;   // six faces of two triangles

// The material key of faces whose texture number names none of the ten slots.
inline constexpr int kNoSlotKey = kTextureSlots;
inline constexpr int kMaterialKeys = kTextureSlots + 1;

// The faces of the blocks by material key: texture numbers 0 to 9, then kNoSlotKey.
using FaceCounts = std::array<std::uint32_t, kMaterialKeys>;
FaceCounts CountFacesByMaterial(std::span<const Bd1Block> blocks);

// The first value that glTF cannot carry (a NaN or an infinity) among the blocks' corners and
// UVs, looked for block by block in the order x, y, z, u, v.
struct NonFinite {
    std::int32_t block = -1;  // -1: every value is finite
    char field = 0;           // 'x', 'y', 'z', 'u' or 'v'
    int index = 0;            // within the field
    bool nan = false;         // a NaN, otherwise an infinity
};
NonFinite FindNonFinite(std::span<const Bd1Block> blocks);

struct GlbModel {
    std::string name;  // UTF-8: the scene's and the node's name
    std::string generator;
    std::array<std::string, kTextureSlots> slotNames;  // UTF-8, empty where a slot has none
    std::array<SlotImage, kTextureSlots> images;
    std::span<const Bd1Block> blocks;  // every value finite
};

// The colour (linear, 0 to 1) of a material without an image: the page's flat colour of its
// texture number, or its grey for kNoSlotKey.
std::array<double, 3> FlatColour(int key);

struct GlbFile {
    Room bytes;
    std::size_t size = 0;
};

// The whole .glb file.
GlbFile BuildGlb(const GlbModel& model);

// The record's corner k in glTF's frame: the document's coordinates, x mirrored back.
inline std::array<float, 3> GltfCorner(const Bd1Block& block, int k) {
    return {-block.x[k], block.y[k], block.z[k]};
}

}  // namespace bloktar::exporter
