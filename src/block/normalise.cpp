#include <cstring>

#include "block/block.hpp"

namespace bloktar {

// Each signature is the first face's vertex order 3 2 1 0, 3 0 1 2, 0 1 3 2 or 0 2 3 1, counted
// within the block's eight vertices.
const std::int32_t LayoutSignatureTable[4][4] = {
    {3, -1, -1, -1},
    {3, -3, 1, 1},
    {0, 1, 2, -1},
    {0, 2, 1, -2},
};

// Output corner k takes the gathered corner CornerOrderTable[L][k].
const std::int32_t CornerOrderTable[4][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7},
    {0, 3, 2, 1, 4, 7, 6, 5},
    {1, 3, 5, 7, 0, 2, 4, 6},
    {1, 7, 5, 3, 0, 6, 4, 2},
};

// Output face slot f takes the gathered face FaceOrderTable[L][f].
const std::int32_t FaceOrderTable[4][6] = {
    {0, 1, 2, 3, 4, 5},
    {0, 1, 5, 4, 3, 2},
    {5, 4, 0, 1, 2, 3},
    {5, 4, 3, 2, 1, 0},
};

// UV corner j of output slot f takes UV corner UvRotationTable[L][f][j] of the face placed there.
const std::int32_t UvRotationTable[4][6][4] = {
    {{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}},
    {{2, 3, 0, 1}, {0, 1, 2, 3}, {3, 0, 1, 2}, {3, 0, 1, 2}, {3, 0, 1, 2}, {3, 0, 1, 2}},
    {{1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}},
    {{1, 2, 3, 0}, {3, 0, 1, 2}, {2, 3, 0, 1}, {2, 3, 0, 1}, {2, 3, 0, 1}, {2, 3, 0, 1}},
};

int RecogniseBlockLayout(const BlockPattern& pattern) {
    for (int layout = 0; layout < 4; ++layout) {
        if (std::memcmp(pattern.Dif[0], LayoutSignatureTable[layout], sizeof pattern.Dif[0]) == 0) {
            return layout;
        }
    }
    return -1;
}

void NormaliseBlockLayout(BlockCorners& corners, const BlockPattern& pattern, BlockFaces& faces) {
    const int layout = RecogniseBlockLayout(pattern);
    if (layout <= 0) return;  // layout 0 is the BD1 layout; no match stays as gathered

    // Every value is moved whole (bit for bit) from a snapshot of the gathered block.
    const BlockCorners gatheredCorners = corners;
    const BlockFaces gatheredFaces = faces;
    for (int k = 0; k < kBlockCorners; ++k) {
        const int from = CornerOrderTable[layout][k];
        std::memcpy(&corners.x[k], &gatheredCorners.x[from], sizeof(float));
        std::memcpy(&corners.y[k], &gatheredCorners.y[from], sizeof(float));
        std::memcpy(&corners.z[k], &gatheredCorners.z[from], sizeof(float));
    }
    for (int f = 0; f < kBlockFaces; ++f) {
        const int from = FaceOrderTable[layout][f];
        for (int j = 0; j < kFaceCornerCount; ++j) {
            const int corner = UvRotationTable[layout][f][j];
            std::memcpy(&faces.u[f][j], &gatheredFaces.u[from][corner], sizeof(float));
            std::memcpy(&faces.v[f][j], &gatheredFaces.v[from][corner], sizeof(float));
        }
        faces.texture[f] = gatheredFaces.texture[from];
    }
}

}  // namespace bloktar
