#include <cstring>

#include "block/block.hpp"

namespace bloktar {

void GatherBlockFaces(BlockFaces& faces, BlockPattern& pattern, std::span<const MQO_FACE> faceArray,
                      std::int32_t block) {
    const std::size_t first = static_cast<std::size_t>(block) * kBlockFaces;
    for (int f = 0; f < kBlockFaces; ++f) {
        const std::size_t index = first + static_cast<std::size_t>(f);
        if (index >= faceArray.size()) {
            std::memset(faces.u[f], 0, sizeof faces.u[f]);
            std::memset(faces.v[f], 0, sizeof faces.v[f]);
            std::memset(pattern.Dif[f], 0, sizeof pattern.Dif[f]);
            faces.texture[f] = 0;
            continue;
        }
        const MQO_FACE& face = faceArray[index];
        std::memcpy(faces.u[f], face.u, sizeof face.u);
        std::memcpy(faces.v[f], face.v, sizeof face.v);
        std::memcpy(pattern.Dif[f], face.Dif, sizeof face.Dif);
        faces.texture[f] = face.M;
    }
}

void GatherBlockCorners(BlockCorners& corners, std::span<const MQO_VERTEX> vertexArray,
                        std::int32_t block) {
    const std::size_t first = static_cast<std::size_t>(block) * kBlockCorners;
    for (int k = 0; k < kBlockCorners; ++k) {
        const MQO_VERTEX& vertex = vertexArray[first + static_cast<std::size_t>(k)];
        std::memcpy(&corners.x[k], &vertex.x, sizeof(float));
        std::memcpy(&corners.y[k], &vertex.y, sizeof(float));
        std::memcpy(&corners.z[k], &vertex.z, sizeof(float));
    }
}

}  // namespace bloktar
