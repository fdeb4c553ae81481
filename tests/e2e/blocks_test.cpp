// Blocks end to end: how boxes are cut out of the document and rewritten into the BD1 layout.
#include <gtest/gtest.h>

#include <limits>

#include "conversion_fixtures.hpp"

using namespace e2e;

namespace {

// The box of the worked layout example: corner k has x = 10 + k, y = 20 + k, z = 30 + k; UV
// corner j of face f has u = 10f + j + 0.5 and v = u + 99.75; face f has texture 40 + f.
Box WorkedBox(const std::string& firstFace) {
    Box box;
    box.corner = 10;
    box.uv = 0;
    box.texture = 40;
    box.faceStart[0] = firstFace;
    return box;
}

// A worked-example block after the rewrite: y, z and v follow x and u.
ExpectedBlock Rewritten(const std::vector<float>& x, const std::vector<float>& u,
                        const std::vector<int>& texture) {
    ExpectedBlock block{};
    for (int k = 0; k < 8; ++k) {
        block.x[k] = x[static_cast<std::size_t>(k)];
        block.y[k] = block.x[k] + 10;
        block.z[k] = block.x[k] + 20;
    }
    for (int i = 0; i < 24; ++i) {
        block.u[i] = u[static_cast<std::size_t>(i)];
        block.v[i] = block.u[i] + 99.75f;
    }
    for (int f = 0; f < 6; ++f) block.texture[f] = texture[static_cast<std::size_t>(f)];
    return block;
}

const ExpectedBlock kLayout1 =
    Rewritten({10, 13, 12, 11, 14, 17, 16, 15},
              {2.5f,  3.5f,  0.5f,  1.5f,  10.5f, 11.5f, 12.5f, 13.5f, 53.5f, 50.5f, 51.5f, 52.5f,
               43.5f, 40.5f, 41.5f, 42.5f, 33.5f, 30.5f, 31.5f, 32.5f, 23.5f, 20.5f, 21.5f, 22.5f},
              {40, 41, 45, 44, 43, 42});

const ExpectedBlock kLayout2 =
    Rewritten({11, 13, 15, 17, 10, 12, 14, 16},
              {51.5f, 52.5f, 53.5f, 50.5f, 41.5f, 42.5f, 43.5f, 40.5f, 1.5f,  2.5f,  3.5f,  0.5f,
               11.5f, 12.5f, 13.5f, 10.5f, 21.5f, 22.5f, 23.5f, 20.5f, 31.5f, 32.5f, 33.5f, 30.5f},
              {45, 44, 40, 41, 42, 43});

const ExpectedBlock kLayout3 =
    Rewritten({11, 17, 15, 13, 10, 16, 14, 12},
              {51.5f, 52.5f, 53.5f, 50.5f, 43.5f, 40.5f, 41.5f, 42.5f, 32.5f, 33.5f, 30.5f, 31.5f,
               22.5f, 23.5f, 20.5f, 21.5f, 12.5f, 13.5f, 10.5f, 11.5f, 2.5f,  3.5f,  0.5f,  1.5f},
              {45, 44, 43, 42, 41, 40});

std::string OneBoxDocument(const Box& box) {
    return Document(BoxObject("box", box));
}

}  // namespace

TEST(Blocks, OneBoxInTheExpectedLayoutIsWrittenAsItStands) {
    Box box;
    box.corner = 100;
    box.uv = 1000;
    box.texture = 0;
    const Conversion c =
        Convert(Document(Materials(1, MaterialLine("mat", "wall.bmp")) + BoxObject("box", box)));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(1));
    ASSERT_EQ(c.output.size(), 628u);
    EXPECT_EQ(c.output, Bd1({BoxBlock(box)}, {"wall.bmp"}));
}

