// A picture of the blocks: an isometric view of filled boxes, in which blocks with a problem are
// outlined in red and numbered.
#pragma once

#include <span>
#include <string>

#include "bd1/bd1.hpp"

namespace bloktar::inspect {

struct BlockMark {
    bool problem;  // outlined in red and numbered, on top of everything else
    bool box;      // its corners stand in the BD1 order, so its six faces can be drawn; otherwise
                   // only its silhouette is
};

inline constexpr int kSvgWidth = 800;
inline constexpr int kSvgHeight = 600;

// The SVG document for blocks (one mark each). The view looks from above, from the front and from
// the side of positive x as the document has it (the records' x mirrored back); every face is
// shaded by its direction and tinted by its texture number; blocks are painted from the farthest
// to the nearest. A block with a coordinate that is not finite is left out.
std::string DrawBlocksSvg(std::span<const Bd1Block> blocks, std::span<const BlockMark> marks);

}  // namespace bloktar::inspect
