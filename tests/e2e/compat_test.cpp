// bloktar-compat on documents saved by today's modeller: each newer form (Ver 1.1 and 1.2, UTF-8
// text, binary vertices, .mqoz archives) must give exactly the console text and the BD1 file the
// converter gives for its Ver 1.0 form, worked out here by hand; every other document is the
// converter's; every refusal leaves what was there.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "conversion_fixtures.hpp"
#include "support/zip.hpp"

using namespace e2e;
using namespace testing_support;

namespace {

using Vertex = std::array<float, 3>;

std::string Crlf(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

// The document's vertices of a box (x as the document holds it, before the mirror).
std::vector<Vertex> DocumentVertices(const Box& box) {
    std::vector<Vertex> vertices;
    for (int k = 0; k < 8; ++k) {
        vertices.push_back({-static_cast<float>(box.corner + k),
                            static_cast<float>(box.corner + 10 + k),
                            static_cast<float>(box.corner + 20 + k)});
    }
    return vertices;
}

// A box object whose vertices are a BVertex chunk; its faces are the box's.
std::string BinaryObject(const std::string& name, const std::vector<Vertex>& vertices,
                         const Box& box) {
    std::string payload;
    for (const Vertex& v : vertices) payload += F32(v[0]) + F32(v[1]) + F32(v[2]);
    const std::string count = std::to_string(vertices.size());
    return "Object \"" + name + "\" {\n\tvisible 15\n\tBVertex " + count + " {\n\t\tVector " +
           count + " [" + std::to_string(payload.size()) + "]\n" + payload + "\n\t}\n\tface 6 {\n" +
           FaceLines(box) + "\t}\n}\n";
}

// The BD1 block of the box's faces with these corners (mirrored in x as the converter loads them).
ExpectedBlock BlockOf(const std::vector<Vertex>& vertices, const Box& box) {
    ExpectedBlock block = BoxBlock(box);
    for (int k = 0; k < 8; ++k) {
        block.x[k] = -vertices[static_cast<std::size_t>(k)][0];
        block.y[k] = vertices[static_cast<std::size_t>(k)][1];
        block.z[k] = vertices[static_cast<std::size_t>(k)][2];
    }
    return block;
}

float FromBytes(const char (&bytes)[5]) {
    float value;
    std::memcpy(&value, bytes, 4);
    return value;
}

std::string VersionLine(const std::string& version) {
    return Sjis("文書の形式\tFormat Text Ver " + version + " を Ver 1.0 として読む\n");
}
const std::string kUtf8Line = Sjis("文字コード\tUTF-8 を Shift_JIS に変換\n");
std::string BinaryLine(int chunks) {
    return Sjis("バイナリ頂点\t" + std::to_string(chunks) + " チャンクをテキストの頂点に変換\n");
}
std::string MemberLine(const std::string& name) {
    return Sjis("アーカイブ\t" + name + " を展開\n");
}

struct CompatRun {
    ProgramRun run;
    std::string dir;
    bool written = false;
    std::string output;
};

CompatRun RunOn(const std::string& name, const std::string& bytes,
                const std::string& earlier = "") {
    CompatRun c;
    c.dir = MakeTempDir();
    WriteFile(c.dir + "/" + name, bytes);
    if (!earlier.empty()) WriteFile(c.dir + "/" + name + ".bd1", earlier);
    c.run = RunCompat({name}, "ok\n", c.dir);
    c.written = FileExists(c.dir + "/" + name + ".bd1");
    if (c.written) c.output = ReadFile(c.dir + "/" + name + ".bd1");
    return c;
}

// Two boxes with the values of the fixtures, one with the edge values a payload may hold (signed
// zero, infinities, the smallest and largest floats) and one whose bytes hold a carriage return,
// a Ctrl-Z, "Eof", "}" and newlines, which must end or cut nothing.
const Box kFirst{100, 0, 0};
const Box kSecond{200, 1000, 2};
const std::vector<Vertex> kEdgeVertices = {
    {-0.0f, 0.0f, std::numeric_limits<float>::infinity()},
    {-std::numeric_limits<float>::infinity(), FLT_MAX, -FLT_MAX},
    {std::numeric_limits<float>::denorm_min(), FLT_MIN, 0.1f},
    {1e-7f, 123456.789f, -3.4e38f},
    {16777217.0f, 0.333333343f, 2.5f},
    {1.0f, -1.0f, 65504.0f},
    {7.0f, 8.0f, 9.0f},
    {1e10f, -1e-10f, 0.5f},
};
const std::vector<Vertex> kByteVertices = {
    {FromBytes("\r\n\r\x3f"), FromBytes("\x1a\x1a\x1a\x3f"), FromBytes("Eof\x3f")},
    {FromBytes("}\r\n\x3f"), FromBytes("\n}\n\x40"), FromBytes("\t}\r\x40")},
    {FromBytes("\x1a\n\x1a\x40"), FromBytes("Eof\x41"), FromBytes("}}}\x41")},
    {FromBytes("\r\r\r\x41"), FromBytes("\n\n\n\x42"), FromBytes("\0\0\x1a\x42")},
    {1, 2, 3},
    {4, 5, 6},
    {7, 8, 9},
    {10, 11, 12},
};

std::string ThreeBoxesBody(const std::string& texture, bool binary) {
    const std::string materials =
        Materials(3, MaterialLine("a", texture) + MaterialLine("b", "floor.bmp") +
                         MaterialLine("c", "roof.bmp"));
    if (!binary) {
        return materials + BoxObject("箱", kFirst) + BoxObject("two", kSecond);
    }
    return materials + BinaryObject("箱", DocumentVertices(kFirst), kFirst) +
           BinaryObject("edges", kEdgeVertices, kSecond) +
           BinaryObject("bytes", kByteVertices, kFirst);
}

const std::string kModernHeader = "Metasequoia Document\nFormat Text Ver ";

}  // namespace

TEST(CompatModernForms, ConvertLikeTheirVer10Form) {
    const std::string twoBoxes =
        Bd1({BoxBlock(kFirst), BoxBlock(kSecond)}, {Sjis("壁.bmp"), "floor.bmp", "roof.bmp"});
    const std::string threeBoxes =
        Bd1({BoxBlock(kFirst), BlockOf(kEdgeVertices, kSecond), BlockOf(kByteVertices, kFirst)},
            {Sjis("壁.bmp"), "floor.bmp", "roof.bmp"});
    const std::string utf8Binary =
        kModernHeader + "1.2\nCodePage utf8\n" + ThreeBoxesBody("壁.bmp", true) + "Eof\n";
    struct Case {
        const char* what;
        std::string document;
        std::string lines;
        int blocks;
        std::string bd1;
    };
    const Case cases[] = {
        {"Ver 1.1, CR LF",
         Crlf(kModernHeader + "1.1\n" + ThreeBoxesBody(Sjis("壁.bmp"), false) + "Eof\n"),
         VersionLine("1.1"), 2, twoBoxes},
        {"Ver 1.2, UTF-8, binary vertices", utf8Binary,
         VersionLine("1.2") + kUtf8Line + BinaryLine(3), 3, threeBoxes},
        {"Ver 1.2, CodePage UTF-8 in other cases, CR LF",
         Crlf(kModernHeader + "1.2\ncodepage UTF-8\n" + ThreeBoxesBody("壁.bmp", false) + "Eof\n"),
         VersionLine("1.2") + kUtf8Line, 2, twoBoxes},
        {"Ver 1.0, binary vertices, CodePage 932 dropped",
         kHeaderLines + "CodePage 932\n" + ThreeBoxesBody(Sjis("壁.bmp"), true) + "Eof\n",
         BinaryLine(3), 3, threeBoxes},
        {"Ver 1.1, CodePage 932 dropped, CR LF",
         Crlf(kModernHeader + "1.1\nCodePage 932\n" + ThreeBoxesBody(Sjis("壁.bmp"), false) +
              "Eof\n"),
         VersionLine("1.1"), 2, twoBoxes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CompatRun r = RunOn("DOC.mqo", c.document);
        EXPECT_EQ(r.run.out, c.lines + CompleteRun(c.blocks));
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.output, c.bd1);
        // The same out of an archive, whose member is translated in memory.
        const CompatRun archived = RunOn("DOC.mqoz", ZipArchive({{"doc.mqo", c.document, true}}));
        EXPECT_EQ(archived.run.out, MemberLine("doc.mqo") + c.lines + CompleteRun(c.blocks));
        EXPECT_EQ(archived.run.status, 0);
        EXPECT_EQ(archived.output, c.bd1);
    }
}

TEST(CompatModernForms, ArchivesGiveTheFirstMqoMember) {
    const std::string document =
        Crlf(kModernHeader + "1.1\n" + ThreeBoxesBody(Sjis("壁.bmp"), false) + "Eof\n");
    const std::string expected =
        Bd1({BoxBlock(kFirst), BoxBlock(kSecond)}, {Sjis("壁.bmp"), "floor.bmp", "roof.bmp"});
    for (const bool deflated : {true, false}) {
        SCOPED_TRACE(deflated ? "deflated" : "stored");
        const std::string archive =
            ZipArchive({{"thumbnail.bmp", "BM not a document", deflated},
                        {"house.mqx", "<xml/>", deflated},
                        {"House.MQO", document, deflated},
                        {"second.mqo", "Metasequoia Document\n", deflated}});
        // A name outside ASCII and the ending in capitals, as a drop hands them over.
        const CompatRun r = RunOn(deflated ? "house.mqoz" : "家の模型.MQOZ", archive);
        EXPECT_EQ(r.run.out, MemberLine("House.MQO") + VersionLine("1.1") + CompleteRun(2));
        EXPECT_EQ(r.run.status, 0);
        EXPECT_EQ(r.output, expected);
    }
}

// The generator's boxes in all four layouts, rewritten here into Ver 1.1 with binary vertices
// and into an archive of that: the BD1 file must be the generator's.
TEST(CompatModernForms, GeneratedBoxesInTheNewerForms) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(
        RunGenerator({"blocks", "40", dir + "/boxes.mqo", dir + "/expected.bd1", "--objects", "3"}),
        0);
    const std::string ver10 = ReadFile(dir + "/boxes.mqo");
    const std::string expected = ReadFile(dir + "/expected.bd1");
    std::string modern = ver10;
    modern.replace(modern.find("Ver 1.0"), 7, "Ver 1.1");
    int chunks = 0;
    for (std::size_t at; (at = modern.find("\tvertex ")) != std::string::npos; ++chunks) {
        const std::size_t open = modern.find("{\r\n", at) + 3;
        const std::size_t close = modern.find("\t}\r\n", open);
        std::string payload;
        int count = 0;
        for (const char* p = modern.c_str() + open; p < modern.c_str() + close; ++count) {
            for (int i = 0; i < 3; ++i) {
                char* end;
                payload += F32(static_cast<float>(std::strtod(p, &end)));
                p = end;
            }
            p += 2;  // CR LF
        }
        modern.replace(at, close - at,
                       "\tBVertex " + std::to_string(count) + " {\r\n\t\tVector " +
                           std::to_string(count) + " [" + std::to_string(payload.size()) + "]\r\n" +
                           payload + "\r\n");
    }
    ASSERT_GT(chunks, 3);
    const std::string lines = VersionLine("1.1") + BinaryLine(chunks);
    const CompatRun plain = RunOn("boxes.mqo", modern);
    EXPECT_EQ(plain.run.out, lines + CompleteRun(40));
    EXPECT_EQ(plain.output, expected);
    const CompatRun archived = RunOn("boxes.mqoz", ZipArchive({{"boxes.mqo", modern, true}}));
    EXPECT_EQ(archived.run.out, MemberLine("boxes.mqo") + lines + CompleteRun(40));
    EXPECT_EQ(archived.output, expected);

