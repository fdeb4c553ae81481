// bloktar-repair run as a process on maps made here and scrambled as modelling and other tools
// scramble them: every byte it prints, its exit status, the document it writes, and what the
// converter makes of that document, checked box by box against the boxes the map was made of.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/documents.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

const std::string kBanner = Banner("BLOKTAR REPAIR");

// A unit cube's corners in the order of a BD1 record, and its sides as the record's face slots
// name them, each wound the same way round.
constexpr int kCube[8][3] = {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1},
                             {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
constexpr int kSlots[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4},
                              {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

// One box of a map: where it stands, and each side's material and UV at each of its corners.
struct MapBox {
    int at[3];
    int material[6];
    double u[6][8];  // by cube corner
    double v[6][8];
};

// How a map is written into its document.
struct Scramble {
    bool shuffleVertices = false;  // vertices shuffled within their object
    bool shuffleFaces = false;     // faces shuffled within their object
    bool reorder = false;          // each box's vertices and sides in another order
    bool relist = false;           // each side listed from another corner
    bool weld = false;             // corners at one place are one vertex
    bool triangles = false;        // each side two triangles
    bool stray = false;            // an unused vertex before the first box
};

std::vector<MapBox> MakeBoxes(int count) {
    std::vector<MapBox> boxes(static_cast<std::size_t>(count));
    for (int b = 0; b < count; ++b) {
        MapBox& box = boxes[static_cast<std::size_t>(b)];
        box.at[0] = b % 6;
        box.at[1] = (b / 6) % 2;
        box.at[2] = b / 12;
        for (int s = 0; s < 6; ++s) {
            box.material[s] = (b + s) % 3;
            for (int c = 0; c < 8; ++c) {
                box.u[s][c] = (b % 40) + (s * 8 + c) / 64.0;
                box.v[s][c] = 0.5 + (b % 17) + (s * 8 + c) / 128.0;
            }
        }
    }
    return boxes;
}

// A document of the boxes, split over objects of perObject boxes, written as scramble says; order
// receives the boxes in the order the converter must meet them after repair: object by object,
// by their first face in the document.
std::string MapDocument(const std::vector<MapBox>& boxes, int perObject, const Scramble& scramble,
                        unsigned seed, std::vector<int>& order) {
    std::mt19937 random(seed);
    std::string doc = "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nMaterial 3 {\r\n";
    for (int m = 0; m < 3; ++m) {
        doc += "\t\"m" + std::to_string(m) + "\" col(1 1 1 1) tex(\"t" + std::to_string(m) +
               ".bmp\")\r\n";
    }
    doc += "}\r\n";
    order.clear();
    const int count = static_cast<int>(boxes.size());
    for (int first = 0, object = 0; first < count; first += perObject, ++object) {
        const int last = std::min(count, first + perObject);
        // Vertices: one per box corner, or one per place when welded.
        std::vector<std::tuple<int, int, int>> places;
        std::map<std::tuple<int, int, int>, int> placeIndex;
        std::vector<std::vector<int>> vertexOf;
        if (scramble.stray && object == 0) places.emplace_back(-5, -5, -5);
        for (int b = first; b < last; ++b) {
            const MapBox& box = boxes[static_cast<std::size_t>(b)];
            int corners[8] = {0, 1, 2, 3, 4, 5, 6, 7};
            if (scramble.reorder) std::shuffle(corners, corners + 8, random);
            std::vector<int> index(8);
            for (const int c : corners) {
                const std::tuple<int, int, int> place{box.at[0] + kCube[c][0],
                                                      box.at[1] + kCube[c][1],
                                                      box.at[2] + kCube[c][2] + 100 * object};
                if (scramble.weld && placeIndex.count(place) != 0) {
                    index[static_cast<std::size_t>(c)] = placeIndex[place];
                    continue;
                }
                index[static_cast<std::size_t>(c)] = static_cast<int>(places.size());
                placeIndex[place] = static_cast<int>(places.size());
                places.push_back(place);
            }
            vertexOf.push_back(index);
        }
        std::vector<int> vertexPermutation(places.size());
        for (std::size_t i = 0; i < places.size(); ++i) vertexPermutation[i] = static_cast<int>(i);
        if (scramble.shuffleVertices) {
            std::shuffle(vertexPermutation.begin(), vertexPermutation.end(), random);
        }
        std::vector<int> newIndex(places.size());
        for (std::size_t i = 0; i < places.size(); ++i) {
            newIndex[static_cast<std::size_t>(vertexPermutation[i])] = static_cast<int>(i);
        }
        // Faces: each with its box, as its line.
        std::vector<std::pair<int, std::string>> faces;
        for (int b = first; b < last; ++b) {
            const MapBox& box = boxes[static_cast<std::size_t>(b)];
            int sides[6] = {0, 1, 2, 3, 4, 5};
            if (scramble.reorder) std::shuffle(sides, sides + 6, random);
            for (const int s : sides) {
                const int start = scramble.relist ? static_cast<int>(random() % 4) : 0;
                int listed[4];
                for (int j = 0; j < 4; ++j) listed[j] = kSlots[s][(start + j) % 4];
                auto line = [&](std::initializer_list<int> cs) {
                    std::string text = "\t\t" + std::to_string(cs.size()) + " V(";
                    std::string uv;
                    bool firstCorner = true;
                    for (const int c : cs) {
                        if (!firstCorner) {
                            text += " ";
                            uv += " ";
                        }
                        firstCorner = false;
                        const int vertex = vertexOf[static_cast<std::size_t>(b - first)]
                                                   [static_cast<std::size_t>(c)];
                        text += std::to_string(newIndex[static_cast<std::size_t>(vertex)]);
                        uv += Num(box.u[s][c]) + " " + Num(box.v[s][c]);
                    }
                    return text + ") M(" + std::to_string(box.material[s]) + ") UV(" + uv + ")\r\n";
                };
                if (scramble.triangles) {
                    const int d = static_cast<int>(random() % 2);
                    faces.emplace_back(b, line({listed[d], listed[d + 1], listed[d + 2]}));
                    faces.emplace_back(b, line({listed[d], listed[d + 2], listed[(d + 3) % 4]}));
                } else {
                    faces.emplace_back(b, line({listed[0], listed[1], listed[2], listed[3]}));
                }
            }
        }
        if (scramble.shuffleFaces) std::shuffle(faces.begin(), faces.end(), random);
        doc += "Object \"part" + std::to_string(object) + "\" {\r\n\tdepth 0\r\n\tvisible 15\r\n";
        doc += "\tvertex " + std::to_string(places.size()) + " {\r\n";
        for (const int p : vertexPermutation) {
            const auto& [x, y, z] = places[static_cast<std::size_t>(p)];
            doc += "\t\t" + Num(x) + " " + Num(y) + " " + Num(z) + "\r\n";
        }
        doc += "\t}\r\n\tface " + std::to_string(faces.size()) + " {\r\n";
        std::vector<int> seen;
        for (const auto& [box, text] : faces) {
            doc += text;
            if (std::find(seen.begin(), seen.end(), box) == seen.end()) seen.push_back(box);
        }
        order.insert(order.end(), seen.begin(), seen.end());
        doc += "\t}\r\n}\r\n";
    }
    return doc + "Eof\r\n";
}

float FloatAt(const std::string& bytes, std::size_t offset) {
    float value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}
std::int32_t IntAt(const std::string& bytes, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Checks that the BD1 record at offset holds the box: its eight corners (x mirrored), and in
// each face slot the side whose corners the slot names, wound as the document winds it, with its
// material and its UV at each corner.
void ExpectBox(const std::string& bd1, std::size_t record, const MapBox& box, int object,
               const std::string& where) {
    const std::size_t at = 312 + 316 * record;
    int cornerOf[8];
    for (int k = 0; k < 8; ++k) {
        cornerOf[k] = -1;
        for (int c = 0; c < 8; ++c) {
            if (FloatAt(bd1, at + 4 * k) == -static_cast<float>(box.at[0] + kCube[c][0]) &&
                FloatAt(bd1, at + 32 + 4 * k) == static_cast<float>(box.at[1] + kCube[c][1]) &&
                FloatAt(bd1, at + 64 + 4 * k) ==
                    static_cast<float>(box.at[2] + kCube[c][2] + 100 * object)) {
                cornerOf[k] = c;
            }
        }
        ASSERT_GE(cornerOf[k], 0) << where << ": corner " << k << " is none of the box's";
        for (int j = 0; j < k; ++j) ASSERT_NE(cornerOf[j], cornerOf[k]) << where;
    }
    bool sideUsed[6] = {};
    for (int f = 0; f < 6; ++f) {
        int cycle[4];
        for (int j = 0; j < 4; ++j) cycle[j] = cornerOf[kSlots[f][j]];
        int side = -1;
        for (int s = 0; s < 6 && side < 0; ++s) {
            for (int start = 0; start < 4; ++start) {
                bool same = true;
                for (int j = 0; j < 4; ++j) same = same && kSlots[s][(start + j) % 4] == cycle[j];
                if (same) side = s;
            }
        }
        ASSERT_GE(side, 0) << where << ": slot " << f << " is no side wound as the document";
        ASSERT_FALSE(sideUsed[side]) << where;
        sideUsed[side] = true;
        EXPECT_EQ(IntAt(bd1, at + 288 + 4 * f), box.material[side]) << where << " slot " << f;
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(FloatAt(bd1, at + 96 + 16 * f + 4 * j),
                      static_cast<float>(box.u[side][cycle[j]]))
                << where << " slot " << f << " corner " << j;
            EXPECT_EQ(FloatAt(bd1, at + 192 + 16 * f + 4 * j),
                      static_cast<float>(box.v[side][cycle[j]]))
                << where << " slot " << f << " corner " << j;
        }
    }
    EXPECT_EQ(IntAt(bd1, at + 312), 1) << where;
}

struct Repaired {
    ProgramRun repair;
    std::string document;
    ProgramRun convert;
    std::string bd1;
};

// bloktar-repair on doc as MAP.mqo in dir, then the converter on what it wrote.
Repaired RepairAndConvert(const std::string& dir, const std::string& doc) {
    Repaired result;
    WriteFile(dir + "/MAP.mqo", doc);
    result.repair = RunRepair({"MAP.mqo"}, "ok\n", dir);
    if (!FileExists(dir + "/MAP.mqo.repaired.mqo")) return result;
    result.document = ReadFile(dir + "/MAP.mqo.repaired.mqo");
    result.convert = RunBloktar({"MAP.mqo.repaired.mqo"}, "ok\n", dir);
    result.bd1 = ReadFile(dir + "/MAP.mqo.repaired.mqo.bd1");
    return result;
}

// The map's document, repaired and converted: the BD1 file holds every box, in order.
void ExpectRepairedDocument(const std::vector<MapBox>& boxes, int perObject, const std::string& doc,
                            const std::vector<int>& order) {
    const int count = static_cast<int>(boxes.size());
    const std::string dir = MakeTempDir();
    const Repaired result = RepairAndConvert(dir, doc);
    ASSERT_EQ(result.repair.status, 0) << Utf8FromSjis(result.repair.out);
    ASSERT_FALSE(result.document.empty()) << Utf8FromSjis(result.repair.out);
    EXPECT_NE(
        result.repair.out.find(Sjis("修復した文書のブロック数\t" + std::to_string(count) + " \n")),
        std::string::npos)
        << Utf8FromSjis(result.repair.out);
    ASSERT_EQ(result.convert.status, 0);
    ASSERT_EQ(result.bd1.size(), 312u + 316u * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int b = order[static_cast<std::size_t>(i)];
        ExpectBox(result.bd1, static_cast<std::size_t>(i), boxes[static_cast<std::size_t>(b)],
                  b / perObject, "block " + std::to_string(i));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// The map, scrambled, repaired and converted: the BD1 file holds every box, in order.
void ExpectRepairedMap(int count, int perObject, const Scramble& scramble, unsigned seed) {
    const std::vector<MapBox> boxes = MakeBoxes(count);
    std::vector<int> order;
    const std::string doc = MapDocument(boxes, perObject, scramble, seed, order);
    ExpectRepairedDocument(boxes, perObject, doc, order);
}

TEST(RepairMaps, EachScrambleAloneGivesTheOriginalBoxes) {
    const std::pair<const char*, Scramble> cases[] = {
        {"vertices shuffled", {.shuffleVertices = true}},
        {"faces shuffled", {.shuffleFaces = true}},
        {"vertex and side order", {.reorder = true}},
        {"sides re-listed", {.relist = true}},
        {"welded", {.weld = true}},
        {"triangles", {.triangles = true}},
        {"a stray vertex", {.stray = true}},
    };
    unsigned seed = 1;
    for (const auto& [name, scramble] : cases) {
        SCOPED_TRACE(name);
        ExpectRepairedMap(30, 13, scramble, seed++);
    }
}

TEST(RepairMaps, EveryScrambleAtOnceGivesTheOriginalBoxes) {
    const Scramble all{true, true, true, true, true, true, true};
    for (unsigned seed = 11; seed < 14; ++seed) ExpectRepairedMap(60, 25, all, seed);
    const Scramble allButWeld{true, true, true, true, false, true, true};
    // Large enough for each half of the repaired form to reach its file in several runs.
    ExpectRepairedMap(6000, 512, allButWeld, 21);
}

// Vertex lines whose bytes are not what the converter reads (a carriage return inside, which it
// drops) are written as it reads them, and the boxes over them come out whole.
TEST(RepairMaps, VertexLinesWithCarriageReturnsInsideGiveTheirBoxes) {
    const std::vector<MapBox> boxes = MakeBoxes(30);
    std::vector<int> order;
    const Scramble scramble{.shuffleVertices = true, .reorder = true};
    const std::string doc = MapDocument(boxes, 13, scramble, 5, order);
    std::string odd;
    int vertexLines = 0;
    for (std::size_t at = 0; at < doc.size();) {
        const std::size_t end = doc.find('\n', at) + 1;
        std::string line = doc.substr(at, end - at);
        if (line.starts_with("\t\t") && line.find('(') == std::string::npos &&
            vertexLines++ % 5 == 0) {
            line.insert(line.find(' '), "\r");
        }
        odd += line;
        at = end;
    }
    ASSERT_GT(vertexLines, 200);
    ExpectRepairedDocument(boxes, 13, odd, order);
}

// Objects far into the document are met as the converter meets them, in order: read as objects
// of their own when the ones before are closed, as lines of an object left open otherwise.
TEST(RepairMaps, ObjectsFarIntoTheDocumentAreReadInTurn) {
    const std::vector<MapBox> boxes = MakeBoxes(8);
    std::vector<int> order;
    std::string doc = MapDocument(boxes, 6, {.shuffleFaces = true, .relist = true}, 7, order);
    // A line longer than the reader takes at once, in the last object: kept byte for byte.
    const std::string longLine = "\tnote " + std::string(300, 'x') + "\r\n";
    const std::string opening = "Object \"part1\" {\r\n";
    const std::size_t last = doc.find(opening);
    ASSERT_NE(last, std::string::npos);
    doc.insert(last + opening.size(), longLine);
    {
        SCOPED_TRACE("every object closed");
        ExpectRepairedDocument(boxes, 6, doc, order);
        const std::string dir = MakeTempDir();
        WriteFile(dir + "/MAP.mqo", doc);
        ASSERT_EQ(RunRepair({"MAP.mqo"}, "ok\n", dir).status, 0);
        EXPECT_NE(ReadFile(dir + "/MAP.mqo.repaired.mqo").find("\r\n" + longLine),
                  std::string::npos);
    }
    {
        // A face line beyond the middle that reads "Object ...": a face of the first object that
        // makes no box, moved to its hidden object; no object of its own.
        SCOPED_TRACE("an \"Object \" line within a face chunk");
        std::string faced = doc;
        const std::size_t chunkEnd = faced.rfind("\t}\r\n}\r\n", last);
        ASSERT_GT(chunkEnd, faced.size() * 3 / 5);
        faced.insert(chunkEnd, "Object \"fake\" {\r\n");
        ExpectRepairedDocument(boxes, 6, faced, order);
        const std::string dir = MakeTempDir();
        WriteFile(dir + "/MAP.mqo", faced);
        const ProgramRun run = RunRepair({"MAP.mqo"}, "ok\n", dir);
        ASSERT_EQ(run.status, 0);
        EXPECT_EQ(run.out.find("fake"), std::string::npos);
        EXPECT_NE(run.out.find(Sjis("・箱にならない頂点 0 個と面 1 面を非表示オブジェクト "
                                    "\"part0_aside\" に移す\n")),
                  std::string::npos)
            << Utf8FromSjis(run.out);
        const std::string repaired = ReadFile(dir + "/MAP.mqo.repaired.mqo");
        EXPECT_NE(repaired.find("\tface 1 {\r\n\t\tObject \"fake\" {\r\n\t}\r\n"),
                  std::string::npos);
    }
    // Without the first object's "}", the second's lines are the first's, and its "}" closes
    // it: one object, with two vertex chunks, which is left as it is.
    doc.erase(last - 3, 3);
    ASSERT_EQ(doc.substr(last - 7, 5), "\t}\r\nO");
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/MAP.mqo", doc);
    const ProgramRun run = RunRepair({"MAP.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kBanner + Sjis("ファイルロード\t完了\n箱の検出\t完了\n"
                                      "オブジェクト \"part0\"\n  ・手を付けずに残す\n"
                                      "直すところはない: 何も書き込まない\n"));
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"MAP.mqo"});
}

// A console as bloktar-repair prints it, from the file load on.
std::string Console(const std::string& utf8) {
    return kBanner + Sjis("ファイルロード\t完了\n" + utf8);
}

TEST(RepairMaps, AMapAlreadyRightIsLeftAlone) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(RunGenerator({"blocks", "40", dir + "/MAP.mqo", "--objects", "3"}), 0);
    const ProgramRun run = RunRepair({"MAP.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, Console("箱の検出\t完了\n"
                               "オブジェクト \"part0\"\n  ・そのままの箱\t14\n"
                               "オブジェクト \"part1\"\n  ・そのままの箱\t13\n"
                               "オブジェクト \"part2\"\n  ・そのままの箱\t13\n"
                               "直すところはない: 何も書き込まない\n"));
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"MAP.mqo"});
}

