// bloktar-reverse run as a process: the document it writes, every byte it prints, its exit
// status, and the round trip: the converter turns the document back into the BD1 file, byte for
// byte, for files the converter writes from generated documents and for hand-built records.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "conversion_fixtures.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

const std::string kBanner = Banner("BLOKTAR REVERSE");

// The console text of a run that writes the document, with the warning lines (without their
// mark) that it prints.
std::string WrittenRun(long long blocks, const std::vector<std::string>& warnings = {}) {
    std::string text = "ファイルロード\t完了\nBD1ファイル確認\t完了\n総ブロック数\t" +
                       std::to_string(blocks) + " \nドキュメント作成\t完了\n書き込み\t完了\n\n";
    for (const std::string& warning : warnings) text += "  ・" + warning + "\n";
    return kBanner + Sjis(text + "逆変換完了\n");
}

// A file refused by the file check, and one refused when its document is built.
std::string RefusedFile(const std::string& why) {
    return kBanner + Sjis("ファイルロード\t完了\nBD1ファイル確認\t失敗\n  ・" + why + "\n");
}
std::string RefusedDocument(long long blocks, const std::string& why) {
    return kBanner + Sjis("ファイルロード\t完了\nBD1ファイル確認\t完了\n総ブロック数\t" +
                          std::to_string(blocks) + " \nドキュメント作成\t失敗\n  ・" + why + "\n");
}

struct RoundTrip {
    ProgramRun reverse;
    bool documentWritten = false;
    std::string document;  // MAP.bd1.mqo
    ProgramRun convert;
    std::string converted;  // MAP.bd1.mqo.bd1
};

// bloktar-reverse on bd1 as MAP.bd1 in dir, then, when it wrote the document, the converter on
// the document.
RoundTrip ReverseAndConvertIn(const std::string& dir, const std::string& bd1) {
    RoundTrip trip;
    WriteFile(dir + "/MAP.bd1", bd1);
    trip.reverse = RunReverse({"MAP.bd1"}, "ok\n", dir);
    trip.documentWritten = FileExists(dir + "/MAP.bd1.mqo");
    if (!trip.documentWritten) return trip;
    trip.document = ReadFile(dir + "/MAP.bd1.mqo");
    trip.convert = RunBloktar({"MAP.bd1.mqo"}, "ok\n", dir);
    if (FileExists(dir + "/MAP.bd1.mqo.bd1")) trip.converted = ReadFile(dir + "/MAP.bd1.mqo.bd1");
    return trip;
}

// Expects the document written, the run as printed, and the converter to write `back`.
void ExpectRoundTrip(const std::string& bd1, const std::string& printed, const std::string& back) {
    const RoundTrip trip = ReverseAndConvertIn(MakeTempDir(), bd1);
    EXPECT_EQ(trip.reverse.out, printed);
    EXPECT_EQ(trip.reverse.status, 0);
    ASSERT_TRUE(trip.documentWritten);
    EXPECT_EQ(trip.convert.status, 0);
    EXPECT_TRUE(trip.converted == back) << "the converted file differs from the original";
}

std::string Bd1File(const std::vector<ExpectedBlock>& blocks,
                    const std::vector<std::string>& names = {}) {
    return Bd1Bytes(names, static_cast<std::int16_t>(blocks.size()), blocks);
}

void Put(std::string& bytes, std::size_t offset, const std::string& value) {
    bytes.replace(offset, value.size(), value);
}

// A unit cube in the BD1 order, corners 0 to 3 on top, x mirrored; UVs (0,0) (1,0) (1,1) (0,1).
ExpectedBlock UnitCube() {
    ExpectedBlock block{};
    const int square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 8; ++k) {
        block.x[k] = -static_cast<float>(square[k % 4][0]);
        block.y[k] = k < 4 ? 1.0f : 0.0f;
        block.z[k] = static_cast<float>(square[k % 4][1]);
    }
    for (int i = 0; i < 24; ++i) {
        block.u[i] = static_cast<float>(square[i % 4][0]);
        block.v[i] = static_cast<float>(square[i % 4][1]);
    }
    return block;
}

}  // namespace