    // More chunks than the conversion follows while the document is planned (tens of thousands
    // of empty ones): the document is read the usual way once planned, with the same result.
    constexpr int kEmpty = 70000;
    std::string empties;
    for (int i = 0; i < kEmpty; ++i) {
        empties += "Object \"e\" {\r\n\tBVertex 0 {\r\n\t\tVector 0 [0]\r\n\r\n\t}\r\n}\r\n";
    }
    std::string crowded = modern;
    crowded.insert(crowded.rfind("Eof"), empties);
    const CompatRun many = RunOn("many.mqo", crowded);
    EXPECT_EQ(many.run.out, VersionLine("1.1") + BinaryLine(chunks + kEmpty) + CompleteRun(40));
    EXPECT_EQ(many.output, expected);
}

// Binary vertex chunks as documents write them besides the modeller's own indents: the closing
// line at the start of its line, indented with spaces or two tabs, with trailing blanks; the
// chunk's lines without an indent; LF line ends. Each reads as the text vertices do: the BD1
// file is the generator's, in a plain document and out of an archive.
TEST(CompatModernForms, BinaryChunksWhateverTheirIndents) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(
        RunGenerator({"blocks", "24", dir + "/boxes.mqo", dir + "/expected.bd1", "--objects", "3"}),
        0);
    const std::string ver10 = ReadFile(dir + "/boxes.mqo");
    const std::string expected = ReadFile(dir + "/expected.bd1");
    struct Form {
        const char* what;
        const char* chunkIndent;
        const char* vectorIndent;
        const char* closing;  // the closing line, without its line end
        bool crlf;
    };
    const Form forms[] = {
        {"closed at the line's start", "\t", "\t\t", "}", true},
        {"closed at the line's start, LF", "\t", "\t\t", "}", false},
        {"closed behind spaces, blanks behind", "\t", "\t\t", "  } \t", true},
        {"closed behind two tabs", "\t", "\t\t", "\t\t}", false},
        {"no indent anywhere", "", "", "}", true},
        {"spaces for indents", "  ", "    ", "  }", false},
    };
    for (const Form& form : forms) {
        SCOPED_TRACE(form.what);
        std::string text = ver10;
        if (!form.crlf) {
            for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
        }
        const std::string eol = form.crlf ? "\r\n" : "\n";
        std::string modern;
        int chunks = 0;
        std::size_t from = 0;
        for (std::size_t at; (at = text.find("\tvertex ", from)) != std::string::npos; ++chunks) {
            const std::size_t open = text.find("{" + eol, at) + 1 + eol.size();
            const std::size_t close = text.find("\t}" + eol, open);
            std::string payload;
            int count = 0;
            for (const char* p = text.c_str() + open; p < text.c_str() + close; ++count) {
                for (int i = 0; i < 3; ++i) {
                    char* end;
                    payload += F32(static_cast<float>(std::strtod(p, &end)));
                    p = end;
                }
                p += eol.size();
            }
            modern += text.substr(from, at - from) + form.chunkIndent + "BVertex " +
                      std::to_string(count) + " {" + eol + form.vectorIndent + "Vector " +
                      std::to_string(count) + " [" + std::to_string(payload.size()) + "]" + eol +
                      payload + eol + form.closing + eol;
            from = close + 2 + eol.size();
        }
        modern += text.substr(from);
        modern.replace(modern.find("Ver 1.0"), 7, "Ver 1.1");
        ASSERT_GE(chunks, 3);
        const std::string lines = VersionLine("1.1") + BinaryLine(chunks);
        const CompatRun plain = RunOn("boxes.mqo", modern);
        EXPECT_EQ(plain.run.out, lines + CompleteRun(24));
        EXPECT_EQ(plain.run.status, 0);
        EXPECT_EQ(plain.output, expected);
        const CompatRun archived = RunOn("boxes.mqoz", ZipArchive({{"boxes.mqo", modern, true}}));
        EXPECT_EQ(archived.run.out, MemberLine("boxes.mqo") + lines + CompleteRun(24));
        EXPECT_EQ(archived.output, expected);
    }
}

