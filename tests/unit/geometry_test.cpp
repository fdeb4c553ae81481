// Taking vertex and face lines apart, and loading the visible objects of a document.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mqo/mqo.hpp"

using bloktar::MQO_FACE;
using bloktar::MQO_VERTEX;

namespace {

struct Loaded {
    std::vector<MQO_VERTEX> vertices;
    std::vector<MQO_FACE> faces;
};

Loaded Load(const std::string& text, std::size_t vertexRoom, std::size_t faceRoom) {
    Loaded loaded{std::vector<MQO_VERTEX>(vertexRoom), std::vector<MQO_FACE>(faceRoom)};
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    bloktar::ReadObjectGeometry(document, loaded.vertices, loaded.faces);
    return loaded;
}

// The face line taken apart by ReadFaceLine, after checking that the geometry pass, which reads
// the lines of the usual shape its own way, stores the same record for it as the last line of a
// face chunk, with the line endings it may have.
MQO_FACE Face(const std::string& line) {
    MQO_FACE face{};
    bloktar::ReadFaceLine(line.c_str(), face);
    if (!line.empty() && line.find('\n') >= line.size() - 1) {
        const std::string body = line.back() == '\n' ? line.substr(0, line.size() - 1) : line;
        for (const char* ending : {"\n", "\r\n", ""}) {
            const Loaded loaded = Load("Object \"a\" {\n\tface 1 {\n" + body + ending, 0, 1);
            EXPECT_EQ(std::memcmp(&loaded.faces[0], &face, sizeof face), 0) << line;
        }
    }
    return face;
}

std::uint32_t Bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

}  // namespace

TEST(VertexLine, SeparatorsAreSpacesAndTabPairs) {
    MQO_VERTEX v{};
    ASSERT_TRUE(bloktar::ReadVertexLine("\t\t1.5 -2 3\n", v));
    EXPECT_EQ(v.x, -1.5f);
    EXPECT_EQ(v.y, -2.0f);
    EXPECT_EQ(v.z, 3.0f);

    // Two spaces: the second number is read at both, the third never.
    ASSERT_TRUE(bloktar::ReadVertexLine("\t\t1  2 3\n", v));
    EXPECT_EQ(v.y, 2.0f);
    EXPECT_EQ(v.z, 2.0f);

    // A lone tab is no separator; a tab pair is, wherever it stands.
    v = {};
    EXPECT_FALSE(bloktar::ReadVertexLine("\t1\t2 3\n", v));
    EXPECT_EQ(v.x, -3.0f);
    ASSERT_TRUE(bloktar::ReadVertexLine("\t\t4\t\t5 6", v));
    EXPECT_EQ(v.x, -4.0f);
    EXPECT_EQ(v.y, 5.0f);
    EXPECT_EQ(v.z, 6.0f);
}

TEST(VertexLine, MirroredZeroAndPartialLines) {
    MQO_VERTEX v{};
    ASSERT_TRUE(bloktar::ReadVertexLine("\t\t0 1 2\n", v));
    EXPECT_EQ(Bits(v.x), 0x80000000u);  // 0 negated is negative zero
    ASSERT_TRUE(bloktar::ReadVertexLine("\t\t-0.000 1 2\n", v));
    EXPECT_EQ(Bits(v.x), 0u);

    v = {};
    EXPECT_FALSE(bloktar::ReadVertexLine("\t\t7 8\n", v));
    EXPECT_EQ(v.x, -7.0f);
    EXPECT_EQ(v.y, 8.0f);
    EXPECT_FALSE(bloktar::ReadVertexLine("", v));
    EXPECT_FALSE(bloktar::ReadVertexLine("\t", v));
}