// One block, every byte of the document written out by hand.
TEST(Reverse, DocumentOfOneBlock) {
    ExpectedBlock cube = UnitCube();
    cube.y[4] = -0.0f;
    cube.z[7] = 0.5f;
    cube.u[20] = 0.25f;
    const std::int32_t textures[6] = {1, 1, 0, 0, 0, 12};
    std::memcpy(cube.texture, textures, sizeof textures);
    const std::string material =
        "\" shader(3) col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.000) "
        "power(5.00)";
    // A name that ends in "(" stands after the first "(\"" of its line.
    const std::string bd1 = Bd1File({cube}, {"a.bmp", "b(.bmp"});
    std::string document =
        "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nScene {\r\n"
        "\tpos 0.0000 0.0000 1500.0000\r\n\tlookat 0.0000 0.0000 0.0000\r\n\thead -0.5236\r\n"
        "\tpich 0.5236\r\n\tortho 0\r\n\tzoom2 5.0000\r\n\tamb 0.250 0.250 0.250\r\n}\r\n"
        "Material 10 {\r\n";
    for (int s = 0; s < 10; ++s) {
        document += "\t\"tex" + std::to_string(s) + material;
        if (s == 0) document += " tex(\"a.bmp\")";
        if (s == 1) document += " tex(\"b(.bmp\")";
        document += "\r\n";
    }
    document +=
        "}\r\nObject \"blocks\" {\r\n\tdepth 0\r\n\tfolding 0\r\n"
        "\tscale 1.000000 1.000000 1.000000\r\n\trotation 0.000000 0.000000 0.000000\r\n"
        "\ttranslation 0.000000 0.000000 0.000000\r\n\tvisible 15\r\n\tlocking 0\r\n"
        "\tshading 1\r\n\tfacet 59.5\r\n\tcolor 0.898 0.498 0.698\r\n\tcolor_type 0\r\n"
        "\tvertex 8 {\r\n"
        "\t\t0 1 0\r\n\t\t1 1 0\r\n\t\t1 1 1\r\n\t\t0 1 1\r\n"
        "\t\t0 -0 0\r\n\t\t1 0 0\r\n\t\t1 0 1\r\n\t\t0 0 0.5\r\n"
        "\t}\r\n\tface 6 {\r\n"
        "\t\t4 V(3 2 1 0) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
        "\t\t4 V(4 5 6 7) M(1) UV(0 0 1 0 1 1 0 1)\r\n"
        "\t\t4 V(0 1 5 4) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
        "\t\t4 V(1 2 6 5) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
        "\t\t4 V(2 3 7 6) M(0) UV(0 0 1 0 1 1 0 1)\r\n"
        "\t\t4 V(3 0 4 7) M(12) UV(0.25 0 1 0 1 1 0 1)\r\n"
        "\t}\r\n}\r\nEof\r\n";
    const RoundTrip trip = ReverseAndConvertIn(MakeTempDir(), bd1);
    EXPECT_EQ(trip.reverse.out,
              WrittenRun(1, {"テクスチャ番号が 0 から 9 でない面 (テクスチャがない): 1"}));
    EXPECT_EQ(trip.reverse.status, 0);
    EXPECT_EQ(trip.document, document);
    EXPECT_EQ(trip.convert.out, e2e::CompleteRun(1));
    EXPECT_TRUE(trip.converted == bd1);
}