// The document with the first face of the named object listed from its second corner on: the
// same side, wound alike, with the same UV at each corner, which the converter no longer reads as
// the box it is.
std::string RelistFirstFace(std::string doc, const std::string& object) {
    const std::size_t chunk = doc.find("\tface ", doc.find("Object \"" + object + "\""));
    const std::size_t begin = doc.find("\t\t4 V(", chunk);
    const std::size_t material = doc.find(" M(", begin);
    const std::size_t uvs = doc.find(" UV(", material);
    const std::size_t end = doc.find(")\r\n", uvs);
    std::istringstream corners(doc.substr(begin + 6, material - 1 - (begin + 6)));
    std::istringstream numbers(doc.substr(uvs + 4, end - (uvs + 4)));
    std::string v[4];
    std::string uv[8];
    for (std::string& corner : v) corners >> corner;
    for (std::string& number : uv) numbers >> number;
    std::string relisted = "\t\t4 V(" + v[1] + ' ' + v[2] + ' ' + v[3] + ' ' + v[0] + ')' +
                           doc.substr(material, uvs - material) + " UV(";
    for (int k = 2; k < 10; ++k) relisted += uv[k % 8] + (k < 9 ? " " : "");
    doc.replace(begin, end - begin, relisted);
    return doc;
}

