// bloktar-inspect on documents saved by today's modeller: the translation's lines first, then
// the rows and summary the inspector prints for the Ver 1.0 form, written out here by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/documents.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"
#include "support/zip.hpp"

using namespace testing_support;

namespace {

const std::string kRule = std::string(47, '-') + "\n";

// The rows and summary of one whole cube of layout 0 in object name, textures a.bmp and 壁.bmp.
std::string CubeInspection(const std::string& name) {
    return "テクスチャ名\n\t0\ta.bmp\n\t1\t壁.bmp\n\nブロック 0\t\"" + name +
           "\"\tレイアウト 0\n\t面のテクスチャ\t1 壁.bmp\t1 壁.bmp\t0 a.bmp\t0 a.bmp\t0 a.bmp\t0 "
           "a.bmp\n\n" +
           kRule + "検査結果\n" + kRule +
           "総ブロック数\t1 \nレイアウト 0\t1\nレイアウト 1\t0\nレイアウト 2\t0\nレイアウト "
           "3\t0\nレイアウト なし\t0\n問題のあるブロック\t0\nエラー情報\tなし\n" +
           kRule;
}

// A cube document with the given header version and lines after it; extra goes into the object
// chunk; binary stores the vertices as a BVertex chunk of the same floats.
std::string CubeDocument(const std::string& version, const std::string& after,
                         const std::string& name, const std::string& texture,
                         const std::string& extra, bool binary) {
    const std::string lines = CubeVertexLines(0, 0, 0, 1);
    std::string vertices = "\tvertex 8 {\n" + lines + "\t}\n";
    if (binary) {
        std::string payload;
        const char* p = lines.c_str();
        for (char* end;; p = end) {
            const double value = std::strtod(p, &end);
            if (end == p) break;
            payload += F32(static_cast<float>(value));
        }
        vertices = "\tBVertex 8 {\n\t\tVector 8 [96]\n" + payload + "\n\t}\n";
    }
    return "Metasequoia Document\nFormat Text Ver " + version + "\n" + after +
           "Material 2 {\n\t\"m0\" tex(\"a.bmp\")\n\t\"m1\" tex(\"" + texture + "\")\n}\n" +
           "Object \"" + name + "\" {\n\tvisible 15\n" + extra + vertices + "\tface 6 {\n" +
           CubeFaceLines(0) + "\t}\n}\nEof\n";
}

}  // namespace

TEST(InspectorModernForms, TellTheTranslationThenInspectTheVer10Form) {
    const std::string version11 = "文書の形式\tFormat Text Ver 1.1 を Ver 1.0 として読む\n";
    const std::string version12 = "文書の形式\tFormat Text Ver 1.2 を Ver 1.0 として読む\n";
    const std::string utf8 = "文字コード\tUTF-8 を Shift_JIS に変換\n";
    const std::string binary = "バイナリ頂点\t1 チャンクをテキストの頂点に変換\n";
    const std::string ver11 = CubeDocument("1.1", "", "box", Sjis("壁.bmp"), "", false);
    const std::string mirrored =
        CubeDocument("1.1", "", "box", Sjis("壁.bmp"), "\tmirror 1\n", false);
    struct Case {
        const char* what;
        std::string name;
        std::string bytes;
        std::string out;  // UTF-8
        int status;
    };
    const Case cases[] = {
        {"Ver 1.1", "doc.mqo", ver11, version11 + CubeInspection("box"), 0},
        {"Ver 1.1 with a mirror", "doc.mqo", mirrored,
         version11 +
             "警告\tオブジェクト \"box\": ミラーの片側しか文書にない "
             "(モデラーでフリーズしてから保存する)\n" +
             CubeInspection("box"),
         0},
        {"Ver 1.2, UTF-8 names", "doc.mqo",
         CubeDocument("1.2", "CodePage utf8\n", "箱", "壁.bmp", "", false),
         version12 + utf8 + CubeInspection("箱"), 0},
        {"deflated archive, binary vertices", "doc.mqoz",
         ZipArchive({{"thumb.bmp", "BM", true},
                     {"doc.mqo", CubeDocument("1.1", "", "box", Sjis("壁.bmp"), "", true), true}}),
         "アーカイブ\tdoc.mqo を展開\n" + version11 + binary + CubeInspection("box"), 0},
        {"stored archive of a Ver 1.0 document", "doc.MQOZ",
         ZipArchive(
             {{"doc.mqo", CubeDocument("1.0", "", "box", Sjis("壁.bmp"), "", false), false}}),
         "アーカイブ\tdoc.mqo を展開\n" + CubeInspection("box"), 0},
        {"archive cut short", "doc.mqoz", ZipArchive({{"doc.mqo", ver11, true}}).substr(0, 40),
         "アーカイブ展開\t失敗\nアーカイブが壊れているか途中で切れている\n", 1},
        {"UTF-8 text without a Shift_JIS form", "doc.mqo",
         CubeDocument("1.2", "CodePage utf8\n", "caf\xc3\xa9", "a.bmp", "", false),
         "形式変換\t失敗\nShift_JIS にない文字 U+00E9: 行 8\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = MakeTempDir();
        WriteFile(dir + "/" + c.name, c.bytes);
        const ProgramRun run = RunInspector({c.name}, dir);
        EXPECT_EQ(Utf8FromSjis(run.out), c.out);
        EXPECT_EQ(run.status, c.status);
    }
}

// The picture of an archive's document is the picture of the same document in Ver 1.0 form.
TEST(InspectorModernForms, DrawArchivesAsTheirVer10Form) {
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/old.mqo", CubeDocument("1.0", "", "box", "b.bmp", "", false));
    WriteFile(dir + "/new.mqoz",
              ZipArchive({{"new.mqo", CubeDocument("1.1", "", "box", "b.bmp", "", true), true}}));
    ASSERT_EQ(RunInspector({"old.mqo", "--svg", "old.svg"}, dir).status, 0);
    ASSERT_EQ(RunInspector({"new.mqoz", "--svg", "new.svg"}, dir).status, 0);
    const std::string picture = ReadFile(dir + "/old.svg");
    EXPECT_NE(picture.find("<svg"), std::string::npos);
    EXPECT_EQ(ReadFile(dir + "/new.svg"), picture);
}
