// Building our own test documents out of boxes: whole documents, their chunks and lines, for the
// unit and end-to-end tests alike.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/expected.hpp"

namespace testing_support {

inline const std::string kHeaderLines = "Metasequoia Document\nFormat Text Ver 1.0\n";

// A number as a modeller writes it into the document.
inline std::string Num(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// A box of eight vertices and six quadrilaterals whose values all differ from each other.
// As loaded (x already mirrored), corner k is (corner + k, corner + 10 + k, corner + 20 + k);
// UV corner j of face f is (uv + 10f + j + 0.5, uv + 100 + 10f + j + 0.25); face f has material
// texture + f. faceStart[f] is the start of face f's line, its corner count and V(...) list.
struct Box {
    int corner = 100;
    int uv = 0;
    int texture = 0;
    std::string faceStart[6] = {"4 V(3 2 1 0)", "4 V(4 5 6 7)", "4 V(0 4 5 1)",
                                "4 V(1 5 6 2)", "4 V(2 6 7 3)", "4 V(3 7 4 0)"};
};

inline float BoxU(const Box& box, int f, int j) {
    return static_cast<float>(box.uv + 10 * f + j) + 0.5f;
}
inline float BoxV(const Box& box, int f, int j) {
    return static_cast<float>(box.uv + 100 + 10 * f + j) + 0.25f;
}

// Vertex lines first to last - 1 of the box (the document holds x unmirrored).
inline std::string VertexLines(const Box& box, int first = 0, int last = 8) {
    std::string lines;
    for (int k = first; k < last; ++k) {
        const double x = box.corner + k;
        lines += "\t\t" + Num(-x) + " " + Num(box.corner + 10 + k) + " " +
                 Num(box.corner + 20 + k) + "\n";
    }
    return lines;
}

inline std::string FaceLine(const Box& box, int f) {
    std::string line =
        "\t\t" + box.faceStart[f] + " M(" + std::to_string(box.texture + f) + ") UV(";
    for (int j = 0; j < 4; ++j) {
        line += Num(BoxU(box, f, j)) + " " + Num(BoxV(box, f, j)) + (j < 3 ? " " : ")\n");
    }
    return line;
}

inline std::string FaceLines(const Box& box) {
    std::string lines;
    for (int f = 0; f < 6; ++f) lines += FaceLine(box, f);
    return lines;
}

inline std::string Object(const std::string& name, int vertexCount, const std::string& vertexLines,
                          int faceCount, const std::string& faceLines, int visible = 15) {
    return "Object \"" + name + "\" {\n\tdepth 0\n\tvisible " + std::to_string(visible) +
           "\n\tlocking 0\n\tshading 1\n\tvertex " + std::to_string(vertexCount) + " {\n" +
           vertexLines + "\t}\n\tface " + std::to_string(faceCount) + " {\n" + faceLines +
           "\t}\n}\n";
}

inline std::string BoxObject(const std::string& name, const Box& box, int visible = 15) {
    return Object(name, 8, VertexLines(box), 6, FaceLines(box), visible);
}

inline std::string MaterialLine(const std::string& name, const std::string& texture) {
    return "\t\"" + name +
           "\" shader(3) col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) tex(\"" + texture +
           "\")\n";
}

// A material chunk: "Material count {", the given lines, "}".
inline std::string Materials(int count, const std::string& lines) {
    return "Material " + std::to_string(count) + " {\n" + lines + "}\n";
}

// A whole document: the two header lines, body, the closing "Eof".
inline std::string Document(const std::string& body) {
    return kHeaderLines + body + "Eof\n";
}

// The BD1 block of a box in layout 0, as the box's lines give it.
inline ExpectedBlock BoxBlock(const Box& box) {
    ExpectedBlock block{};
    for (int k = 0; k < 8; ++k) {
        block.x[k] = static_cast<float>(box.corner + k);
        block.y[k] = static_cast<float>(box.corner + 10 + k);
        block.z[k] = static_cast<float>(box.corner + 20 + k);
    }
    for (int f = 0; f < 6; ++f) {
        for (int j = 0; j < 4; ++j) {
            block.u[f * 4 + j] = BoxU(box, f, j);
            block.v[f * 4 + j] = BoxV(box, f, j);
        }
        block.texture[f] = box.texture + f;
    }
    return block;
}

// The eight vertex lines of a cube with the given side whose lowest corner is (x, y, z): corners
// 0 to 3 on top, going (0,0) (1,0) (1,1) (0,1) in (x, z), corners 4 to 7 below them.
std::string CubeVertexLines(int x, int y, int z, int side);

// One face line: "\t\t<n> V(...) M(m) UV(...)" with n the number of vertices listed and the UV
// corners (0,0) (1,0) (1,1) (0,1) (as many as there are vertices).
std::string CornersFaceLine(const std::vector<int>& vertices, int material);

// The six faces of such a cube in the BD1 order (3 2 1 0, 4 5 6 7, 0 1 5 4, 1 2 6 5, 2 3 7 6,
// 3 0 4 7), its vertices numbered from base; top and bottom use material 1, the sides 0.
std::string CubeFaceLines(int base);

// A material chunk with one material per texture file name.
std::string MaterialChunk(const std::vector<std::string>& textures);

}  // namespace testing_support
