// bloktar-inspect run as a process: every byte it prints and its exit status, on our sample, on
// documents with each kind of problem, on BD1 files, and on wrong command lines.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/documents.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

const std::string kRule = std::string(47, '-') + "\n";

// The texture table of documents with materials a.bmp and b.bmp.
const std::string kAbTextures = "テクスチャ名\n\t0\ta.bmp\n\t1\tb.bmp\n\n";
// The face slots of a cube from CubeFaceLines: top and bottom b.bmp, the sides a.bmp.
const std::string kAbCubeTextures =
    "\t面のテクスチャ\t1 b.bmp\t1 b.bmp\t0 a.bmp\t0 a.bmp\t0 a.bmp\t0 a.bmp\n";

// The summary of a document: blocks, blocks per layout 0 to 3 and unrecognised, blocks with
// problems, then the converter's checks as its report words them; under it, when any block has
// a problem, how many of them bloktar-repair would fix.
std::string DocumentSummary(int blocks, const std::vector<int>& perLayout, int problems,
                            const std::string& checks = "\tなし", int repairable = 0) {
    std::string text =
        kRule + "検査結果\n" + kRule + "総ブロック数\t" + std::to_string(blocks) + " \n";
    for (int layout = 0; layout < 5; ++layout) {
        text += "レイアウト " + (layout < 4 ? std::to_string(layout) : std::string("なし")) + "\t" +
                std::to_string(perLayout[layout]) + "\n";
    }
    text +=
        "問題のあるブロック\t" + std::to_string(problems) + "\nエラー情報" + checks + "\n" + kRule;
    if (problems > 0)
        text += "bloktar-repair で直せるブロック\t" + std::to_string(repairable) + "\n";
    return text;
}

struct Inspection {
    std::string out;  // decoded from Shift_JIS
    int status;
};

Inspection InspectIn(const std::string& dir, const std::vector<std::string>& args) {
    const ProgramRun run = RunInspector(args, dir);
    return {Utf8FromSjis(run.out), run.status};
}

Inspection InspectText(const std::string& text) {
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/doc.mqo", text);
    return InspectIn(dir, {"doc.mqo"});
}

std::string AbDocument(const std::string& objects) {
    return Document(MaterialChunk({"a.bmp", "b.bmp"}) + objects);
}

std::string Lines(const std::string& text, int first, int count) {
    std::size_t begin = 0;
    for (int i = 0; i < first; ++i) begin = text.find('\n', begin) + 1;
    std::size_t end = begin;
    for (int i = 0; i < count; ++i) end = text.find('\n', end) + 1;
    return text.substr(begin, end - begin);
}

// The lines of the sample's block records as BD1 holds them: a cube of side 100 whose lowest
// corner is (ox, oy, 0), x mirrored, corners 0 to 3 on top going (0,0) (1,0) (1,1) (0,1) in
// (x, z); every face's UV corners (0,0) (1,0) (1,1) (0,1); top and bottom floor.bmp, sides
// wall.bmp.
std::string SampleBd1Block(int number, int ox, int oy) {
    auto shown = [](float value) {
        return value == 0 && std::signbit(value) ? std::string("-0")
                                                 : std::to_string(static_cast<int>(value));
    };
    const int square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    std::string text = "ブロック " + std::to_string(number) + "\n";
    for (int k = 0; k < 8; ++k) {
        const float x = -static_cast<float>(ox + 100 * square[k % 4][0]);
        text += "\t角 " + std::to_string(k) + "\t" + shown(x) + " " +
                std::to_string(k < 4 ? oy + 100 : oy) + " " +
                std::to_string(100 * square[k % 4][1]) + "\n";
    }
    for (int f = 0; f < 6; ++f) {
        text += "\t面 " + std::to_string(f) + "\tテクスチャ " +
                (f < 2 ? "1 floor.bmp" : "0 wall.bmp") + "\tUV (0, 0) (1, 0) (1, 1) (0, 1)\n";
    }
    return text + "\n";
}

// The sample converted by the converter, in a fresh directory.
std::string ConvertedSample() {
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/sample.mqo"), dir + "/sample.mqo");
    EXPECT_EQ(RunBloktar({"sample.mqo"}, "ok\n", dir).status, 0);
    return dir;
}