// Members of more than a MiB, which are inflated while the document is looked through: whole ones
// convert, and a fault that shows only at the member's end still refuses, with nothing written,
// also after the look through the document stopped early at a fault of its own.
TEST(CompatArchives, LargeMembersFailingLateOrNot) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(RunGenerator({"blocks", "2000", dir + "/big.mqo", dir + "/expected.bd1"}), 0);
    std::string big = ReadFile(dir + "/big.mqo");
    big.replace(big.find("Ver 1.0"), 7, "Ver 1.1");
    ASSERT_GT(big.size(), std::size_t{3} << 19);
    const std::string expected = ReadFile(dir + "/expected.bd1");
    // Stopped at line 5 by a binary vertex chunk of the wrong size; the rest is the big body.
    const std::string stopsEarly = kModernHeader + "1.1\nObject \"b\" {\n\tvisible 15\n" +
                                   "\tBVertex 1 {\n\t\tVector 1 [13]\n" + big;
    // The member's last byte changed after its CRC was taken (a stored member's bytes stand at
    // 30 + name length from the archive's start).
    auto lastByteFlipped = [](const std::string& document) {
        std::string archive = ZipArchive({{"a.mqo", document, false}});
        archive[30 + 5 + document.size() - 1] ^= 1;
        return archive;
    };
    // A deflated member's CRC field, in the local header and the central directory.
    auto crcFlipped = [](const std::string& document) {
        std::string archive = ZipArchive({{"a.mqo", document, true}});
        archive[14] ^= 1;
        archive[archive.find("PK\x01\x02") + 16] ^= 1;
        return archive;
    };
    const std::string crcWrong = "アーカイブ展開\t失敗\nアーカイブの文書の CRC が合わない\n";
    const std::string broken = "アーカイブ展開\t失敗\nアーカイブが壊れているか途中で切れている\n";
    struct Case {
        const char* what;
        std::string archive;
        std::string expected;  // UTF-8; empty for a whole conversion
    };
    const Case cases[] = {
        {"deflated, whole", ZipArchive({{"a.mqo", big, true}}), ""},
        {"stored, whole", ZipArchive({{"a.mqo", big, false}}), ""},
        {"stored, last byte changed", lastByteFlipped(big), crcWrong},
        {"deflated, CRC changed", crcFlipped(big), crcWrong},
        {"deflated, packed bytes cut in half", ZipArchive({{"a.mqo", big, true, true}}), broken},
        {"stopped early, whole", ZipArchive({{"a.mqo", stopsEarly, true}}),
         "形式変換\t失敗\nBVertex のデータの大きさが 12 × 頂点数でない: 行 5\n"},
        {"stopped early, last byte changed", lastByteFlipped(stopsEarly), crcWrong},
        {"stopped early, packed bytes cut in half", ZipArchive({{"a.mqo", stopsEarly, true, true}}),
         broken},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CompatRun r = RunOn("DOC.mqoz", c.archive, "EARLIER");
        if (c.expected.empty()) {
            EXPECT_EQ(r.run.out, MemberLine("a.mqo") + VersionLine("1.1") +
                                     CompleteRun(2000, {kTooManyBlocks}));
            EXPECT_EQ(r.run.status, 0);
            EXPECT_EQ(r.output, expected);
        } else {
            EXPECT_EQ(r.run.out, Sjis(c.expected));
            EXPECT_EQ(r.run.status, 1);
            EXPECT_EQ(r.output, "EARLIER");
            EXPECT_EQ(ListDirectory(r.dir), (std::vector<std::string>{"DOC.mqoz", "DOC.mqoz.bd1"}));
        }
    }
}

