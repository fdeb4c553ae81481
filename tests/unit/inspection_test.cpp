// The inspector's findings on documents held in memory, its reading of BD1 bytes, and its
// command line.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "inspect/command.hpp"
#include "inspect/inspection.hpp"
#include "inspect/print.hpp"
#include "run/conversion.hpp"
#include "support/documents.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace bloktar::inspect;
using bloktar::Bd1Fault;
using bloktar::Bd1Reading;
using bloktar::ReadBd1FileBytes;
using bloktar::SlotName;
using namespace testing_support;

namespace {

struct Inspected {
    DocumentOutcome outcome;
    DocumentInspection inspection;
    std::string printed;
};

Inspected Inspect(const std::string& text) {
    Inspected result{};
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    bloktar::MemoryConsole console;
    result.outcome = InspectDocument(document, console, result.inspection);
    result.printed = console.printed;
    return result;
}

// Arguments as a process gets them, kept alive with what was parsed from them.
struct CommandLine {
    explicit CommandLine(std::vector<std::string> args) : words(std::move(args)) {
        words.insert(words.begin(), "bloktar-inspect");
        for (std::string& word : words) argv.push_back(word.data());
        parsed = ParseInspectorArguments(static_cast<int>(argv.size()), argv.data());
    }
    std::vector<std::string> words;
    std::vector<char*> argv;
    InspectorArguments parsed;
};

std::vector<std::int32_t> Listed(const FaceReference& face) {
    return std::vector<std::int32_t>(face.V, face.V + face.listed);
}

// Two cubes in one object "pair", the second's faces as given.
std::string Pair(const std::string& firstFaces, const std::string& secondFaces, int faceCount) {
    return Document(MaterialChunk({"a.bmp", "b.bmp"}) +
                    Object("pair", 16, CubeVertexLines(0, 0, 0, 1) + CubeVertexLines(1, 0, 0, 1),
                           faceCount, firstFaces + secondFaces));
}

}  // namespace

TEST(InspectDocument, SampleHasOneBlockPerLayoutAndTheConvertersRecords) {
    const std::string text = ReadFile(SourcePath("examples/sample.mqo"));
    const Inspected result = Inspect(text);
    ASSERT_EQ(result.outcome, DocumentOutcome::Inspected);
    EXPECT_EQ(result.printed, "");

    const auto& objects = result.inspection.objects;
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0].name, "wall");
    EXPECT_EQ(objects[1].name, "guide");  // hidden: no records, starts where "tower" starts
    EXPECT_EQ(objects[2].name, "tower");
    EXPECT_EQ(objects[2].firstVertex, 24u);
    EXPECT_EQ(objects[2].firstFace, 18u);

    ASSERT_EQ(result.inspection.findings.size(), 4u);
    for (int block = 0; block < 4; ++block) {
        SCOPED_TRACE(block);
        const BlockFindings& findings = result.inspection.findings[block];
        EXPECT_EQ(findings.layout, block);
        EXPECT_EQ(findings.objects, std::vector<std::size_t>{block < 3 ? 0u : 2u});
        EXPECT_EQ(findings.localFirstVertex, block < 3 ? 8u * block : 0u);
        EXPECT_FALSE(HasProblem(findings));
    }

    // The header and records are byte for byte those the converter writes.
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    bloktar::MemoryConsole console;
    bloktar::MemoryBd1Output output;
    bloktar::ConvertDocument(document, console, output);
    ASSERT_TRUE(output.finished);
    ASSERT_EQ(output.bytes.size(), 312u + 4 * 316u);
    EXPECT_EQ(std::memcmp(output.bytes.data(), &result.inspection.header, 312), 0);
    EXPECT_EQ(std::memcmp(output.bytes.data() + 312, result.inspection.blocks.data(), 4 * 316), 0);
}