// Files the converter writes from generated documents: every box in each of the four layouts,
// over several objects, up to the most blocks a BD1 file holds.
TEST(Reverse, RoundTripOfConvertedGeneratedDocuments) {
    struct Case {
        int blocks;
        std::vector<std::string> options;
    };
    for (const Case& c :
         {Case{1, {}}, Case{7, {"--objects", "3"}}, Case{160, {}}, Case{32767, {}}}) {
        SCOPED_TRACE(c.blocks);
        const std::string dir = MakeTempDir();
        std::vector<std::string> args = {"blocks", std::to_string(c.blocks), dir + "/gen.mqo",
                                         dir + "/expected.bd1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(RunGenerator(args), 0);
        ASSERT_EQ(RunBloktar({"gen.mqo"}, "ok\n", dir).status, 0);
        const std::string bd1 = ReadFile(dir + "/gen.mqo.bd1");
        ASSERT_EQ(bd1, ReadFile(dir + "/expected.bd1"));
        ExpectRoundTrip(bd1, WrittenRun(c.blocks), bd1);
    }
}

// Records built by hand with the values a document finds hardest to carry, names of every kind,
// and random bit patterns (NaN excepted).
TEST(Reverse, RoundTripOfEdgeValuesNamesAndRandomRecords) {
    const float edges[] = {0.0f,
                           -0.0f,
                           std::numeric_limits<float>::denorm_min(),
                           -std::numeric_limits<float>::denorm_min(),
                           std::nextafter(FLT_MIN, 0.0f),
                           FLT_MIN,
                           FLT_MAX,
                           -FLT_MAX,
                           std::numeric_limits<float>::infinity(),
                           -std::numeric_limits<float>::infinity(),
                           0.1f,
                           -1.0f / 3.0f,
                           16777217.0f,
                           1e30f,
                           7.038531e-26f};
    const std::vector<std::string> names = {std::string(30, 'w'),
                                            "\x95\xc7\x82\xcc\x8a\x47.bmp",  // Shift_JIS
                                            "",
                                            "end(",
                                            "  spaces and \\back\\slash ",
                                            "(",
                                            "tab\there",
                                            "",
                                            std::string(15, '\x83') + std::string(15, '\x5c'),
                                            "last.bmp"};
    std::vector<ExpectedBlock> blocks(400);
    std::uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state >> 32);
    };
    long long outside = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        float* all = blocks[b].x;  // x, y, z, u and v: 72 floats in a row
        for (int i = 0; i < 72; ++i) {
            float value = edges[(b * 5 + static_cast<std::size_t>(i)) % std::size(edges)];
            if (b >= 20) {
                value = std::bit_cast<float>(next());
                if (std::isnan(value)) value = 1.5f;
            }
            all[i] = value;
        }
        for (int f = 0; f < 6; ++f) {
            const std::int32_t texture = b < 20 ? static_cast<std::int32_t>((b + f) % 10)
                                                : static_cast<std::int32_t>(next()) % 14;
            blocks[b].texture[f] = texture;
            if (texture < 0 || texture > 9) ++outside;
        }
    }
    const std::string bd1 = Bd1File(blocks, names);
    ExpectRoundTrip(bd1,
                    WrittenRun(400, {"テクスチャ番号が 0 から 9 でない面 (テクスチャがない): " +
                                     std::to_string(outside)}),
                    bd1);
}

// No blocks: the document has an empty object, and converts back into the 312-byte header.
TEST(Reverse, RoundTripOfAFileWithoutBlocks) {
    const std::string bd1 = Bd1File({}, {"only.bmp"});
    const RoundTrip trip = ReverseAndConvertIn(MakeTempDir(), bd1);
    EXPECT_EQ(trip.reverse.out, WrittenRun(0));
    EXPECT_NE(trip.document.find("\tcolor_type 0\r\n\tvertex 0 {\r\n\t}\r\n\tface 0 {\r\n\t}\r\n}"
                                 "\r\nEof\r\n"),
              std::string::npos);
    EXPECT_TRUE(trip.converted == bd1);
}

// Bytes behind a name's terminating zero cannot reach the document: it is written, says so in
// one line, and converts back into the file with those bytes zero.
TEST(Reverse, BytesBehindANamesZeroAreNamedInOneLine) {
    const std::string clean = Bd1File({UnitCube()}, {"a.bmp", "", "c.bmp"});
    std::string bd1 = clean;
    bd1[0 * 31 + 10] = 'j';
    bd1[1 * 31 + 30] = '\x01';
    bd1[9 * 31 + 5] = '\xff';
    ExpectRoundTrip(bd1,
                    WrittenRun(1, {"テクスチャ名の終端の後ろにある 0 でないバイトはドキュメントに"
                                   "残らない: スロット 0 1 9"}),
                    clean);
}