// A map already right but for one box, in the second object or the last: the program writes the
// objects before the first change, and a half of the document without any, only once it meets a
// change. That box is rewritten; every other block stays bit for bit.
TEST(RepairMaps, OneBoxToRepairLeavesEveryOtherBlockAsItWas) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(RunGenerator({"blocks", "400", dir + "/RIGHT.mqo", "--objects", "4"}), 0);
    ASSERT_EQ(RunBloktar({"RIGHT.mqo"}, "ok\n", dir).status, 0);
    const std::string right = ReadFile(dir + "/RIGHT.mqo");
    const std::string bd1 = ReadFile(dir + "/RIGHT.mqo.bd1");
    for (const auto& [object, block] : {std::pair{"part1", 100}, std::pair{"part3", 300}}) {
        SCOPED_TRACE(object);
        const Repaired result = RepairAndConvert(dir, RelistFirstFace(right, object));
        ASSERT_EQ(result.repair.status, 0) << Utf8FromSjis(result.repair.out);
        EXPECT_NE(result.repair.out.find(Sjis("・書き直す箱 (頂点の順)\t1\n")), std::string::npos)
            << Utf8FromSjis(result.repair.out);
        ASSERT_EQ(result.bd1.size(), bd1.size());
        const std::size_t record = 312 + 316 * static_cast<std::size_t>(block);
        EXPECT_NE(result.bd1.substr(record, 316), bd1.substr(record, 316));
        EXPECT_EQ(result.bd1.substr(0, record), bd1.substr(0, record));
        EXPECT_EQ(result.bd1.substr(record + 316), bd1.substr(record + 316));
    }
}

