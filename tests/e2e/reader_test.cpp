// Reading the document's objects, seen through the blocks of the BD1 file: which lines make
// vertices and faces, how their numbers are scanned, and which objects and lines count at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion_fixtures.hpp"

using namespace e2e;

namespace {

void SetCorner(ExpectedBlock& block, int k, float x, float y, float z) {
    block.x[k] = x;
    block.y[k] = y;
    block.z[k] = z;
}

void SetFace(ExpectedBlock& block, int f, const std::vector<float>& u, const std::vector<float>& v,
             int texture) {
    for (int j = 0; j < 4; ++j) {
        block.u[f * 4 + j] = u[static_cast<std::size_t>(j)];
        block.v[f * 4 + j] = v[static_cast<std::size_t>(j)];
    }
    block.texture[f] = texture;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

TEST(Reader, VertexLinesAreScannedAtSpacesAndTabPairs) {
    Box box;
    // clang-format off
    const std::string vertices = std::string() +
        "\t\t1.5 -2 3\n" +
        "\t\t4  5 6\n" +                     // two spaces: y and z both read the 5
        "\t\t7 8\n" +                        // two numbers: no vertex
        "\t\t0 1 2\n" +
        "\t\t-0.000 1 2\n" +
        std::string("\t\t9 8\0 7\n", 9) +     // the line ends at its NUL
        "\t\t1e1 .5 5. 99\n" +
        "\t\t1\r2 3 4\n" +                    // the carriage return joins 1 and 2
        "\t3 4 5 6\n" +                       // one tab is no separator
        "\t\t5 6\n";                          // two numbers, left in the last vertex
    // clang-format on
    const Conversion c = Convert(Document(Object("v", 8, vertices, 6, FaceLines(box))));
    ExpectedBlock expected = BoxBlock(box);
    SetCorner(expected, 0, -1.5f, -2, 3);
    SetCorner(expected, 1, -4, 5, 5);
    SetCorner(expected, 2, -0.0f, 1, 2);
    SetCorner(expected, 3, 0.0f, 1, 2);
    SetCorner(expected, 4, -10, 0.5f, 5);
    SetCorner(expected, 5, -12, 3, 4);
    SetCorner(expected, 6, -4, 5, 6);
    SetCorner(expected, 7, -5, 6, 0);
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({expected}));
}

TEST(Reader, FaceLinesFillTheirFields) {
    Box a, b;
    a.corner = 100;
    b.corner = 200;
    const std::string faces =
        "\t\t4 V(3 2 1 0) M(7) UV(0.5 0.25 1.5 1.25 2.5 2.25 3.5 3.25)\n"
        "\t\t3 V(0 1 2) M(1) UV(0 0 1 0 1 1)\n"
        "\t\t3 V(4 5 6) M(2) UV(1 2 3 4 5 6 7 8)\n"
        "\t\t6 V(0 1 2 3 4 5) M(3) UV(1 2 3 4 5 6 7 8 9 10 11 12)\n"
        "\t\t4 M(4)\n"
        "\t\t0 UV(9.5 8.5 7.5 6.5) M(5)\n"
        // second block
        "\t\t4 V(11 10 9 8) M(-3)\n"
        "\t\n"
        "\t\t4 V(8 9 10 11) M(12) UV(0 0 1 0 1 1 0 1)\n"
        "\t\t4 V(1 2 3 4) M(2) UV(0.125 0.25 0.375 0.5 0.625 0.75 0.875 1)\n"
        "\t\t1 V(0 1 2 3) UV(1 2 3 4)\n"
        "\t\t4 V(0 1 2 3) M( 9) UV( 1.25 2.5\t3 4 5 6 7 8)\n";
    const Conversion c =
        Convert(Document(Object("f", 16, VertexLines(a) + VertexLines(b), 12, faces)));

    ExpectedBlock first = WithoutFaces(BoxBlock(a));
    SetFace(first, 0, {0.5f, 1.5f, 2.5f, 3.5f}, {0.25f, 1.25f, 2.25f, 3.25f}, 7);
    SetFace(first, 1, {0, 1, 1, 0}, {0, 0, 1, 0}, 1);
    SetFace(first, 2, {1, 3, 5, 0}, {2, 4, 6, 0}, 2);  // three corners: three UV pairs
    SetFace(first, 3, {1, 3, 5, 7}, {2, 4, 6, 8}, 3);  // six corners: the first four pairs
    SetFace(first, 4, {0, 0, 0, 0}, {0, 0, 0, 0}, 4);
    SetFace(first, 5, {9.5f, 0, 0, 0}, {8.5f, 0, 0, 0}, 5);
    ExpectedBlock second = WithoutFaces(BoxBlock(b));
    SetFace(second, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, -3);
    SetFace(second, 1, {0, 0, 0, 0}, {0, 0, 0, 0}, 0);
    SetFace(second, 2, {0, 1, 1, 0}, {0, 0, 1, 1}, 12);
    SetFace(second, 3, {0.125f, 0.375f, 0.625f, 0.875f}, {0.25f, 0.5f, 0.75f, 1}, 2);
    SetFace(second, 4, {1, 0, 0, 0}, {2, 0, 0, 0}, 0);
    // Every space is a separator, the one right after "UV(" too; the tab is none.
    SetFace(second, 5, {1.25f, 2.5f, 5, 7}, {1.25f, 4, 6, 8}, 9);

    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(2));
    EXPECT_EQ(c.output, Bd1({first, second}));
}