TEST(Blocks, RecordFieldsStandAtTheirOffsets) {
    Box box;
    box.corner = 7;
    box.uv = 300;
    box.texture = 20;
    const Conversion c = Convert(OneBoxDocument(box));
    ASSERT_EQ(c.output.size(), 628u);
    const std::string record = c.output.substr(312);
    using testing_support::F32;
    using testing_support::I32;
    EXPECT_EQ(c.output.substr(310, 2), std::string("\x01\x00", 2));
    EXPECT_EQ(record.substr(0, 4), F32(7));                    // x of corner 0
    EXPECT_EQ(record.substr(32 + 28, 4), F32(24));             // y of corner 7
    EXPECT_EQ(record.substr(96 + 80 + 12, 4), F32(353.5f));    // u of face 5, corner 3
    EXPECT_EQ(record.substr(192 + 80 + 12, 4), F32(453.25f));  // v of face 5, corner 3
    EXPECT_EQ(record.substr(288 + 20, 4), I32(25));            // texture of face 5
    EXPECT_EQ(record.substr(312, 4), std::string("\x01\x00\x00\x00", 4));
}

TEST(Blocks, EachRecognisedLayoutIsRewrittenIntoTheFileLayout) {
    const struct {
        const char* firstFace;
        const ExpectedBlock* expected;
    } cases[] = {
        {"4 V(3 0 1 2)", &kLayout1},
        {"4 V(0 1 3 2)", &kLayout2},
        {"4 V(0 2 3 1)", &kLayout3},
        // The vertex list is read on past its closing parenthesis up to four indices.
        {"4 V(3 0 1) 2", &kLayout1},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.firstFace);
        const Conversion c = Convert(OneBoxDocument(WorkedBox(one.firstFace)));
        EXPECT_EQ(c.run.status, 0);
        EXPECT_EQ(c.run.out, CompleteRun(1));
        EXPECT_EQ(c.output, Bd1({*one.expected}));
    }
}

TEST(Blocks, LayoutIsRecognisedWithinEachGroupOfEight) {
    // The second box of one object numbers its vertices 8 to 15; 11 8 9 10 is layout 1.
    Box first;
    first.corner = 500;
    first.uv = 600;
    first.texture = 1;
    Box second = WorkedBox("4 V(11 8 9 10)");
    const std::string object = Object("two", 16, VertexLines(first) + VertexLines(second), 12,
                                      FaceLines(first) + FaceLines(second));
    const Conversion c = Convert(Document(object));
    EXPECT_EQ(c.run.out, CompleteRun(2));
    EXPECT_EQ(c.output, Bd1({BoxBlock(first), kLayout1}));
}

TEST(Blocks, FirstFacesThatMatchNoLayoutLeaveTheBlockAsGathered) {
    const char* const firstFaces[] = {
        "4 V(3 2 1 2)",      // 3 -1 -1 1: three values of layout 0
        "4 V(0 1 3 4)",      // 0 1 2 1: three values of layout 2
        "4 V(-5 -8 -7 -6)",  // -5 -3 1 1: a negative remainder is not 3
        "4 V(0 1 2 3)",
        "4 V(7 4 5 6)",  // 7 -3 1 1: layout 1 but for the first vertex
    };
    for (const char* firstFace : firstFaces) {
        SCOPED_TRACE(firstFace);
        const Box box = WorkedBox(firstFace);
        const Conversion c = Convert(OneBoxDocument(box));
        EXPECT_EQ(c.run.out, CompleteRun(1));
        EXPECT_EQ(c.output, Bd1({BoxBlock(box)}));
    }
}

TEST(Blocks, OnlyTheFirstFaceDecidesTheLayout) {
    Box box = WorkedBox("4 V(1 2 6 5)");
    box.faceStart[1] = "4 V(3 0 1 2)";
    box.faceStart[5] = "4 V(0 1 3 2)";
    const Conversion c = Convert(OneBoxDocument(box));
    EXPECT_EQ(c.output, Bd1({BoxBlock(box)}));
}

TEST(Blocks, TriangleAsFirstFaceIsJudgedByItsThreeIndices) {
    // Only three indices are read, so the fourth stays 0 and the block matches no layout; its
    // fourth UV corner is not read either.
    Box box = WorkedBox("3 V(3 0 1 2)");
    ExpectedBlock expected = BoxBlock(box);
    expected.u[3] = 0;
    expected.v[3] = 0;
    const Conversion c = Convert(OneBoxDocument(box));
    EXPECT_EQ(c.output, Bd1({expected}));
}