const std::string kUsage = "使い方: bloktar-inspect [--svg 出力.svg] [--html 出力.html] ファイル\n";

}  // namespace

TEST(InspectorDocument, SampleHasFourWholeBlocksOneInEachLayout) {
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/sample.mqo"), dir + "/sample.mqo");
    const Inspection run = InspectIn(dir, {"sample.mqo"});
    const std::string textures =
        "\t面のテクスチャ\t1 floor.bmp\t1 floor.bmp\t0 wall.bmp\t0 wall.bmp\t0 wall.bmp\t0 "
        "wall.bmp\n";
    EXPECT_EQ(run.out,
              "テクスチャ名\n\t0\twall.bmp\n\t1\tfloor.bmp\n\n"
              "ブロック 0\t\"wall\"\tレイアウト 0\n" +
                  textures + "ブロック 1\t\"wall\"\tレイアウト 1\n" + textures +
                  "ブロック 2\t\"wall\"\tレイアウト 2\n" + textures +
                  "ブロック 3\t\"tower\"\tレイアウト 3\n" + textures + "\n" +
                  DocumentSummary(4, {1, 1, 1, 1, 0}, 0));
    EXPECT_EQ(run.status, 0);
}

TEST(InspectorDocument, BrokenExampleNamesItsTwoBrokenBoxes) {
    // Box 1's first face lists 11 10 8 9, which is no layout; the roof's face 3 names vertex 9,
    // which the roof does not have, and its face 4 is a triangle. Neither is a box that
    // bloktar-repair could put back: box 1's first face crosses itself.
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/broken.mqo"), dir + "/broken.mqo");
    const Inspection run = InspectIn(dir, {"broken.mqo"});
    const std::string textures =
        "\t面のテクスチャ\t1 floor.bmp\t1 floor.bmp\t0 wall.bmp\t0 wall.bmp\t0 wall.bmp\t0 "
        "wall.bmp\n";
    EXPECT_EQ(run.out,
              "テクスチャ名\n\t0\twall.bmp\n\t1\tfloor.bmp\n\n"
              "ブロック 0\t\"base\"\tレイアウト 0\n" +
                  textures + "ブロック 1\t\"base\"\tレイアウト なし\n" + textures +
                  "\t・レイアウトを認識できない (最初の面 V(11 10 8 9))\n"
                  "ブロック 2\t\"roof\"\tレイアウト 0\n" +
                  textures +
                  "\t・面 3 がブロック外の頂点を使っている: V(1 2 6 9)、"
                  "このブロックの頂点は 0 から 7\n"
                  "\t・面 4 が四角形でない (頂点数 3)\n\n" +
                  DocumentSummary(3, {2, 0, 0, 0, 1}, 2));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, UnrecognisedLayout) {
    const std::string faces = CornersFaceLine({3, 2, 0, 1}, 1) + Lines(CubeFaceLines(0), 1, 5);
    const Inspection run =
        InspectText(AbDocument(Object("box", 8, CubeVertexLines(0, 0, 0, 1), 6, faces)));
    EXPECT_EQ(run.out, kAbTextures + "ブロック 0\t\"box\"\tレイアウト なし\n" + kAbCubeTextures +
                           "\t・レイアウトを認識できない (最初の面 V(3 2 0 1))\n\n" +
                           DocumentSummary(1, {0, 0, 0, 0, 1}, 1));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, FaceNamingAVertexOfAnotherBlock) {
    // Block 1's face 9 (its fourth) is 9 10 14 13 with 13 replaced by vertex 5 of block 0.
    const std::string second = Lines(CubeFaceLines(8), 0, 3) + CornersFaceLine({9, 10, 14, 5}, 0) +
                               Lines(CubeFaceLines(8), 4, 2);
    const Inspection run = InspectText(
        AbDocument(Object("pair", 16, CubeVertexLines(0, 0, 0, 1) + CubeVertexLines(1, 0, 0, 1), 12,
                          CubeFaceLines(0) + second)));
    EXPECT_EQ(run.out, kAbTextures + "ブロック 0\t\"pair\"\tレイアウト 0\n" + kAbCubeTextures +
                           "ブロック 1\t\"pair\"\tレイアウト 0\n" + kAbCubeTextures +
                           "\t・面 9 がブロック外の頂点を使っている: V(9 10 14 5)、"
                           "このブロックの頂点は 8 から 15\n\n" +
                           DocumentSummary(2, {2, 0, 0, 0, 0}, 1));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, FacesThatAreNotQuadrilaterals) {
    const std::string faces = Lines(CubeFaceLines(0), 0, 1) + CornersFaceLine({4, 5, 6}, 1) +
                              Lines(CubeFaceLines(0), 2, 2) + CornersFaceLine({2, 3, 7, 6, 2}, 0) +
                              Lines(CubeFaceLines(0), 5, 1);
    const Inspection run =
        InspectText(AbDocument(Object("box", 8, CubeVertexLines(0, 0, 0, 1), 6, faces)));
    EXPECT_EQ(run.out, kAbTextures + "ブロック 0\t\"box\"\tレイアウト 0\n" + kAbCubeTextures +
                           "\t・面 1 が四角形でない (頂点数 3)\n"
                           "\t・面 4 が四角形でない (頂点数 5)\n\n" +
                           DocumentSummary(1, {1, 0, 0, 0, 0}, 1));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, FacesMissingForTheLastBlock) {
    // Ten faces for two blocks. The missing slots read as texture 0; the converter's report
    // flags the ratio and the face count.
    const Inspection run = InspectText(
        AbDocument(Object("pair", 16, CubeVertexLines(0, 0, 0, 1) + CubeVertexLines(1, 0, 0, 1), 10,
                          CubeFaceLines(0) + Lines(CubeFaceLines(8), 0, 4))));
    EXPECT_EQ(run.out, kAbTextures + "ブロック 0\t\"pair\"\tレイアウト 0\n" + kAbCubeTextures +
                           "ブロック 1\t\"pair\"\tレイアウト 0\n" + kAbCubeTextures +
                           "\t・面が足りない (6 面のうち 4 面)\n\n" +
                           DocumentSummary(2, {2, 0, 0, 0, 0}, 1,
                                           "\n  ・頂点数と面数の比率が異常"
                                           "\n  ・面数が６の倍数になっていない"));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, VerticesMissingForTheLastBlock) {
    // Sixteen vertices declared, twelve written.
    const Inspection run = InspectText(AbDocument(
        Object("pair", 16, CubeVertexLines(0, 0, 0, 1) + Lines(CubeVertexLines(1, 0, 0, 1), 0, 4),
               12, CubeFaceLines(0) + CubeFaceLines(8))));
    EXPECT_EQ(run.out, kAbTextures + "ブロック 0\t\"pair\"\tレイアウト 0\n" + kAbCubeTextures +
                           "ブロック 1\t\"pair\"\tレイアウト 0\n" + kAbCubeTextures +
                           "\t・頂点が足りない (8 個のうち 4 個)\n\n" +
                           DocumentSummary(2, {2, 0, 0, 0, 0}, 1));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, BoxSplitAcrossTwoObjects) {
    // "a" has box 0 and four vertices of box 1; "b" the other four and box 1's faces, numbered
    // as if the box were all its own: all but its first face name vertices b does not have.
    const std::string box1 = CubeVertexLines(1, 0, 0, 1);
    const Inspection run = InspectText(AbDocument(
        Object("a", 12, CubeVertexLines(0, 0, 0, 1) + Lines(box1, 0, 4), 6, CubeFaceLines(0)) +
        Object("b", 4, Lines(box1, 4, 4), 6, CubeFaceLines(0))));
    EXPECT_EQ(run.out, kAbTextures + "ブロック 0\t\"a\"\tレイアウト 0\n" + kAbCubeTextures +
                           "ブロック 1\t\"a\" \"b\"\tレイアウト 0\n" + kAbCubeTextures +
                           "\t・複数のオブジェクトにまたがっている\n"
                           "\t・\"b\" の面 1 がブロック外の頂点を使っている: V(4 5 6 7)\n"
                           "\t・\"b\" の面 2 がブロック外の頂点を使っている: V(0 1 5 4)\n"
                           "\t・\"b\" の面 3 がブロック外の頂点を使っている: V(1 2 6 5)\n"
                           "\t・\"b\" の面 4 がブロック外の頂点を使っている: V(2 3 7 6)\n"
                           "\t・\"b\" の面 5 がブロック外の頂点を使っている: V(3 0 4 7)\n\n" +
                           DocumentSummary(2, {2, 0, 0, 0, 0}, 1));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, TextureNumbersOutOfRangeAndWithoutName) {
    // Face 2 uses material 12 (no such slot), face 3 material 5 (a slot without a name).
    const std::string faces = Lines(CubeFaceLines(0), 0, 2) + CornersFaceLine({0, 1, 5, 4}, 12) +
                              CornersFaceLine({1, 2, 6, 5}, 5) + Lines(CubeFaceLines(0), 4, 2);
    const Inspection run =
        InspectText(AbDocument(Object("box", 8, CubeVertexLines(0, 0, 0, 1), 6, faces)));
    EXPECT_EQ(
        run.out,
        kAbTextures +
            "ブロック 0\t\"box\"\tレイアウト 0\n"
            "\t面のテクスチャ\t1 b.bmp\t1 b.bmp\t12 (範囲外)\t5 (名前なし)\t0 a.bmp\t0 a.bmp\n"
            "\t・テクスチャ番号が範囲外の面がある\n\n" +
            DocumentSummary(1, {1, 0, 0, 0, 0}, 1));
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorDocument, RefusesWhatCannotBeRead) {
    const std::string dir = MakeTempDir();
    const std::string loadFailed = "ファイルロード\t失敗\n";
    EXPECT_EQ(InspectIn(dir, {"missing.mqo"}).out, loadFailed);
    EXPECT_EQ(InspectIn(dir, {"missing.mqo"}).status, 1);
    EXPECT_EQ(InspectIn(dir, {"."}).out, loadFailed);
    // A path over 255 bytes is refused like the converter refuses it, even though it exists.
    const std::string longName = std::string(200, 'a') + "/" + std::string(60, 'b');
    std::filesystem::create_directory(dir + "/" + std::string(200, 'a'));
    WriteFile(dir + "/" + longName, ReadFile(SourcePath("examples/sample.mqo")));
    const Inspection overLong = InspectIn(dir, {longName});
    EXPECT_EQ(overLong.out, loadFailed);
    EXPECT_EQ(overLong.status, 1);

    const Inspection header = InspectText("Metasequoia Document\nFormat Text Ver 2.0\n");
    EXPECT_EQ(header.out,
              "ヘッダー確認tmpStr=Format Text Ver 2.0\n\n"
              "\"Format Text Ver 1.0\"の確認失敗 \n");
    EXPECT_EQ(header.status, 1);
}

