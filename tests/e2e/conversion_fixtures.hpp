// Documents written for the end-to-end tests, and the console text and BD1 bytes that a run of
// the converter on them is expected to produce.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "support/documents.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

namespace e2e {

using testing_support::ExpectedBlock;
using testing_support::Sjis;
// The documents they are run on, built by the shared builders.
using testing_support::Box;
using testing_support::BoxBlock;
using testing_support::BoxObject;
using testing_support::BoxU;
using testing_support::BoxV;
using testing_support::Document;
using testing_support::FaceLine;
using testing_support::FaceLines;
using testing_support::kHeaderLines;
using testing_support::MaterialLine;
using testing_support::Materials;
using testing_support::Num;
using testing_support::Object;
using testing_support::VertexLines;

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
