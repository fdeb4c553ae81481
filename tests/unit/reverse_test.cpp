// bloktar-reverse's parts: its texts, what its check refuses and notes, and that the documents it
// writes stay within the reader's line limits and convert back into the same records.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "reverse/document_writer.hpp"
#include "reverse/reverse_text.hpp"
#include "run/conversion.hpp"
#include "run/version.hpp"
#include "text_checks.hpp"

using namespace bloktar;
using namespace bloktar::reverse;

namespace {

const std::map<std::string, std::string> kIntended = {
    {"kBannerTitle", "BLOKTAR REVERSE Ver" BLOKTAR_VERSION " \n"},
    {"kBd1Check", "BD1ファイル確認"},
    {"kBlockCount", "総ブロック数\t"},
    {"kBlockCountEnd", " \n"},
    {"kDocumentBuild", "ドキュメント作成"},
    {"kMark", "  ・"},
    {"kNegativeCount", "ヘッダーのブロック数が負: "},
    {"kBlock", "ブロック "},
    {"kOf", " の "},
    {"kNotANumber", " が NaN で、ドキュメントに書けない\n"},
    {"kTextureName", "テクスチャ名 "},
    {"kByteAt", " バイト目 "},
    {"kUnwritableByte", " はドキュメントの行に書けない\n"},
    {"kUnterminated", " が 31 バイトで終端がない (変換で書けるのは 30 バイトまで)\n"},
    {"kTrailingBytes",
     "テクスチャ名の終端の後ろにある 0 でないバイトはドキュメントに残らない: スロット"},
    {"kFacesWithoutSlot", "テクスチャ番号が 0 から 9 でない面 (テクスチャがない): "},
    {"kReverseDone", "逆変換完了\n"},
};

Bd1Block PlainBlock() {
    Bd1Block block{};
    block.flag = 1;
    return block;
}

Bd1Header Names(const std::vector<std::string>& names) {
    Bd1Header header{};
    for (std::size_t s = 0; s < names.size(); ++s) {
        std::memcpy(header.textureNames[s], names[s].data(), names[s].size());
    }
    return header;
}

// The header and records as the converter writes them from the document, converted in memory.
std::vector<unsigned char> ConvertBack(const std::string& document) {
    Document opened;
    OpenMemoryDocument(opened, document.data(), document.size());
    MemoryConsole console;
    MemoryBd1Output output;
    EXPECT_EQ(ConvertDocument(opened, console, output).outcome, RunOutcome::Completed);
    EXPECT_TRUE(output.finished);
    return output.bytes;
}

// The BD1 file of the names and records.
std::vector<unsigned char> FileBytes(Bd1Header header, const std::vector<Bd1Block>& blocks) {
    header.blockCount = static_cast<std::int16_t>(blocks.size());
    std::vector<unsigned char> bytes(sizeof header + blocks.size() * sizeof(Bd1Block));
    std::memcpy(bytes.data(), &header, sizeof header);
    if (!blocks.empty()) {
        std::memcpy(bytes.data() + sizeof header, blocks.data(), blocks.size() * sizeof(Bd1Block));
    }
    return bytes;
}

// The same length and bytes; otherwise where the first difference stands.
void ExpectSameBytes(const std::vector<unsigned char>& converted,
                     const std::vector<unsigned char>& original) {
    ASSERT_EQ(converted.size(), original.size());
    const auto [at, ignored] = std::mismatch(converted.begin(), converted.end(), original.begin());
    EXPECT_EQ(at, converted.end()) << "first difference at byte " << (at - converted.begin());
}

}  // namespace

TEST(ReverseText, EveryTextDecodesToItsIntendedJapanese) {
    ExpectTextsAsIntended(bloktar::reverse::text::kAll, kIntended);
}