TEST(InspectorBd1, ReadsBackTheConvertedSample) {
    const std::string dir = ConvertedSample();
    const Inspection run = InspectIn(dir, {"sample.mqo.bd1"});
    EXPECT_EQ(run.out, "テクスチャ名\n\t0\twall.bmp\n\t1\tfloor.bmp\n\n" + SampleBd1Block(0, 0, 0) +
                           SampleBd1Block(1, -100, 0) + SampleBd1Block(2, -200, 0) +
                           SampleBd1Block(3, -100, 100) + kRule + "検査結果\n" + kRule +
                           "総ブロック数\t4 \n問題のあるブロック\t0\n" + kRule);
    EXPECT_EQ(run.status, 0);
}

TEST(InspectorBd1, RefusesWrongLengthsAndFlags) {
    const std::string dir = ConvertedSample();
    const std::string bytes = ReadFile(dir + "/sample.mqo.bd1");
    ASSERT_EQ(bytes.size(), 1576u);

    WriteFile(dir + "/cut.bd1", bytes.substr(0, 1575));
    const Inspection cut = InspectIn(dir, {"cut.bd1"});
    EXPECT_EQ(cut.out,
              "BD1ファイル確認\t失敗\n"
              "BD1ファイルの長さが合わない: 1575 バイト (ブロック数 4 なら 1576 バイト)\n");
    EXPECT_EQ(cut.status, 1);

    WriteFile(dir + "/short.BD1", bytes.substr(0, 10));
    EXPECT_EQ(InspectIn(dir, {"short.BD1"}).out,
              "BD1ファイル確認\t失敗\nBD1ファイルがヘッダー (312 バイト) より短い: 10 バイト\n");

    std::string flagged = bytes;
    flagged.replace(312 + 2 * 316 + 312, 4, I32(7));
    WriteFile(dir + "/flag.bd1", flagged);
    const Inspection flag = InspectIn(dir, {"flag.bd1"});
    EXPECT_EQ(flag.out, "BD1ファイル確認\t失敗\nブロック 2 のフラグが 1 でない: 7\n");
    EXPECT_EQ(flag.status, 1);
}