TEST(InspectDocument, FacesNamingOtherVerticesAndFacesThatAreNotQuadrilaterals) {
    // Block 0: face 2 names vertex 9 (block 1's) and face 4 names vertex -1; face 1 is a
    // triangle, face 5 has six corners (only four are stored). Block 1 is whole.
    const std::string first = CornersFaceLine({3, 2, 1, 0}, 1) + CornersFaceLine({4, 5, 6}, 1) +
                              CornersFaceLine({0, 1, 9, 4}, 0) + CornersFaceLine({1, 2, 6, 5}, 0) +
                              CornersFaceLine({2, 3, -1, 6}, 0) +
                              CornersFaceLine({3, 0, 4, 7, 6, 5}, 0);
    const Inspected result = Inspect(Pair(first, CubeFaceLines(8), 12));
    ASSERT_EQ(result.inspection.findings.size(), 2u);
    const BlockFindings& broken = result.inspection.findings[0];
    EXPECT_EQ(broken.layout, 0);
    ASSERT_EQ(broken.outsideFaces.size(), 2u);
    EXPECT_EQ(broken.outsideFaces[0].number, 2u);
    EXPECT_EQ(Listed(broken.outsideFaces[0]), (std::vector<std::int32_t>{0, 1, 9, 4}));
    EXPECT_EQ(broken.outsideFaces[1].number, 4u);
    ASSERT_EQ(broken.nonQuadrilaterals.size(), 2u);
    EXPECT_EQ(broken.nonQuadrilaterals[0].number, 1u);
    EXPECT_EQ(broken.nonQuadrilaterals[0].n, 3);
    EXPECT_EQ(Listed(broken.nonQuadrilaterals[0]), (std::vector<std::int32_t>{4, 5, 6}));
    EXPECT_EQ(broken.nonQuadrilaterals[1].number, 5u);
    EXPECT_EQ(broken.nonQuadrilaterals[1].n, 6);
    EXPECT_EQ(Listed(broken.nonQuadrilaterals[1]), (std::vector<std::int32_t>{3, 0, 4, 7}));
    EXPECT_TRUE(HasProblem(broken));

    const BlockFindings& whole = result.inspection.findings[1];
    EXPECT_EQ(whole.localFirstVertex, 8u);
    EXPECT_FALSE(HasProblem(whole));
}

TEST(InspectDocument, TextureNumbersOutsideTheTenSlots) {
    // Material 5 names an empty slot (shown, no problem); 12 and -1 name no slot at all.
    auto cube = [](int sideMaterial) {
        return CornersFaceLine({3, 2, 1, 0}, 1) + CornersFaceLine({4, 5, 6, 7}, 1) +
               CornersFaceLine({0, 1, 5, 4}, sideMaterial) + CornersFaceLine({1, 2, 6, 5}, 0) +
               CornersFaceLine({2, 3, 7, 6}, 0) + CornersFaceLine({3, 0, 4, 7}, 0);
    };
    for (const int material : {5, 12, -1}) {
        SCOPED_TRACE(material);
        const Inspected result =
            Inspect(Document(Object("box", 8, CubeVertexLines(0, 0, 0, 1), 6, cube(material))));
        ASSERT_EQ(result.inspection.findings.size(), 1u);
        EXPECT_EQ(result.inspection.blocks[0].texture[2], material);
        EXPECT_EQ(result.inspection.findings[0].textureOutOfRange, material != 5);
        EXPECT_EQ(HasProblem(result.inspection.findings[0]), material != 5);
    }
}

TEST(InspectDocument, RefusesWhatTheConverterRefusesWithItsTexts) {
    const Inspected noHeader = Inspect("Metasequoia Document\nFormat Text Ver 1.1\n");
    EXPECT_EQ(noHeader.outcome, DocumentOutcome::HeaderRejected);
    EXPECT_EQ(noHeader.printed, Sjis("ヘッダー確認tmpStr=Format Text Ver 1.1\n\n"
                                     "\"Format Text Ver 1.0\"の確認失敗 \n"));

    const Inspected empty = Inspect("");
    EXPECT_EQ(empty.outcome, DocumentOutcome::HeaderRejected);
    EXPECT_EQ(empty.printed, Sjis("ヘッダー確認\t読み込み失敗\n"));

    // 262,144 vertices make 32,768 blocks, one more than a BD1 file can count.
    const Inspected tooMany = Inspect(Document("Object \"x\" {\n\tvertex 262144 {\n\t}\n}\n"));
    EXPECT_EQ(tooMany.outcome, DocumentOutcome::BlockCountRefused);
    EXPECT_EQ(tooMany.printed, Sjis("ブロック数確認\t失敗\n"));
}