// Every refusal: its message, exit status 1, and no document: an earlier one stays as it was,
// and nothing else appears beside it.
TEST(Reverse, RefusalsSayWhatAndWhereAndWriteNothing) {
    const std::string three = Bd1File({UnitCube(), UnitCube(), UnitCube()});
    auto with = [](std::string bytes, std::size_t offset, const std::string& value) {
        Put(bytes, offset, value);
        return bytes;
    };
    auto name = [&](int slot, const std::string& bytes) { return with(three, 31u * slot, bytes); };
    const std::size_t block2 = 312 + 2 * 316;
    struct Case {
        std::string bytes;
        std::string printed;
    };
    const Case cases[] = {
        {"", RefusedFile("BD1ファイルがヘッダー (312 バイト) より短い: 0 バイト")},
        {three.substr(0, 311),
         RefusedFile("BD1ファイルがヘッダー (312 バイト) より短い: 311 バイト")},
        {with(three, 310, I32(-1).substr(0, 2)), RefusedFile("ヘッダーのブロック数が負: -1")},
        {with(three, 310, "\x02\x00"),
         RefusedFile("BD1ファイルの長さが合わない: 1260 バイト (ブロック数 2 なら 944 バイト)")},
        {with(three, 310, "\x05\x00"),
         RefusedFile("BD1ファイルの長さが合わない: 1260 バイト (ブロック数 5 なら 1892 バイト)")},
        {three + "x", RefusedFile("BD1ファイルの長さが合わない: 1261 バイト (ブロック数 3 なら "
                                  "1260 バイト)")},
        {with(three, 312 + 316 + 312, I32(0)), RefusedFile("ブロック 1 のフラグが 1 でない: 0")},
        {with(three, block2 + 96 + 4 * 5, F32(std::numeric_limits<float>::quiet_NaN())),
         RefusedDocument(3, "ブロック 2 の u[5] が NaN で、ドキュメントに書けない")},
        {with(three, block2 + 7 * 4, I32(0x7fc00001)),
         RefusedDocument(3, "ブロック 2 の x[7] が NaN で、ドキュメントに書けない")},
        {with(three, 312 + 64, I32(static_cast<std::int32_t>(0xff800001u))),
         RefusedDocument(3, "ブロック 0 の z[0] が NaN で、ドキュメントに書けない")},
        {name(3, "a\"b"),
         RefusedDocument(3, "テクスチャ名 3 の 2 バイト目 0x22 はドキュメントの行に書けない")},
        {name(0, "ab)"),
         RefusedDocument(3, "テクスチャ名 0 の 3 バイト目 0x29 はドキュメントの行に書けない")},
        {name(5, "\n"),
         RefusedDocument(3, "テクスチャ名 5 の 1 バイト目 0x0a はドキュメントの行に書けない")},
        {name(6, "x\ry"),
         RefusedDocument(3, "テクスチャ名 6 の 2 バイト目 0x0d はドキュメントの行に書けない")},
        {name(8, std::string(29, 'z') + "\x1a"),
         RefusedDocument(3, "テクスチャ名 8 の 30 バイト目 0x1a はドキュメントの行に書けない")},
        {name(9, std::string(31, 'n')),
         RefusedDocument(
             3, "テクスチャ名 9 が 31 バイトで終端がない (変換で書けるのは 30 バイトまで)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8FromSjis(c.printed));
        const std::string dir = MakeTempDir();
        WriteFile(dir + "/MAP.bd1", c.bytes);
        WriteFile(dir + "/MAP.bd1.mqo", "earlier");
        const ProgramRun run = RunReverse({"MAP.bd1"}, "ok\n", dir);
        EXPECT_EQ(run.out, c.printed);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(ReadFile(dir + "/MAP.bd1.mqo"), "earlier");
        EXPECT_EQ(ListDirectory(dir), (std::vector<std::string>{"MAP.bd1", "MAP.bd1.mqo"}));
    }
}

TEST(Reverse, FileThatCannotBeOpened) {
    const std::string dir = MakeTempDir();
    const std::string failed = kBanner + Sjis("ファイルロード\t失敗\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"missing.bd1"}, {"."}, {std::string(256, 'a')}}) {
        const ProgramRun run = RunReverse(args, "ok\n", dir);
        EXPECT_EQ(run.out, failed);
        EXPECT_EQ(run.status, 1);
    }
    EXPECT_TRUE(ListDirectory(dir).empty());
}