// Two boxes, the first listed in an order no layout knows, a lone triangle, an unused vertex:
// the console, the repaired document line by line, and the converter's blocks.
TEST(RepairMaps, TellsEachObjectAndMovesWhatIsNoBoxAside) {
    std::string doc =
        "Metasequoia Document\nFormat Text Ver 1.0\nObject \"box\" {\n"
        "\tvisible 15\n\tvertex 17 {\n";
    // Box A over vertices 0 to 7 in cube order but with corners 1 and 2 swapped in the list.
    const int listedA[8] = {0, 2, 1, 3, 4, 5, 6, 7};
    for (int k = 0; k < 8; ++k) {
        const int c = listedA[k];
        doc += "\t\t" + Num(kCube[c][0]) + " " + Num(kCube[c][1]) + " " + Num(kCube[c][2]) + "\n";
    }
    // Box B in the BD1 order itself, in place at vertices 8 to 15.
    for (int c = 0; c < 8; ++c) {
        doc +=
            "\t\t" + Num(kCube[c][0] + 2) + " " + Num(kCube[c][1]) + " " + Num(kCube[c][2]) + "\n";
    }
    doc += "\t\t9 9 9\n\t}\n\tface 13 {\n";
    const int positionA[8] = {0, 2, 1, 3, 4, 5, 6, 7};  // vertex number of cube corner c
    for (int s = 0; s < 6; ++s) {
        doc += "\t\t4 V(";
        for (int j = 0; j < 4; ++j) {
            doc += (j ? " " : "") + std::to_string(positionA[kSlots[s][j]]);
        }
        doc += ") M(" + std::to_string(s % 2) + ") UV(0 0 1 0 1 1 0 1)\n";
    }
    for (int s = 0; s < 6; ++s) {
        doc += "\t\t4 V(";
        for (int j = 0; j < 4; ++j) doc += (j ? " " : "") + std::to_string(8 + kSlots[s][j]);
        doc += ") M(1) UV(0.5 0 1 0 1 1 0 1)\n";
    }
    doc += "\t\t3 V(16 0 8) M(0) UV(0 0 1 0 1 1)\n\t}\n}\nEof\n";

    const std::string dir = MakeTempDir();
    const Repaired result = RepairAndConvert(dir, doc);
    EXPECT_EQ(result.repair.status, 0);
    EXPECT_EQ(
        result.repair.out,
        Console("箱の検出\t完了\nオブジェクト \"box\"\n  ・そのままの箱\t1\n"
                "  ・書き直す箱 (頂点の順)\t1\n"
                "  ・箱にならない頂点 3 個と面 1 面を非表示オブジェクト \"box_aside\" に移す\n"
                "検証\t完了\n修復した文書のブロック数\t2 \n書き込み\t完了\n修復完了\n"));
    // Box A in layout 0: its first face listed 0 2 1 3 in the document, so corners 3, 2, 1, 0
    // are cube corners 3, 2, 1, 0 there; box B as it stood; the rest in the hidden object.
    std::string expected =
        "Metasequoia Document\nFormat Text Ver 1.0\nObject \"box\" {\n"
        "\tvisible 15\n\tvertex 16 {\n";
    for (int c = 0; c < 8; ++c) {
        expected +=
            "\t\t" + Num(kCube[c][0]) + " " + Num(kCube[c][1]) + " " + Num(kCube[c][2]) + "\n";
    }
    for (int c = 0; c < 8; ++c) {
        expected +=
            "\t\t" + Num(kCube[c][0] + 2) + " " + Num(kCube[c][1]) + " " + Num(kCube[c][2]) + "\n";
    }
    expected += "\t}\n\tface 12 {\n";
    // Each side listed from the corner the slot names first: the document listed every side
    // from its slot's first corner, so every UV corner keeps its place.
    for (int s = 0; s < 6; ++s) {
        expected += "\t\t4 V(";
        for (int j = 0; j < 4; ++j) expected += (j ? " " : "") + std::to_string(kSlots[s][j]);
        expected += ") M(" + std::to_string(s % 2) + ") UV(0 0 1 0 1 1 0 1)\n";
    }
    for (int s = 0; s < 6; ++s) {
        expected += "\t\t4 V(";
        for (int j = 0; j < 4; ++j) expected += (j ? " " : "") + std::to_string(8 + kSlots[s][j]);
        expected += ") M(1) UV(0.5 0 1 0 1 1 0 1)\n";
    }
    expected += "\t}\n}\nObject \"box_aside\" {\n\tvisible 0\n\tvertex 3 {\n\t\t" +
                Num(kCube[0][0]) + " " + Num(kCube[0][1]) + " " + Num(kCube[0][2]) + "\n\t\t" +
                Num(kCube[0][0] + 2) + " " + Num(kCube[0][1]) + " " + Num(kCube[0][2]) +
                "\n\t\t9 9 9\n\t}\n\tface 1 {\n\t\t3 V(2 0 1) M(0) UV(0 0 1 0 1 1)\n\t}\n}\nEof\n";
    EXPECT_EQ(result.document, expected);
    ASSERT_EQ(result.convert.status, 0);
    ASSERT_EQ(result.bd1.size(), 312u + 2 * 316u);
}