TEST(ReadBd1FileBytes, ReadsBackWhatTheConverterWrote) {
    const std::string text = Pair(CubeFaceLines(0), CubeFaceLines(8), 12);
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    bloktar::MemoryConsole console;
    bloktar::MemoryBd1Output output;
    bloktar::ConvertDocument(document, console, output);
    ASSERT_EQ(output.bytes.size(), 944u);

    Bd1Reading reading;
    ReadBd1FileBytes(output.bytes, output.bytes.size(), reading);
    ASSERT_EQ(reading.fault, Bd1Fault::None);
    EXPECT_EQ(reading.blockCount, 2);
    EXPECT_EQ(SlotName(reading.header, 0), "a.bmp");
    EXPECT_EQ(SlotName(reading.header, 1), "b.bmp");
    EXPECT_EQ(SlotName(reading.header, 2), "");
    ASSERT_EQ(reading.blocks.size(), 2u);
    // Block 1 is the cube at x = 1 to 2, mirrored: corner 1 at (-2, 1, 0), corner 6 at (-2, 0, 1).
    const bloktar::Bd1Block& block = reading.blocks[1];
    EXPECT_EQ(block.x[1], -2.0f);
    EXPECT_EQ(block.y[1], 1.0f);
    EXPECT_EQ(block.z[1], 0.0f);
    EXPECT_EQ(block.x[6], -2.0f);
    EXPECT_EQ(block.y[6], 0.0f);
    EXPECT_EQ(block.z[6], 1.0f);
    EXPECT_EQ(block.u[4 * 5 + 2], 1.0f);
    EXPECT_EQ(block.v[4 * 5 + 3], 1.0f);
    EXPECT_EQ(block.texture[0], 1);
    EXPECT_EQ(block.texture[5], 0);
    EXPECT_EQ(block.flag, 1);
}

TEST(ReadBd1FileBytes, RefusesWrongLengthsAndFlags) {
    // A header with count 1 and one record whose flag is 1.
    std::string bytes = Bd1Bytes({"a.bmp"}, 1, {ExpectedBlock{}});
    auto read = [](const std::string& b, std::uint64_t length) {
        Bd1Reading reading;
        ReadBd1FileBytes(std::span(reinterpret_cast<const unsigned char*>(b.data()), b.size()),
                         length, reading);
        return reading;
    };
    EXPECT_EQ(read(bytes, bytes.size()).fault, Bd1Fault::None);

    const Bd1Reading shortFile = read(bytes.substr(0, 311), 311);
    EXPECT_EQ(shortFile.fault, Bd1Fault::TooShort);
    EXPECT_EQ(shortFile.length, 311u);

    const Bd1Reading longer = read(bytes + "x", bytes.size() + 1);
    EXPECT_EQ(longer.fault, Bd1Fault::LengthMismatch);
    EXPECT_EQ(longer.blockCount, 1);
    EXPECT_EQ(longer.length, 629u);

    // A file longer than any BD1 file can be, of which only the first bytes were kept.
    EXPECT_EQ(read(bytes, std::uint64_t{1} << 40).fault, Bd1Fault::LengthMismatch);

    std::string negative = bytes;
    negative[310] = '\xff';
    negative[311] = '\xff';
    const Bd1Reading minusOne = read(negative, negative.size());
    EXPECT_EQ(minusOne.fault, Bd1Fault::NegativeCount);
    EXPECT_EQ(minusOne.blockCount, -1);

    std::string flagged = bytes;
    flagged.replace(312 + 312, 4, I32(0));
    const Bd1Reading zeroFlag = read(flagged, flagged.size());
    EXPECT_EQ(zeroFlag.fault, Bd1Fault::FlagNotOne);
    EXPECT_EQ(zeroFlag.faultyBlock, 0);
    EXPECT_EQ(zeroFlag.faultyFlag, 0);
}