TEST(CompatModernForms, WarnsOfWhatTheConverterCannotSee) {
    const Box box{100, 0, 0};
    std::string pentagon = FaceLines(box);
    pentagon.replace(pentagon.find("4 V(3 2 1 0)"), 12, "5 V(3 2 1 0 4)");
    auto with = [&](const std::string& name, const std::string& lines, const std::string& faces,
                    int visible = 15) {
        return "Object \"" + name + "\" {\n" + lines + "\tvisible " + std::to_string(visible) +
               "\n\tvertex 8 {\n" + VertexLines(box) + "\t}\n\tface 6 {\n" + faces + "\t}\n}\n";
    };
    const std::string document =
        kModernHeader + "1.1\n" + with(Sjis("鏡"), "\tpatch 0\n\tmirror 1\n", FaceLines(box)) +
        with("curved", "\tpatch 3\n", FaceLines(box)) +
        with("turned", "\tlathe 3\n", FaceLines(box)) + with("five", "", pentagon + pentagon) +
        with("hidden", "\tmirror 1\n", pentagon, 0) + "Eof\n";
    const CompatRun r = RunOn("DOC.mqo", document);
    const std::string freeze = " (モデラーでフリーズしてから保存する)\n";
    EXPECT_EQ(r.run.out.substr(0, r.run.out.find("=====")),
              VersionLine("1.1") +
                  Sjis("警告\tオブジェクト \"鏡\": ミラーの片側しか文書にない" + freeze +
                       "警告\tオブジェクト \"curved\": 曲面の制御点しか文書にない" + freeze +
                       "警告\tオブジェクト \"turned\": 回転体の元の線しか文書にない" + freeze +
                       "警告\tオブジェクト \"five\": 5 頂点以上の面が 2 面ある "
                       "(そのブロックは完全にならない)\n"));
    EXPECT_EQ(r.run.status, 0);
    EXPECT_TRUE(r.written);
}

