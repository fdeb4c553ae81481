// Documents written for the end-to-end tests, and the console text and BD1 bytes that a run of
// the converter on them is expected to produce.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "support/expected.hpp"
#include "support/process.hpp"

namespace e2e {

using testing_support::ExpectedBlock;
using testing_support::Sjis;

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

// The block with the corners of one block and the faces of another.
inline ExpectedBlock CornersAndFaces(const ExpectedBlock& corners, const ExpectedBlock& faces) {
    ExpectedBlock block = faces;
    for (int k = 0; k < 8; ++k) {
        block.x[k] = corners.x[k];
        block.y[k] = corners.y[k];
        block.z[k] = corners.z[k];
    }
    return block;
}

// A block whose faces were never loaded: zero UVs and texture 0.
inline ExpectedBlock WithoutFaces(const ExpectedBlock& corners) {
    return CornersAndFaces(corners, ExpectedBlock{});
}

inline std::string Bd1(const std::vector<ExpectedBlock>& blocks,
                       const std::vector<std::string>& names = {}) {
    return testing_support::Bd1Bytes(names, static_cast<std::int16_t>(blocks.size()), blocks);
}

// Console text.

inline const char* const kTooManyBlocks = "ブロック数が上限(160)を超えている";
inline const char* const kBadRatio = "頂点数と面数の比率が異常";
inline const char* const kVerticesNotMultipleOf8 = "頂点数が８の倍数になっていない";
inline const char* const kFacesNotMultipleOf6 = "面数が６の倍数になっていない";

inline std::string StagesThroughSurvey() {
    return testing_support::BannerAndLoad() +
           Sjis("ヘッダー確認\t完了\n\nMQOファイル分析\t完了\n\n");
}

inline std::string StagesThroughGeometry() {
    return StagesThroughSurvey() + Sjis("Material分析\t完了\nObject分析\t完了\n\n");
}

// The report for the given block count and the texts of the failed checks, in order.
inline std::string Report(long long blocks, const std::vector<std::string>& failures) {
    const std::string rule = std::string(47, '-') + "\n";
    std::string text =
        rule + "変換結果\n" + rule + "総ブロック数\t" + std::to_string(blocks) + " \nエラー情報";
    for (const std::string& failure : failures) text += "\n  ・" + failure;
    if (failures.empty()) text += "\tなし";
    text += "\n" + rule + "\n変換完了\n";
    return Sjis(text);
}

// The console text of a run that converts the document from start to end.
inline std::string CompleteRun(long long blocks, const std::vector<std::string>& failures = {}) {
    return StagesThroughGeometry() +
           Sjis("BD1ヘッダ作成\t完了\nブロック作成\t完了\n書き込み\t完了\n\n") +
           Report(blocks, failures);
}

// Running the converter on a document DOC.mqo in a fresh directory.

struct Conversion {
    testing_support::ProgramRun run;
    std::string dir;
    std::string output;  // the bytes of DOC.mqo.bd1, when it exists
    bool written = false;
};

inline Conversion ConvertIn(const std::string& dir, std::string_view document,
                            std::string_view input = "ok\n") {
    Conversion conversion;
    conversion.dir = dir;
    testing_support::WriteFile(dir + "/DOC.mqo", document);
    conversion.run = testing_support::RunBloktar({"DOC.mqo"}, input, dir);
    conversion.written = testing_support::FileExists(dir + "/DOC.mqo.bd1");
    if (conversion.written) conversion.output = testing_support::ReadFile(dir + "/DOC.mqo.bd1");
    return conversion;
}

inline Conversion Convert(std::string_view document, std::string_view input = "ok\n") {
    return ConvertIn(testing_support::MakeTempDir(), document, input);
}

}  // namespace e2e
