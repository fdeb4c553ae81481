// A picture of the blocks: an isometric view of filled boxes, in which blocks with a problem are
// outlined in red and numbered.
#pragma once

#include <array>
#include <span>
#include <string>

#include "bd1/bd1.hpp"

namespace bloktar::inspect {

struct BlockMark {
    bool problem;  // outlined in red and numbered, on top of everything else
    bool box;      // its corners stand in the BD1 order, so its six faces can be drawn; otherwise
                   // only its silhouette is
};

// Base colours (sRGB, 0 to 255) by texture number, which the picture, the page and the flat
// colours of an exported model share; none is close to the red of the problem outlines.
inline constexpr std::array<std::array<int, 3>, 10> kTexturePalette = {{
    {200, 168, 120},
    {127, 168, 201},
    {143, 191, 127},
    {181, 159, 208},
    {217, 195, 106},
    {127, 201, 192},
    {170, 170, 170},
    {201, 160, 184},
    {159, 176, 217},
    {191, 191, 159},
}};
// The colour of a texture number that names no slot.
inline constexpr std::array<int, 3> kUnknownTextureColour = {128, 128, 128};

inline constexpr int kSvgWidth = 800;
inline constexpr int kSvgHeight = 600;

// The SVG document for blocks (one mark each). The view looks from above, from the front and from
// the side of positive x as the document has it (the records' x mirrored back); every face is
// shaded by its direction and tinted by its texture number; blocks are painted from the farthest
// to the nearest. A block with a coordinate that is not finite is left out.
std::string DrawBlocksSvg(std::span<const Bd1Block> blocks, std::span<const BlockMark> marks);

}  // namespace bloktar::inspect