TEST(FaceLine, QuadrilateralAndTriangle) {
    const MQO_FACE quad = Face("\t\t4 V(8 9 10 11) M(2) UV(0 0 1 0 1 1 0 1)\n");
    EXPECT_EQ(quad.n, 4);
    EXPECT_EQ(std::vector<int>(quad.V, quad.V + 4), (std::vector<int>{8, 9, 10, 11}));
    EXPECT_EQ(std::vector<int>(quad.Dif, quad.Dif + 4), (std::vector<int>{0, 1, 1, 1}));
    EXPECT_EQ(quad.M, 2);
    EXPECT_EQ(std::vector<float>(quad.u, quad.u + 4), (std::vector<float>{0, 1, 1, 0}));
    EXPECT_EQ(std::vector<float>(quad.v, quad.v + 4), (std::vector<float>{0, 0, 1, 1}));

    const MQO_FACE tri = Face("\t\t3 V(0 1 2) M(1) UV(0 0 1 0 1 1)\n");
    EXPECT_EQ(std::vector<int>(tri.V, tri.V + 4), (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(std::vector<int>(tri.Dif, tri.Dif + 4), (std::vector<int>{0, 1, 1, -2}));
    EXPECT_EQ(std::vector<float>(tri.u, tri.u + 4), (std::vector<float>{0, 1, 1, 0}));
    EXPECT_EQ(std::vector<float>(tri.v, tri.v + 4), (std::vector<float>{0, 0, 1, 0}));
}

TEST(FaceLine, ScansRunPastTheClosingParenthesis) {
    // Two indices for three corners: the third comes from the text after the list.
    const MQO_FACE face = Face("\t\t3 V(5 6) M(7) UV(0.5 0.25) 9\n");
    EXPECT_EQ(std::vector<int>(face.V, face.V + 4), (std::vector<int>{5, 6, 0, 0}));
    EXPECT_EQ(face.M, 7);
    EXPECT_EQ(face.u[0], 0.5f);
    EXPECT_EQ(face.v[0], 0.25f);
    EXPECT_EQ(face.u[1], 9.0f);
    // Small corner counts still read V[1] and v[0].
    const MQO_FACE one = Face("\t\t1 V(3 4 5) UV(1 2 3)\n");
    EXPECT_EQ(std::vector<int>(one.V, one.V + 4), (std::vector<int>{3, 4, 0, 0}));
    EXPECT_EQ(one.v[0], 2.0f);
    EXPECT_EQ(one.u[1], 0.0f);
    const MQO_FACE none = Face("\t\t0 V(3 4 5) UV(1 2 3)\n");
    EXPECT_EQ(none.V[1], 4);
    EXPECT_EQ(none.V[2], 0);
    EXPECT_EQ(none.v[0], 2.0f);
}

TEST(FaceLine, MissingListsKeepZerosAndDifTruncates) {
    const MQO_FACE bare = Face("\t\t4\n");
    EXPECT_EQ(bare.n, 4);
    EXPECT_EQ(std::vector<int>(bare.Dif, bare.Dif + 4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(bare.M, 0);
    EXPECT_EQ(Face("\t\t4 V(13 12 11 10)\n").Dif[0], 5);
    EXPECT_EQ(Face("\t\t4 V(-3 0 0 0)\n").Dif[0], -3);
    EXPECT_EQ(Face("\t\t4 V(16 0 0 0)\n").Dif[0], 0);
    // Differences wrap in 32 bits.
    EXPECT_EQ(Face("\t\t4 V(-2147483648 2147483647 0 0)\n").Dif[1], -1);
    // Shorter than three characters: no corner count, nothing read past the line.
    EXPECT_EQ(Face("\t").n, 0);
    EXPECT_EQ(Face("").n, 0);
    EXPECT_EQ(Face("xx7").n, 7);
}

TEST(FaceLine, MoreThanFourCornersStayInsideTheRecord) {
    const MQO_FACE face = Face("\t\t6 V(0 1 2 3 4 5) M(1) UV(0 1 2 3 4 5 6 7 8 9 10 11)\n");
    EXPECT_EQ(std::vector<int>(face.V, face.V + 4), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(std::vector<float>(face.u, face.u + 4), (std::vector<float>{0, 2, 4, 6}));
    EXPECT_EQ(std::vector<float>(face.v, face.v + 4), (std::vector<float>{1, 3, 5, 7}));
    EXPECT_EQ(face.M, 1);
}

TEST(ObjectGeometry, HiddenObjectsAndCountersAcrossObjects) {
    const std::string text =
        "Metasequoia Document\nFormat Text Ver 1.0\n"
        "Object \"a\" {\n\tvertex 2 {\n\t\t1 2 3\n\t\t4 5 6\n\t}\n\tface 1 {\n\t\t4 V(3 2 1 "
        "0)\n\t}\n}\n"
        "Object \"hidden\" {\n\tvisible 0\n\tvertex 1 {\n\t\t9 9 9\n\t}\n\tface 1 {\n"
        "\t\t4 V(1 1 1 1)\n\t}\n}\n"
        "Object \"b\" {\n\tvisible 15\n\tvertex 1 {\n\t\t7 8 9\n\t}\n\tface 1 {\n"
        "\t\t4 V(11 10 9 8)\n\t}\n}\n"
        "Eof\n"
        "Object \"after\" {\n\tvertex 1 {\n\t\t5 5 5\n\t}\n}\n";
    const Loaded loaded = Load(text, 4, 3);
    EXPECT_EQ(loaded.vertices[0].x, -1.0f);
    EXPECT_EQ(loaded.vertices[1].z, 6.0f);
    EXPECT_EQ(loaded.vertices[2].x, -7.0f);
    EXPECT_EQ(loaded.vertices[3].x, 0.0f);  // the object after "Eof" is not loaded
    EXPECT_EQ(loaded.faces[0].V[0], 3);
    EXPECT_EQ(loaded.faces[1].V[0], 11);  // local indices stay as written
    EXPECT_EQ(loaded.faces[1].Dif[0], 3);
    EXPECT_EQ(loaded.faces[2].n, 0);
}

TEST(ObjectGeometry, VisibleLineActsFromItsOwnLineOn) {
    const std::string text =
        "Object \"a\" {\n\tvertex 1 {\n\t\t1 1 1\n\t}\n\tvisible 0\n\tface 1 {\n\t\t4 V(3 2 1 0)\n"
        "\t}\n}\nObject \"b\" {\n\tface 1 {\n\t\t4 V(7 6 5 4)\n\t}\n}\n";
    const Loaded loaded = Load(text, 1, 2);
    EXPECT_EQ(loaded.vertices[0].x, -1.0f);
    EXPECT_EQ(loaded.faces[0].V[0], 7);
    EXPECT_EQ(loaded.faces[1].V[0], 0);
}

TEST(ObjectGeometry, MoreLinesThanRoomAreNotStored) {
    const std::string text =
        "Object \"a\" {\n\tvertex 1 {\n\t\t1 1 1\n\t\t2 2 2\n\t\t3 3\n\t}\n"
        "\tface 1 {\n\t\t4 V(3 2 1 0)\n\t\t4 V(1 1 1 1)\n\t}\n}\nEof\n";
    const Loaded loaded = Load(text, 1, 1);
    EXPECT_EQ(loaded.vertices[0].x, -1.0f);
    EXPECT_EQ(loaded.faces[0].V[0], 3);
    const Loaded none = Load(text, 0, 0);
    EXPECT_TRUE(none.vertices.empty());
}

TEST(ObjectGeometry, PartialVertexLineIsOverwrittenByTheNextCompleteOne) {
    const std::string text = "Object \"a\" {\n\tvertex 2 {\n\t\t1 2\n\t\t4 5 6\n\t\t7 8\n\t}\n}\n";
    const Loaded loaded = Load(text, 2, 0);
    EXPECT_EQ(loaded.vertices[0].x, -4.0f);
    EXPECT_EQ(loaded.vertices[0].z, 6.0f);
    // The last partial line leaves its two numbers in the next record.
    EXPECT_EQ(loaded.vertices[1].x, -7.0f);
    EXPECT_EQ(loaded.vertices[1].y, 8.0f);
    EXPECT_EQ(loaded.vertices[1].z, 0.0f);
}

TEST(ObjectGeometry, LongLinesArriveAsSeveralLinesAndEmptyChunksMakeNothing) {
    // A face line of 255 characters before its newline: the newline alone is a second line,
    // which makes a record of its own.
    std::string faceLine = "\t\t4 V(3 2 1 0)";
    faceLine += std::string(255 - faceLine.size(), ' ');
    // A vertex line of 130 characters: its first 127 hold two numbers, the rest " 0 6" one,
    // so neither piece makes a record.
    const std::string vertexLine = "\t\t1 2" + std::string(123, '0') + " 6";
    const std::string text = "Object \"a\" {\n\tvertex 2 {\n" + vertexLine + "\n\t\t7 8 9\n\t}\n" +
                             "\tface 0 {\n\t}\n\tface 2 {\n" + faceLine +
                             "\n\t\t3 V(7 6 5)\n\t}\n}\n";
    const Loaded loaded = Load(text, 2, 3);
    EXPECT_EQ(loaded.faces[0].V[0], 3);
    EXPECT_EQ(loaded.faces[0].V[3], 0);
    EXPECT_EQ(loaded.faces[1].n, 0);
    EXPECT_EQ(loaded.faces[2].n, 3);
    EXPECT_EQ(loaded.faces[2].V[2], 5);
    EXPECT_EQ(loaded.vertices[0].x, -7.0f);
    EXPECT_EQ(loaded.vertices[0].y, 8.0f);
    EXPECT_EQ(loaded.vertices[0].z, 9.0f);
    EXPECT_EQ(loaded.vertices[1].x, 0.0f);
}

namespace {

// A number as documents write them, now and then in a rarer form.
std::string RandomNumber(std::mt19937& random, int decimals) {
    static const char* const rare[] = {"1e3",     "+2.5",         ".5",          "5.",
                                       "-0.0000", "123456789.25", "0.123456789", "1.5e",
                                       "7E-2",    "-12345.6789"};
    if (random() % 40 == 0) return rare[random() % 10];
    std::string text = random() % 2 == 0 ? "-" : "";
    text += std::to_string(random() % 1000) + ".";
    for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + random() % 10);
    return text;
}

}  // namespace

TEST(ObjectGeometry, LinesReadWhereTheyStandMatchTheLinesTakenApartOneByOne) {
    // Vertex and face lines, mostly of the usual shape, some not, with CR LF and LF endings, in a
    // document long enough to cross several buffer refills. Every record must be what
    // ReadVertexLine and ReadFaceLine make of the lines in turn.
    std::mt19937 random(5);
    static const char* const oddVertexLines[] = {"\t\t1  2 3", "\t\t1 2",     "\t\t1 2 3 4",
                                                 " \t\t1 2 3", "\t\t 1 2 3",  "\t\t1\t\t2 3",
                                                 "\t\tx 2 3",  "\t\t1 2 3\r", "\t\t1 2\r3"};
    static const char* const oddFaceLines[] = {"\t\t4 V(1 2 3 4) M(1) UV(0 0 1 0 1 1 0 1) COL(7)",
                                               "\t\t3 V(0 1 2) M(0) UV(0 0 1 0 1 1)",
                                               "\t\t4 V(1 2 3) M(1) UV(0 0 1 0 1 1 0 1)",
                                               "\t\t4 M(2) V(1 2 3 4) UV(1 2 3 4 5 6 7 8)",
                                               "\t\t4 V(-1 2 3 4) M(1) UV(0 0 1 0 1 1 0 1)",
                                               "\t\t4 V(1 2 3 4) M(1)",
                                               "\t\t4 V(1 2 3 4) M(1) UV(0  0 1 0 1 1 0 1)",
                                               "\t\t6 V(0 1 2 3 4 5) M(3) UV(1 2 3 4 5 6 7 8 9)",
                                               "\t\t1 V(5 6 7) M(1) UV(0.5 0.25 9)",
                                               "\t\t4 V(1 2 3 4) M(1) UV(0 0 1 0 1\r 1 0 1)"};
    std::string vertexLines;
    std::string faceLines;
    std::vector<MQO_VERTEX> vertices(20000);
    std::vector<MQO_FACE> faces(8000);
    std::size_t vertexCount = 0;
    for (int i = 0; i < 19000; ++i) {
        std::string line = random() % 25 == 0
                               ? oddVertexLines[random() % 9]
                               : "\t\t" + RandomNumber(random, 4) + " " + RandomNumber(random, 4) +
                                     " " + RandomNumber(random, 4);
        vertexLines += line + (random() % 3 == 0 ? "\n" : "\r\n");
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        if (bloktar::ReadVertexLine((line + "\n").c_str(), vertices[vertexCount])) ++vertexCount;
    }
    for (std::size_t i = 0; i < faces.size(); ++i) {
        std::string line;
        if (random() % 25 == 0) {
            line = oddFaceLines[random() % 10];
        } else {
            line = "\t\t4 V(";
            for (int k = 0; k < 4; ++k)
                line += std::to_string(random() % 30000) + (k < 3 ? " " : "");
            line += ") M(" + std::to_string(random() % 10) + ") UV(";
            for (int k = 0; k < 8; ++k) {
                // Mostly as UVs are written, a digit, a point and five digits.
                std::string number = std::to_string(random() % 2) + ".";
                for (int d = 0; d < 5; ++d) number += static_cast<char>('0' + random() % 10);
                line += (random() % 4 == 0 ? RandomNumber(random, 5) : number) + (k < 7 ? " " : "");
            }
            line += ")";
        }
        faceLines += line + (random() % 3 == 0 ? "\n" : "\r\n");
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        bloktar::ReadFaceLine((line + "\n").c_str(), faces[i]);
    }
    const std::string text = "Object \"a\" {\r\n\tvertex 1 {\r\n" + vertexLines +
                             "\t}\r\n\tface 1 {\r\n" + faceLines + "\t}\r\n}\r\nEof\r\n";
    ASSERT_GT(text.size(), 3u * 128u * 1024u);
    const Loaded loaded = Load(text, vertices.size(), faces.size());
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        ASSERT_EQ(std::memcmp(&loaded.vertices[i], &vertices[i], sizeof vertices[i]), 0) << i;
    }
    for (std::size_t i = 0; i < faces.size(); ++i) {
        ASSERT_EQ(std::memcmp(&loaded.faces[i], &faces[i], sizeof faces[i]), 0) << i;
    }
}

namespace {

TEST(ChunkReader, ShapesNotedInOneDocumentReadTheNextAlike) {
    // Chunks of several documents read in turn by one reader, whose scanners keep what they
    // noted of the lines' shapes: each record must be what the lines make taken apart one by one,
    // though the shapes change from document to document.
    std::mt19937 random(11);
    bloktar::ChunkReader reader(bloktar::LineScanners::WideVectors);
    for (int chunk = 0; chunk < 6; ++chunk) {
        SCOPED_TRACE(chunk);
        const int places = 1 + chunk % 3;
        std::string vertexText = "\tvertex 1 {\n";
        std::string faceText = "\tface 1 {\n";
        std::vector<MQO_VERTEX> expectedVertices(300);
        std::vector<MQO_FACE> expectedFaces(300);
        for (int i = 0; i < 300; ++i) {
            const std::string vertex = "\t\t" + RandomNumber(random, places) + " " +
                                       RandomNumber(random, places + 1) + " " +
                                       RandomNumber(random, places);
            vertexText += vertex + "\n";
            bloktar::ReadVertexLine((vertex + "\n").c_str(), expectedVertices[i]);
            std::string face = "\t\t4 V(";
            for (int k = 0; k < 4; ++k)
                face += std::to_string(random() % 5000) + (k < 3 ? " " : "");
            face += ") M(" + std::to_string(chunk) + ") UV(";
            for (int k = 0; k < 8; ++k) face += RandomNumber(random, places) + (k < 7 ? " " : ")");
            faceText += face + "\n";
            bloktar::ReadFaceLine((face + "\n").c_str(), expectedFaces[i]);
        }
        vertexText += "\t}\n";
        faceText += "\t}\n";
        std::vector<MQO_VERTEX> vertices(300);
        std::vector<MQO_FACE> faces(300);
        std::size_t vertexCount = 0;
        std::size_t faceCount = 0;
        bloktar::Document document;
        std::size_t length = 0;
        bloktar::OpenMemoryDocument(document, vertexText.data(), vertexText.size());
        bloktar::NextDocumentPiece(document, 128, length);
        reader.ReadVertices(document, vertices, vertexCount);
        bloktar::OpenMemoryDocument(document, faceText.data(), faceText.size());
        bloktar::NextDocumentPiece(document, 128, length);
        reader.ReadFaces(document, faces, faceCount);
        ASSERT_EQ(vertexCount, 300u);
        ASSERT_EQ(faceCount, 300u);
        EXPECT_EQ(std::memcmp(vertices.data(), expectedVertices.data(), 300 * sizeof(MQO_VERTEX)),
                  0);
        EXPECT_EQ(std::memcmp(faces.data(), expectedFaces.data(), 300 * sizeof(MQO_FACE)), 0);
    }
}

}  // namespace