// Whatever is not translated is the converter's: its texts, its status, its file.
TEST(CompatStandsIn, ForTheConverterOnEveryOtherDocument) {
    const std::string banner = Banner();
    const std::string ver10 = Document(BoxObject("box", kFirst));
    const CompatRun plain = RunOn("DOC.mqo", ver10);
    EXPECT_EQ(plain.run.out, CompleteRun(1));
    EXPECT_EQ(plain.output, Bd1({BoxBlock(kFirst)}));
    // UTF-8 named but without binary vertices: a Ver 1.0 document is left as it is.
    const CompatRun named = RunOn(
        "DOC.mqo", kHeaderLines + "CodePage utf8\n\xff\n" + BoxObject("box", kFirst) + "Eof\n");
    EXPECT_EQ(named.run.out, CompleteRun(1));
    EXPECT_EQ(named.output, Bd1({BoxBlock(kFirst)}));

    const CompatRun ver13 = RunOn("DOC.mqo", kModernHeader + "1.3\n" + BoxObject("b", kFirst));
    EXPECT_EQ(ver13.run.out, BannerAndLoad() + Sjis("ヘッダー確認") +
                                 "tmpStr=Format Text Ver 1.3\n\n" +
                                 Sjis("\"Format Text Ver 1.0\"の確認失敗 \n"));
    EXPECT_EQ(ver13.run.status, 1);
    EXPECT_FALSE(ver13.written);

    const ProgramRun none = RunCompat({}, "ok\n", MakeTempDir());
    EXPECT_EQ(none.out, banner + Sjis("ファイルロード\t失敗\n"));
    EXPECT_EQ(none.status, 1);
    const ProgramRun missing = RunCompat({"gone.mqoz"}, "ok\n", MakeTempDir());
    EXPECT_EQ(missing.out, banner + Sjis("ファイルロード\t失敗\n"));
    EXPECT_EQ(missing.status, 1);
}