TEST(ReverseCheck, RefusesEveryNameByteALineCannotCarryAndAnUnterminatedSlot) {
    struct Case {
        std::string name;
        int slot;
        Obstacle obstacle;
        int position;
    };
    const Case cases[] = {
        {"a\"b", 3, Obstacle::UnwritableNameByte, 1},
        {"ab)", 0, Obstacle::UnwritableNameByte, 2},
        {"\n", 9, Obstacle::UnwritableNameByte, 0},
        {"x\ry", 5, Obstacle::UnwritableNameByte, 1},
        {"x\x1a", 1, Obstacle::UnwritableNameByte, 1},
        {std::string(31, 'n'), 7, Obstacle::UnterminatedName, 0},
        {"ok(", 2, Obstacle::None, 0},
        {std::string(30, 'n'), 4, Obstacle::None, 0},
        {"\x83\x65\x83\x4e.bmp", 6, Obstacle::None, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bd1Header header{};
        std::memcpy(header.textureNames[c.slot], c.name.data(), c.name.size());
        DocumentCheck check;
        CheckDocumentable(header, {}, check);
        EXPECT_EQ(check.obstacle, c.obstacle);
        if (c.obstacle == Obstacle::None) continue;
        EXPECT_EQ(check.slot, c.slot);
        if (c.obstacle == Obstacle::UnwritableNameByte) {
            EXPECT_EQ(check.position, c.position);
            EXPECT_EQ(check.byte, static_cast<unsigned char>(c.name[c.position]));
        }
    }
}

TEST(ReverseCheck, NamesTheFirstNaNByBlockFieldAndIndex) {
    struct Case {
        RecordField field;
        int index;
    };
    for (const Case c : {Case{RecordField::X, 7}, Case{RecordField::Y, 0}, Case{RecordField::Z, 3},
                         Case{RecordField::U, 23}, Case{RecordField::V, 5}}) {
        std::vector<Bd1Block> blocks(3, PlainBlock());
        float* fields[] = {blocks[2].x, blocks[2].y, blocks[2].z, blocks[2].u, blocks[2].v};
        fields[static_cast<int>(c.field)][c.index] = -std::numeric_limits<float>::quiet_NaN();
        blocks[2].v[23] = std::numeric_limits<float>::signaling_NaN();  // a later one
        DocumentCheck check;
        CheckDocumentable(Bd1Header{}, blocks, check);
        EXPECT_EQ(check.obstacle, Obstacle::NotANumber);
        EXPECT_EQ(check.block, 2);
        EXPECT_EQ(check.field, c.field);
        EXPECT_EQ(check.index, c.index);
    }
}

TEST(ReverseCheck, NotesBytesBehindANamesZeroAndFacesWithoutAMaterial) {
    Bd1Header header = Names({"a.bmp", "", "c"});
    header.textureNames[0][20] = 'x';
    header.textureNames[1][30] = 1;
    std::vector<Bd1Block> blocks(2, PlainBlock());
    const std::int32_t textures[12] = {0, 9, -1, 10, 3, 5, INT32_MIN, INT32_MAX, 2, 2, 1, 12};
    std::memcpy(blocks[0].texture, textures, sizeof blocks[0].texture);
    std::memcpy(blocks[1].texture, textures + 6, sizeof blocks[1].texture);
    DocumentCheck check;
    CheckDocumentable(header, blocks, check);
    EXPECT_EQ(check.obstacle, Obstacle::None);
    EXPECT_EQ(check.slotsWithTrailingBytes, 0b11u);
    EXPECT_EQ(check.facesWithoutSlot, 5);
}

// The longest texts every field can take: the longest float texts, the largest vertex numbers,
// the longest texture numbers and names, each line within the reader's limit for it, and the
// document turns back into the same records.
TEST(ReverseWriter, LongestLinesStayWithinTheReadersLimitsAndConvertBack) {
    const float longest[] = {-1.17549435e-38f, -1.00000012e-37f, -3.40282347e+38f, -1.23456791e-10f,
                             -std::numeric_limits<float>::infinity()};
    const Bd1Header header = Names({std::string(30, '\x81'), "a(", "", "x", std::string(30, 'y'),
                                    "", "", "", "", std::string(30, '\\')});
    std::vector<Bd1Block> blocks(kBd1MaxBlocks, PlainBlock());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        Bd1Block& block = blocks[b];
        for (int k = 0; k < 8; ++k) {
            block.x[k] = -longest[(b + k) % 5];  // written negated
            block.y[k] = longest[(b + k + 1) % 5];
            block.z[k] = longest[(b + k + 2) % 5];
        }
        for (int i = 0; i < 24; ++i) {
            block.u[i] = longest[(b + i) % 5];
            block.v[i] = longest[(b + i + 3) % 5];
        }
        for (int f = 0; f < 6; ++f) block.texture[f] = f % 2 == 0 ? INT32_MIN : INT32_MAX - f;
    }
    std::string document;
    WriteBlocksDocument(header, blocks, document);
    // Lines as the reader takes them, carriage returns removed, newline counted.
    std::size_t longestVertex = 0, longestFace = 0, longestMaterial = 0;
    enum { kOther, kMaterials, kVertices, kFaces } chunk = kOther;
    for (std::size_t at = 0; at < document.size();) {
        const std::size_t end = document.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = document.substr(at, end - at);
        at = end + 2;
        if (line.starts_with("Material ")) chunk = kMaterials;
        if (line.starts_with("\tvertex ")) chunk = kVertices;
        if (line.starts_with("\tface ")) chunk = kFaces;
        if (line.starts_with("\t}") || line == "}") chunk = kOther;
        if (!line.starts_with("\t")) continue;
        std::size_t& longestOfChunk = chunk == kVertices ? longestVertex
                                      : chunk == kFaces  ? longestFace
                                                         : longestMaterial;
        longestOfChunk = std::max(longestOfChunk, line.size() + 1);
    }
    EXPECT_LE(longestVertex, 127u);
    EXPECT_LE(longestFace, 255u);
    EXPECT_LE(longestMaterial, 254u);
    ExpectSameBytes(ConvertBack(document), FileBytes(header, blocks));
}