TEST(Reader, LongLinesAreReadInPiecesThatCountAsLines) {
    Box box;
    // A vertex line is read 127 characters at a time: the first piece holds one number only,
    // the second piece is a complete vertex line of its own.
    const std::string vertices =
        "\t\t1." + std::string(123, '0') + " 2 3 4\n" + VertexLines(box, 1, 8);
    // A face line is read 255 characters at a time: the first piece ends with "M(2", its UV
    // list falls into a second piece, which makes a face of its own; the last face line then
    // finds no room.
    std::string longFace = "\t\t4 V(3 2 1 0)";
    longFace += std::string(251 - longFace.size(), ' ') + " M(2) UV(1 2 3 4 5 6 7 8)\n";
    std::string faces = longFace;
    for (int f = 1; f < 6; ++f) faces += FaceLine(box, f);
    const Conversion c = Convert(Document(Object("long", 8, vertices, 6, faces)));

    const ExpectedBlock boxBlock = BoxBlock(box);
    ExpectedBlock expected = boxBlock;
    SetCorner(expected, 0, -2, 3, 4);
    SetFace(expected, 0, {0, 0, 0, 0}, {0, 0, 0, 0}, 2);
    SetFace(expected, 1, {1, 0, 0, 0}, {2, 0, 0, 0}, 0);
    for (int f = 2; f < 6; ++f) {
        for (int j = 0; j < 4; ++j) {
            expected.u[f * 4 + j] = boxBlock.u[(f - 1) * 4 + j];
            expected.v[f * 4 + j] = boxBlock.v[(f - 1) * 4 + j];
        }
        expected.texture[f] = boxBlock.texture[f - 1];
    }
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({expected}));
}

TEST(Reader, ObjectLinesArePiecesOf127CharactersForGeometryAnd255ForTheCount) {
    // The geometry pass finds a vertex chunk in the second piece of a long line, which the
    // survey reads whole and does not count; the vertices of the counted chunk find no room.
    Box hiddenInLine, counted;
    hiddenInLine.corner = 900;
    counted.corner = 100;
    const std::string longLine = "\t" + std::string(126, 'x') + "\tvertex 8 {\n";
    const std::string object = "Object \"o\" {\n" + longLine + VertexLines(hiddenInLine) +
                               "\t}\n\tvertex 8 {\n" + VertexLines(counted) + "\t}\n\tface 6 {\n" +
                               FaceLines(counted) + "\t}\n}\n";
    const Conversion c = Convert(Document(object));
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({CornersAndFaces(BoxBlock(hiddenInLine), BoxBlock(counted))}));
}

TEST(Reader, VisibleObjectsFollowOneAnotherWithoutGaps) {
    Box a, hidden, b, faces, afterEof;
    a.corner = 100;
    a.texture = 10;
    hidden.corner = 900;
    hidden.texture = 90;
    b.corner = 300;
    faces.uv = 500;
    faces.texture = 30;
    afterEof.corner = 700;
    const std::string body = BoxObject("a", a) + BoxObject("hidden", hidden, 0) +
                             Object("corners only", 8, VertexLines(b), 0, "") +
                             Object("faces only", 0, "", 6, FaceLines(faces), 1) + "Eof\n" +
                             BoxObject("after", afterEof);
    const Conversion c = Convert(kHeaderLines + body);
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(2));
    EXPECT_EQ(c.output, Bd1({BoxBlock(a), CornersAndFaces(BoxBlock(b), BoxBlock(faces))}));
}