TEST(Blocks, ValuesMoveBitForBit) {
    // Layout 2 moves corners around; infinities, negative zeros and rounded values keep their
    // bits. The corner list after the rewrite takes the loaded corners 1 3 5 7 0 2 4 6.
    const std::string vertices =
        "\t\t1e39 -1e39 1e-50\n"        // -inf -inf 0
        "\t\t0x1p3 inf nan\n"           // -0 0 0: only the leading 0 is a number
        "\t\t-1e-50 1.5e 2147483648\n"  // 0 1.5 2^31
        "\t\t0 -0 -0.000\n"             // -0 -0 -0
        "\t\t16777217 0.1 -3.5e38\n"    // -16777216 0.1 -inf
        "\t\t5 6 7\n"
        "\t\t.5e1 +.25 -7.\n"      // -5 0.25 -7
        "\t\t1E2 1e+2 1000e-1\n";  // -100 100 100
    const Box box = WorkedBox("4 V(0 1 3 2)");
    const Conversion c = Convert(Document(Object("odd", 8, vertices, 6, FaceLines(box))));
    const float inf = std::numeric_limits<float>::infinity();
    ExpectedBlock expected = kLayout2;
    const float x[8] = {-0.0f, -0.0f, -5, -100, -inf, 0.0f, -16777216, -5};
    const float y[8] = {0, -0.0f, 6, 100, -inf, 1.5f, static_cast<float>(0.1), 0.25f};
    const float z[8] = {0, -0.0f, 7, 100, 0, 2147483648.0f, -inf, -7};
    for (int k = 0; k < 8; ++k) {
        expected.x[k] = x[k];
        expected.y[k] = y[k];
        expected.z[k] = z[k];
    }
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({expected}));
}

TEST(Blocks, VerticesBeyondTheLastGroupOfEightAreNotWritten) {
    Box a, b, rest;
    a.corner = 100;
    b.corner = 200;
    b.uv = 100;
    b.texture = 6;
    rest.corner = 300;
    const std::string object =
        Object("twenty", 20, VertexLines(a) + VertexLines(b) + VertexLines(rest, 0, 4), 12,
               FaceLines(a) + FaceLines(b));
    const Conversion c = Convert(Document(object));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(2, {kBadRatio, kVerticesNotMultipleOf8}));
    ASSERT_EQ(c.output.size(), 944u);
    EXPECT_EQ(c.output, Bd1({BoxBlock(a), BoxBlock(b)}));
}

TEST(Blocks, FewerThanEightVerticesGiveAHeaderOnly) {
    Box box;
    std::string faces = FaceLine(box, 0) + FaceLine(box, 1) + FaceLine(box, 2);
    const Conversion c = Convert(Document(Object("small", 4, VertexLines(box, 0, 4), 3, faces)));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(0, {kVerticesNotMultipleOf8, kFacesNotMultipleOf6}));
    ASSERT_EQ(c.output.size(), 312u);
    EXPECT_EQ(c.output, Bd1({}));
}

TEST(Blocks, LastBlockWithoutFacesGetsZeroUvsAndTexture) {
    Box a, b;
    a.corner = 100;
    a.texture = 3;
    b.corner = 200;
    b.faceStart[0] = "4 V(11 8 9 10)";  // never loaded: the object declares six faces
    const std::string object =
        Object("short", 16, VertexLines(a) + VertexLines(b), 6, FaceLines(a) + FaceLines(b));
    const Conversion c = Convert(Document(object));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(2, {kBadRatio}));
    EXPECT_EQ(c.output, Bd1({BoxBlock(a), WithoutFaces(BoxBlock(b))}));
}

TEST(Blocks, ManyBoxesInALongCrLfDocument) {
    // 170 boxes make a document of more than 100 kB; every box keeps its place and its values.
    std::vector<Box> boxes(170);
    std::string body;
    std::vector<ExpectedBlock> expected;
    for (int i = 0; i < 170; ++i) {
        Box& box = boxes[static_cast<std::size_t>(i)];
        box.corner = 100 * i;
        box.uv = 1000 * i;
        box.texture = i % 10;
        body += BoxObject(std::string("box").append(std::to_string(i)), box);
        expected.push_back(BoxBlock(box));
    }
    std::string document;
    for (char c : Document(body)) document += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_GT(document.size(), 100000u);
    const Conversion c = Convert(document);
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(170, {kTooManyBlocks}));
    ASSERT_EQ(c.output.size(), 312u + 170u * 316u);
    EXPECT_TRUE(c.output == Bd1(expected));
}
