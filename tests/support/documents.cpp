#include "support/documents.hpp"

namespace testing_support {

std::string MaterialChunk(const std::vector<std::string>& textures) {
    std::string lines;
    for (std::size_t i = 0; i < textures.size(); ++i) {
        lines += MaterialLine("m" + std::to_string(i), textures[i]);
    }
    return Materials(static_cast<int>(textures.size()), lines);
}

std::string CubeVertexLines(int x, int y, int z, int side) {
    const int square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    std::string lines;
    for (int k = 0; k < 8; ++k) {
        lines += "\t\t" + std::to_string(x + side * square[k % 4][0]) + ".0000 " +
                 std::to_string(k < 4 ? y + side : y) + ".0000 " +
                 std::to_string(z + side * square[k % 4][1]) + ".0000\n";
    }
    return lines;
}

std::string CornersFaceLine(const std::vector<int>& vertices, int material) {
    static const char* const kUv[4] = {"0.00000 0.00000", "1.00000 0.00000", "1.00000 1.00000",
                                       "0.00000 1.00000"};
    std::string line = "\t\t" + std::to_string(vertices.size()) + " V(";
    std::string uv;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        if (i > 0) {
            line += ' ';
            uv += ' ';
        }
        line += std::to_string(vertices[i]);
        uv += kUv[i % 4];
    }
    return line + ") M(" + std::to_string(material) + ") UV(" + uv + ")\n";
}

std::string CubeFaceLines(int base) {
    const int faces[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    std::string lines;
    for (int f = 0; f < 6; ++f) {
        std::vector<int> vertices;
        for (int corner : faces[f]) vertices.push_back(base + corner);
        lines += CornersFaceLine(vertices, f < 2 ? 1 : 0);
    }
    return lines;
}

}  // namespace testing_support