TEST(Reader, VisibleLineHidesOnlyWhatFollowsIt) {
    Box first, second;
    first.corner = 100;
    first.texture = 50;
    second.uv = 200;
    second.texture = 5;
    const std::string late = "Object \"late\" {\n\tvertex 8 {\n" + VertexLines(first) +
                             "\t}\n\tvisible 0\n\tface 6 {\n" + FaceLines(first) + "\t}\n}\n";
    const Conversion c = Convert(Document(late + Object("second", 0, "", 6, FaceLines(second))));
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({CornersAndFaces(BoxBlock(first), BoxBlock(second))}));
}

TEST(Reader, VertexLinesBeyondTheDeclaredCountShiftLaterVertices) {
    Box a, extra, b;
    a.corner = 100;
    extra.corner = 500;
    b.corner = 200;
    b.texture = 6;
    const std::string body =
        Object("a", 8, VertexLines(a) + VertexLines(extra, 0, 4), 6, FaceLines(a)) +
        BoxObject("b", b);
    const Conversion c = Convert(Document(body));
    ExpectedBlock second = BoxBlock(b);
    const ExpectedBlock extraBlock = BoxBlock(extra);
    const ExpectedBlock bBlock = BoxBlock(b);
    for (int k = 0; k < 4; ++k) {
        SetCorner(second, k, extraBlock.x[k], extraBlock.y[k], extraBlock.z[k]);
        SetCorner(second, k + 4, bBlock.x[k], bBlock.y[k], bBlock.z[k]);
    }
    EXPECT_EQ(c.run.out, CompleteRun(2));
    EXPECT_EQ(c.output, Bd1({BoxBlock(a), second}));
}

TEST(Reader, DocumentEndingInsideAFaceChunkKeepsWhatWasRead) {
    Box box;
    const std::string truncated = kHeaderLines + "Object \"cut\" {\n\tvertex 8 {\n" +
                                  VertexLines(box) + "\t}\n\tface 6 {\n" + FaceLine(box, 0) +
                                  FaceLine(box, 1) + FaceLine(box, 2);
    const Conversion c = Convert(truncated);
    ExpectedBlock expected = BoxBlock(box);
    for (int f = 3; f < 6; ++f) SetFace(expected, f, {0, 0, 0, 0}, {0, 0, 0, 0}, 0);
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({expected}));
}

TEST(Reader, CtrlZEndsTheDocumentForEveryPass) {
    Box a, b;
    a.corner = 100;
    b.corner = 200;
    const std::string document = kHeaderLines + Materials(1, MaterialLine("m", "wall.bmp")) +
                                 BoxObject("a", a) + "\x1A" + BoxObject("b", b) + "Eof\n";
    const Conversion c = Convert(document);
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(1));
    EXPECT_EQ(c.output, Bd1({BoxBlock(a)}, {"wall.bmp"}));
}

TEST(Reader, CrLfDocumentReadsLikeItsLfTwin) {
    Box a, b;
    a.corner = 100;
    b.corner = 200;
    b.uv = 50;
    b.texture = 1;
    const std::string lf =
        Document(Materials(2, MaterialLine("a", "a.bmp") + MaterialLine("b", "tex/b.bmp")) +
                 BoxObject("a", a) + BoxObject("b", b));
    const Conversion fromLf = Convert(lf);
    const Conversion fromCrLf = Convert(ReplaceAll(lf, "\n", "\r\n"));
    EXPECT_EQ(fromLf.run.out, CompleteRun(2));
    EXPECT_EQ(fromCrLf.run.status, 0);
    EXPECT_EQ(fromCrLf.run.out, fromLf.run.out);
    EXPECT_EQ(fromLf.output, Bd1({BoxBlock(a), BoxBlock(b)}, {"a.bmp", "tex/b.bmp"}));
    EXPECT_EQ(fromCrLf.output, fromLf.output);
}