TEST(ReverseWriter, EdgeValuesAndNoBlocksConvertBack) {
    const float values[] = {0.0f,
                            -0.0f,
                            std::numeric_limits<float>::denorm_min(),
                            -std::numeric_limits<float>::denorm_min(),
                            FLT_MIN,
                            std::nextafter(FLT_MIN, 0.0f),
                            FLT_MAX,
                            -FLT_MAX,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            0.1f,
                            1.0f / 3.0f,
                            16777217.0f,
                            1e-45f,
                            7.038531e-26f};
    constexpr int kValues = sizeof values / sizeof values[0];
    const Bd1Header header = Names({"wall.bmp", "\x95\xc7.bmp"});
    std::vector<Bd1Block> blocks(5, PlainBlock());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        float* all = blocks[b].x;  // x, y, z, u and v: 72 floats in a row
        for (int i = 0; i < 72; ++i)
            all[i] = values[(b * 7 + static_cast<std::size_t>(i)) % kValues];
        for (int f = 0; f < 6; ++f) blocks[b].texture[f] = static_cast<std::int32_t>(b) * 3 - f;
    }
    std::string document;
    WriteBlocksDocument(header, blocks, document);
    ExpectSameBytes(ConvertBack(document), FileBytes(header, blocks));
    WriteBlocksDocument(header, {}, document);
    ExpectSameBytes(ConvertBack(document), FileBytes(header, {}));
}

// The document goes to its sink in pieces, as the in-memory text has it, whatever the pieces'
// bounds; a sink that refuses a piece ends the writing with false and is handed nothing more.
TEST(ReverseWriter, PiecesMakeTheWholeTextAndARefusalEndsTheWriting) {
    struct Sink final : DocumentSink {
        std::vector<std::string> pieces;
        std::size_t refuseAt = SIZE_MAX;
        bool Take(std::string_view piece) override {
            pieces.emplace_back(piece);
            return pieces.size() < refuseAt;
        }
    };
    std::vector<Bd1Block> blocks(5000, PlainBlock());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        float* all = blocks[b].x;  // x, y, z, u and v: 72 floats in a row
        for (int i = 0; i < 72; ++i) all[i] = static_cast<float>(b * 72 + i) * 0.37f - 9000.0f;
    }
    const Bd1Header header = Names({"a.bmp"});
    std::string whole;
    WriteBlocksDocument(header, blocks, whole);

    Sink all;
    EXPECT_TRUE(StreamBlocksDocument(header, blocks, all));
    EXPECT_GT(all.pieces.size(), 2u);
    std::string joined;
    for (const std::string& piece : all.pieces) joined += piece;
    EXPECT_EQ(joined, whole);
    ExpectSameBytes(ConvertBack(whole), FileBytes(header, blocks));

    Sink refusing;
    refusing.refuseAt = 2;
    EXPECT_FALSE(StreamBlocksDocument(header, blocks, refusing));
    EXPECT_EQ(refusing.pieces.size(), 2u);
}