TEST(InspectorArguments, FileOptionsAndErrors) {
    auto is = [](const char* actual, const char* expected) {
        return actual != nullptr && std::string(actual) == expected;
    };

    const CommandLine plain({"a.mqo"});
    EXPECT_EQ(plain.parsed.error, ArgumentError::None);
    EXPECT_TRUE(is(plain.parsed.input, "a.mqo"));
    EXPECT_EQ(plain.parsed.svg, nullptr);

    const CommandLine svgAfter({"a.mqo", "--svg", "out.svg"});
    EXPECT_EQ(svgAfter.parsed.error, ArgumentError::None);
    EXPECT_TRUE(is(svgAfter.parsed.input, "a.mqo"));
    EXPECT_TRUE(is(svgAfter.parsed.svg, "out.svg"));
    const CommandLine svgJoined({"--svg=o.svg", "a.mqo"});
    EXPECT_TRUE(is(svgJoined.parsed.svg, "o.svg"));
    EXPECT_TRUE(is(svgJoined.parsed.input, "a.mqo"));
    const CommandLine afterDashes({"--", "-odd.mqo"});
    EXPECT_TRUE(is(afterDashes.parsed.input, "-odd.mqo"));
    const CommandLine dash({"-"});
    EXPECT_TRUE(is(dash.parsed.input, "-"));

    EXPECT_TRUE(CommandLine({"--bogus", "--help"}).parsed.help);
    EXPECT_TRUE(CommandLine({"-h"}).parsed.help);

    const CommandLine unknown({"-x", "a.mqo"});
    EXPECT_EQ(unknown.parsed.error, ArgumentError::UnknownOption);
    EXPECT_TRUE(is(unknown.parsed.offending, "-x"));
    EXPECT_EQ(CommandLine({}).parsed.error, ArgumentError::MissingFile);
    EXPECT_EQ(CommandLine({"--svg", "out.svg"}).parsed.error, ArgumentError::MissingFile);
    const CommandLine twoFiles({"a.mqo", "b.mqo"});
    EXPECT_EQ(twoFiles.parsed.error, ArgumentError::TooManyArguments);
    EXPECT_TRUE(is(twoFiles.parsed.offending, "b.mqo"));
    EXPECT_EQ(CommandLine({"a.mqo", "--svg"}).parsed.error, ArgumentError::SvgNeedsPath);
    EXPECT_EQ(CommandLine({"a.mqo", "--svg="}).parsed.error, ArgumentError::SvgNeedsPath);

    EXPECT_TRUE(NamesBd1File("model.mqo.bd1"));
    EXPECT_TRUE(NamesBd1File("MODEL.BD1"));
    EXPECT_FALSE(NamesBd1File("bd1"));
    EXPECT_FALSE(NamesBd1File("model.bd1.mqo"));
}

TEST(InspectorPrinting, DocumentBytesAndFloats) {
    // Control characters could move a terminal's cursor or break a row; Shift_JIS passes.
    EXPECT_EQ(Printable(std::string("a\x1b[2Jb\tc\x7f\n", 10)), "a?[2Jb?c??");
    EXPECT_EQ(Printable("\x95\x5c\x8e\xa6"), "\x95\x5c\x8e\xa6");
    // Floats read back exactly: the mirrored zero keeps its sign.
    EXPECT_EQ(FloatText(-0.0f), "-0");
    EXPECT_EQ(FloatText(0.1f), "0.1");
    EXPECT_EQ(FloatText(16777217.0f), "16777216");
    EXPECT_EQ(FloatText(-std::numeric_limits<float>::infinity()), "-inf");
}