TEST(InspectorBd1, TextureOutOfRangeIsAProblem) {
    // One all-zero block whose face 4 uses texture 10.
    ExpectedBlock block{};
    block.texture[4] = 10;
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/odd.bd1", Bd1Bytes({"a.bmp"}, 1, {block}));
    const Inspection run = InspectIn(dir, {"odd.bd1"});
    std::string expected = "テクスチャ名\n\t0\ta.bmp\n\nブロック 0\n";
    for (int k = 0; k < 8; ++k) expected += "\t角 " + std::to_string(k) + "\t0 0 0\n";
    for (int f = 0; f < 6; ++f) {
        expected += "\t面 " + std::to_string(f) + "\tテクスチャ " +
                    (f == 4 ? "10 (範囲外)" : "0 a.bmp") + "\tUV (0, 0) (0, 0) (0, 0) (0, 0)\n";
    }
    expected += "\t・テクスチャ番号が範囲外の面がある\n\n" + kRule + "検査結果\n" + kRule +
                "総ブロック数\t1 \n問題のあるブロック\t1\n" + kRule;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.status, 2);
}

TEST(InspectorCommandLine, HelpAndWrongArguments) {
    const std::string dir = MakeTempDir();
    const Inspection help = InspectIn(dir, {"--help"});
    EXPECT_EQ(
        help.out,
        kUsage +
            "ドキュメント (.mqo) をブロックごとに検査する。名前が .bd1 で終わるファイルは BD1 "
            "ファイルとして読む。\n"
            "  --svg 出力.svg    ブロックを等角図で描いた SVG ファイルを書く "
            "(問題のあるブロックは赤枠と番号)\n"
            "  --html 出力.html  ブロックを立体で描き、中を歩いて見られるページ (HTML ファイル) "
            "を書く\n"
            "  --help            この説明を表示する\n"
            "終了ステータス: 0 問題なし、1 読めない、2 問題のあるブロックがある\n");
    EXPECT_EQ(help.status, 0);

    const struct {
        std::vector<std::string> args;
        std::string message;
    } wrong[] = {
        {{"--frobnicate", "a.mqo"}, "不明なオプション: --frobnicate\n"},
        {{}, "ファイルが指定されていない\n"},
        {{"a.mqo", "b.mqo"}, "引数が多すぎる: b.mqo\n"},
        {{"a.mqo", "--svg"}, "--svg の後に出力ファイル名がない\n"},
        {{"a.mqo", "--html"}, "--html の後に出力ファイル名がない\n"},
        {{"--html=", "a.mqo"}, "--html の後に出力ファイル名がない\n"},
    };
    for (const auto& [args, message] : wrong) {
        SCOPED_TRACE(message);
        const Inspection run = InspectIn(dir, args);
        EXPECT_EQ(run.out, message + kUsage);
        EXPECT_EQ(run.status, 1);
    }
}

TEST(InspectorSvg, WritesThePictureOrSaysItCouldNot) {
    const std::string dir = ConvertedSample();
    const Inspection fromDocument = InspectIn(dir, {"--svg", "document.svg", "sample.mqo"});
    EXPECT_EQ(fromDocument.status, 0);
    EXPECT_TRUE(fromDocument.out.ends_with(kRule + "SVGファイル作成\t完了\n"));
    // The converted file draws the same picture: every block was recognised, so both draw boxes
    // from the same records.
    const Inspection fromBd1 = InspectIn(dir, {"sample.mqo.bd1", "--svg=bd1.svg"});
    EXPECT_EQ(fromBd1.status, 0);
    const std::string svg = ReadFile(dir + "/document.svg");
    EXPECT_TRUE(svg.starts_with("<?xml"));
    EXPECT_TRUE(svg.ends_with("</svg>\n"));
    EXPECT_EQ(ReadFile(dir + "/bd1.svg"), svg);

    const Inspection nowhere = InspectIn(dir, {"sample.mqo", "--svg", "no/such/dir/x.svg"});
    EXPECT_TRUE(nowhere.out.ends_with(kRule + "SVGファイル作成\t失敗\n"));
    EXPECT_EQ(nowhere.status, 1);
}
