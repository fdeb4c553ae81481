// Building our own test documents out of boxes.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace testing_support {

// The two header lines, then body.
std::string MqoDocument(const std::string& body);

// A material chunk with one material per texture file name.
std::string MaterialChunk(const std::vector<std::string>& textures);

// The eight vertex lines of a cube with the given side whose lowest corner is (x, y, z): corners
// 0 to 3 on top, going (0,0) (1,0) (1,1) (0,1) in (x, z), corners 4 to 7 below them.
std::string CubeVertexLines(int x, int y, int z, int side);

// One face line: "\t\t<n> V(...) M(m) UV(...)" with n the number of vertices listed and the UV
// corners (0,0) (1,0) (1,1) (0,1) (as many as there are vertices).
std::string FaceLine(const std::vector<int>& vertices, int material);

// The six faces of such a cube in the BD1 order (3 2 1 0, 4 5 6 7, 0 1 5 4, 1 2 6 5, 2 3 7 6,
// 3 0 4 7), its vertices numbered from base; top and bottom use material 1, the sides 0.
std::string CubeFaceLines(int base);

// A visible object chunk declaring the given counts.
std::string ObjectChunk(const std::string& name, int vertexCount, const std::string& vertexLines,
                        int faceCount, const std::string& faceLines);

}  // namespace testing_support