TEST(RepairRefusals, EachRefusalWritesNothingAndEndsWithStatusOne) {
    const std::string dir = MakeTempDir();
    // No document, and one that is not there.
    ProgramRun run = RunRepair({}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kBanner + Sjis("ファイルロード\t失敗\n"));
    run = RunRepair({"none.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kBanner + Sjis("ファイルロード\t失敗\n"));

    // A wrong header, in the converter's words.
    WriteFile(dir + "/bad.mqo", "Metasequoia Document\nFormat Text Ver 2.0\n");
    run = RunRepair({"bad.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Console("ヘッダー確認tmpStr=Format Text Ver 2.0\n\n"
                               "\"Format Text Ver 1.0\"の確認失敗 \n"));

    // A document bloktar-compat refuses, in its words.
    WriteFile(dir + "/utf.mqo",
              "Metasequoia Document\nFormat Text Ver 1.1\nCodePage utf8\nObject \"\xff\" {\n}\n");
    run = RunRepair({"utf.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, kBanner + Sjis("形式変換\t失敗\nUTF-8 として読めないバイトがある: 行 4\n"));

    // An output that cannot be written: a folder stands in its place.
    std::vector<int> order;
    WriteFile(dir + "/map.mqo", MapDocument(MakeBoxes(2), 8, {.shuffleFaces = true}, 3, order));
    ASSERT_EQ(RunCommand({"mkdir", dir + "/map.mqo.repaired.mqo"}, "", dir).status, 0);
    run = RunRepair({"map.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find(Sjis("書き込み\t失敗\n")), std::string::npos);
    EXPECT_EQ(run.out.find(Sjis("修復完了")), std::string::npos);

    // A mirror object left as it is, whose three vertices put the box behind it out of a
    // block's place: the check of the repaired form refuses it.
    std::string mirrored = MapDocument(MakeBoxes(1), 8, {.reorder = true}, 5, order);
    mirrored.insert(mirrored.find("Object \"part0\""),
                    "Object \"m\" {\r\n\tmirror 1\r\n\tvertex 3 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n"
                    "\t\t0 1 0\r\n\t}\r\n}\r\n");
    WriteFile(dir + "/mirror.mqo", mirrored);
    run = RunRepair({"mirror.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(
        run.out,
        kBanner + Sjis("警告\tオブジェクト \"m\": ミラーの片側しか文書にない "
                       "(モデラーでフリーズしてから保存する)\n"
                       "ファイルロード\t完了\n箱の検出\t完了\n"
                       "オブジェクト \"m\"\n  ・手を付けずに残す\n"
                       "オブジェクト \"part0\"\n  ・そのままの箱\t0\n  ・書き直す箱 (位置)\t1\n"
                       "検証\t失敗\n  ・ブロック 0 が元の箱と合わない\n"));
    EXPECT_FALSE(FileExists(dir + "/mirror.mqo.repaired.mqo"));
    // Nothing beside it either: the form is stored while it is checked, and dropped with it.
    for (const std::string& name : ListDirectory(dir)) {
        EXPECT_NE(name.rfind("mirror.mqo.", 0), 0u) << name;
    }
    // An earlier repaired document stays as it was when the check refuses a later form.
    WriteFile(dir + "/mirror.mqo", MapDocument(MakeBoxes(1), 8, {.reorder = true}, 5, order));
    ASSERT_EQ(RunRepair({"mirror.mqo"}, "ok\n", dir).status, 0);
    const std::string repairedBefore = ReadFile(dir + "/mirror.mqo.repaired.mqo");
    WriteFile(dir + "/mirror.mqo", mirrored);
    EXPECT_EQ(RunRepair({"mirror.mqo"}, "ok\n", dir).status, 1);
    EXPECT_EQ(ReadFile(dir + "/mirror.mqo.repaired.mqo"), repairedBefore);

    // An earlier repaired document stays as it was when a later run is refused.
    WriteFile(dir + "/two.mqo", MapDocument(MakeBoxes(2), 8, {.shuffleFaces = true}, 4, order));
    ASSERT_EQ(RunRepair({"two.mqo"}, "ok\n", dir).status, 0);
    const std::string earlier = ReadFile(dir + "/two.mqo.repaired.mqo");
    WriteFile(dir + "/two.mqo", "Metasequoia Document\n");
    EXPECT_EQ(RunRepair({"two.mqo"}, "ok\n", dir).status, 1);
    EXPECT_EQ(ReadFile(dir + "/two.mqo.repaired.mqo"), earlier);
}

TEST(RepairMaps, TakesTodaysDocumentsThroughTheTranslation) {
    const std::vector<MapBox> boxes = MakeBoxes(5);
    std::vector<int> order;
    std::string doc = MapDocument(boxes, 8, {.shuffleVertices = true, .relist = true}, 5, order);
    doc.replace(doc.find("Ver 1.0"), 7, "Ver 1.1");
    const std::string dir = MakeTempDir();
    const Repaired result = RepairAndConvert(dir, doc);
    EXPECT_EQ(result.repair.status, 0);
    EXPECT_EQ(result.repair.out.substr(0, kBanner.size() + 60),
              (kBanner + Sjis("文書の形式\tFormat Text Ver 1.1 を Ver 1.0 として読む\n"
                              "ファイルロード\t完了\n"))
                  .substr(0, kBanner.size() + 60));
    EXPECT_EQ(result.document.substr(0, 43), "Metasequoia Document\r\nFormat Text Ver 1.0\r\n");
    ASSERT_EQ(result.bd1.size(), 312u + 5 * 316u);
    for (int i = 0; i < 5; ++i) {
        ExpectBox(result.bd1, static_cast<std::size_t>(i),
                  boxes[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])], 0,
                  "block " + std::to_string(i));
    }
}

}  // namespace

namespace {

// The loop a map maker goes through: the inspector finds the broken blocks and says how many
// bloktar-repair would fix, bloktar-repair writes the repaired document, and the inspector finds
// nothing wrong with it.
TEST(RepairMaps, InspectRepairInspect) {
    std::vector<int> order;
    const std::string doc =
        MapDocument(MakeBoxes(30), 13, {.shuffleFaces = true, .stray = true}, 7, order);
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/MAP.mqo", doc);
    const ProgramRun before = RunInspector({"MAP.mqo"}, dir);
    EXPECT_EQ(before.status, 2);
    // The stray vertex shifts every block: all 30 are broken, and all 30 are put back.
    EXPECT_NE(before.out.find(Sjis("問題のあるブロック\t30\n")), std::string::npos);
    EXPECT_TRUE(before.out.ends_with(
        Sjis(std::string(47, '-') + "\nbloktar-repair で直せるブロック\t30\n")))
        << Utf8FromSjis(before.out);
    ASSERT_EQ(RunRepair({"MAP.mqo"}, "ok\n", dir).status, 0);
    const ProgramRun after = RunInspector({"MAP.mqo.repaired.mqo"}, dir);
    EXPECT_EQ(after.status, 0) << Utf8FromSjis(after.out);
    EXPECT_EQ(after.out.find(Sjis("bloktar-repair")), std::string::npos);
}

}  // namespace

namespace {

// The generator's maps in each of its number shapes, scrambled: bloktar-repair puts every box
// back (its own check converts each), the numbers keep their texts, and the inspector finds
// nothing wrong with the result.
TEST(RepairMaps, GeneratedMapsInEveryNumberShape) {
    for (const char* shape : {"usual", "wide", "shortest"}) {
        SCOPED_TRACE(shape);
        const std::string dir = MakeTempDir();
        ASSERT_EQ(
            RunGenerator({"blocks", "700", dir + "/MAP.mqo", "--numbers", shape, "--scrambled"}),
            0);
        const ProgramRun run = RunRepair({"MAP.mqo"}, "ok\n", dir);
        ASSERT_EQ(run.status, 0) << Utf8FromSjis(run.out);
        EXPECT_NE(run.out.find(Sjis("修復した文書のブロック数\t700 \n")), std::string::npos);
        const ProgramRun inspected = RunInspector({"MAP.mqo.repaired.mqo"}, dir);
        EXPECT_EQ(inspected.status, 0);
        // Every number text of the original stands in the repaired document.
        const std::string original = ReadFile(dir + "/MAP.mqo");
        const std::string repaired = ReadFile(dir + "/MAP.mqo.repaired.mqo");
        const std::size_t uv = original.rfind("UV(");
        const std::string lastUvs = original.substr(uv, original.find(')', uv) - uv);
        std::size_t from = 3;
        for (std::size_t space = lastUvs.find(' ', from); from < lastUvs.size();
             from = space + 1, space = lastUvs.find(' ', from)) {
            const std::string number = lastUvs.substr(from, space - from);
            EXPECT_TRUE(repaired.find(" " + number + " ") != std::string::npos ||
                        repaired.find("(" + number + " ") != std::string::npos ||
                        repaired.find(" " + number + ")") != std::string::npos)
                << number;
            if (space == std::string::npos) break;
        }
    }
}

}  // namespace

namespace {

// 32,768 unit boxes in a row, each welded to the next: the document counts 16,386 blocks, but
// each box needs its own eight vertices, one block more than a BD1 file holds.
TEST(RepairRefusals, MoreBoxesThanABd1FileHolds) {
    constexpr int kBoxes = 32768;
    std::string doc = "Metasequoia Document\nFormat Text Ver 1.0\nObject \"row\" {\n\tvertex " +
                      std::to_string(4 * (kBoxes + 1)) + " {\n";
    // Vertex 4x + k: corner k of the square at x (y and z from the cube's corners 0 to 3 and
    // their x taken away).
    for (int x = 0; x <= kBoxes; ++x) {
        doc += "\t\t" + std::to_string(x) + " 1 0\n\t\t" + std::to_string(x) + " 1 1\n\t\t" +
               std::to_string(x) + " 0 1\n\t\t" + std::to_string(x) + " 0 0\n";
    }
    doc += "\t}\n\tface " + std::to_string(6 * kBoxes) + " {\n";
    for (int b = 0; b < kBoxes; ++b) {
        const int l = 4 * b;
        const int r = l + 4;
        const int sides[6][4] = {{l, l + 1, l + 2, l + 3},     {r + 3, r + 2, r + 1, r},
                                 {l, r, r + 1, l + 1},         {l + 1, r + 1, r + 2, l + 2},
                                 {l + 2, r + 2, r + 3, l + 3}, {l + 3, r + 3, r, l}};
        for (const auto& side : sides) {
            doc += "\t\t4 V(" + std::to_string(side[0]) + " " + std::to_string(side[1]) + " " +
                   std::to_string(side[2]) + " " + std::to_string(side[3]) + ") M(0)\n";
        }
    }
    doc += "\t}\n}\nEof\n";
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/row.mqo", doc);
    const ProgramRun run = RunRepair({"row.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Console("箱の検出\t完了\nオブジェクト \"row\"\n  ・そのままの箱\t0\n"
                               "  ・書き直す箱 (共有頂点)\t32768\n検証\t失敗\n"
                               "  ・ブロックが多すぎる (BD1 ファイルは 32767 まで): 32768\n"));
    EXPECT_FALSE(FileExists(dir + "/row.mqo.repaired.mqo"));
}

}  // namespace