TEST(CompatRefusals, LeaveEveryEarlierOutputAsItWas) {
    const std::string bvertexAt4 = "Object \"b\" {\n\tvisible 15\n\tBVertex 1 {\n";
    const std::string one = F32(1) + F32(2) + F32(3);
    const std::string utf8Box = kModernHeader + "1.2\nCodePage utf8\n";
    const std::string document = Crlf(kModernHeader + "1.1\n" + BoxObject("box", kFirst) + "Eof\n");
    std::string badCrc = ZipArchive({{"a.mqo", document, false}});
    badCrc[30 + 5 + 100] ^= 1;  // a byte of the stored member
    std::string encrypted = ZipArchive({{"a.mqo", document, true}});
    encrypted[6] = 1;                                 // local header's flags
    encrypted[encrypted.find("PK\x01\x02") + 8] = 1;  // central directory's flags
    const std::string archive = ZipArchive({{"a.mqo", document, true}});
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;  // UTF-8
    };
    const Case cases[] = {
        {"DOC.mqo", utf8Box + "Object \"\xe5\xae\x8c\" {\n\xe5\xae\n",
         "形式変換\t失敗\nUTF-8 として読めないバイトがある: 行 5\n"},
        {"DOC.mqo", utf8Box + "\n\nObject \"caf\xc3\xa9\" {\n",
         "形式変換\t失敗\nShift_JIS にない文字 U+00E9: 行 6\n"},
        {"DOC.mqo", utf8Box + "Material 1 {\n\t\"\xf0\x9f\x98\x80\" tex(\"a.bmp\")\n}\n",
         "形式変換\t失敗\nShift_JIS にない文字 U+1F600: 行 5\n"},
        {"DOC.mqo", kModernHeader + "1.1\n" + bvertexAt4 + "\t\tVector 1 [13]\n" + one + "x\n",
         "形式変換\t失敗\nBVertex のデータの大きさが 12 × 頂点数でない: 行 5\n"},
        {"DOC.mqo", kModernHeader + "1.1\n" + bvertexAt4 + "\t\tVector 2 [24]\n" + one + one,
         "形式変換\t失敗\nBVertex のデータの大きさが 12 × 頂点数でない: 行 5\n"},
        {"DOC.mqo", kHeaderLines + "\n" + bvertexAt4 + "\t\tVector 1 [12]\n" + one.substr(0, 11),
         "形式変換\t失敗\nBVertex のデータが文書の終わりを越えている: 行 6\n"},
        {"DOC.mqo",
         kModernHeader + "1.1\n" + bvertexAt4 + "\t\tVector 1 [12]\n" + F32(1) +
             F32(std::nanf("")) + F32(3) + "\n",
         "形式変換\t失敗\nBVertex の頂点に NaN (数でない値) がある: 行 5\n"},
        {"DOC.mqo", kModernHeader + "1.1\n" + bvertexAt4 + "\t\t" + one + "\n",
         "形式変換\t失敗\nBVertex の Vector 行が読めない: 行 5\n"},
        {"DOC.mqo",
         kModernHeader + "1.1\n" + bvertexAt4 + "\t\tVector 1 [12]\n" + one + "\n\tface 6 {\n",
         "形式変換\t失敗\nBVertex の終わりの } 行がない: 行 5\n"},
        {"DOC.mqo", kModernHeader + "1.1\n" + bvertexAt4 + "\t\tVector 1 [12]\n" + one + "\n",
         "形式変換\t失敗\nBVertex の終わりの } 行がない: 行 5\n"},
        {"DOC.mqo",
         kModernHeader + "1.1\n" + bvertexAt4 + "\t\tVector 1 [12]\n" + one + "\n\t}x\n}\n",
         "形式変換\t失敗\nBVertex の終わりの } 行がない: 行 5\n"},
        {"DOC.mqoz", archive.substr(0, archive.size() / 2),
         "アーカイブ展開\t失敗\nアーカイブが壊れているか途中で切れている\n"},
        {"DOC.mqoz", document, "アーカイブ展開\t失敗\nアーカイブが壊れているか途中で切れている\n"},
        {"DOC.mqoz", badCrc, "アーカイブ展開\t失敗\nアーカイブの文書の CRC が合わない\n"},
        {"DOC.mqoz", ZipArchive({{"a.mqx", "<xml/>", true}, {"a.mqo.bak", document, true}}),
         "アーカイブ展開\t失敗\nアーカイブに .mqo の文書がない\n"},
        {"DOC.mqoz", encrypted,
         "アーカイブ展開\t失敗\nアーカイブの文書の圧縮方式に対応していない\n"},
    };
    // A fault far behind the end the converter reads to: the plan reads the whole document.
    std::string late = kModernHeader + "1.1\n";
    for (int i = 0; i < 3000; ++i) late += BoxObject("box" + std::to_string(i), kFirst);
    late += "Eof\n";
    const std::string lateLine = std::to_string(std::count(late.begin(), late.end(), '\n') + 3);
    late += bvertexAt4 + "\t\tVector 1 [12]\n" + F32(std::nanf("")) + F32(2) + F32(3) + "\n";
    const Case lateCase = {
        "DOC.mqo", late,
        "形式変換\t失敗\nBVertex の頂点に NaN (数でない値) がある: 行 " + lateLine + "\n"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const CompatRun r = RunOn(c.name, c.bytes, "EARLIER");
        EXPECT_EQ(r.run.out, Sjis(c.expected));
        EXPECT_EQ(r.run.status, 1);
        EXPECT_EQ(r.output, "EARLIER");
        EXPECT_EQ(ListDirectory(r.dir),
                  (std::vector<std::string>{c.name, std::string(c.name) + ".bd1"}));
    }
    const CompatRun r = RunOn(lateCase.name, lateCase.bytes, "EARLIER");
    EXPECT_EQ(r.run.out, Sjis(lateCase.expected));
    EXPECT_EQ(r.run.status, 1);
    EXPECT_EQ(r.output, "EARLIER");
    EXPECT_EQ(ListDirectory(r.dir), (std::vector<std::string>{"DOC.mqo", "DOC.mqo.bd1"}));
}
