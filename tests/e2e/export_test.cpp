// bloktar-export run as a process: every byte it prints, its exit status, and the .glb file it
// writes, read back by a reader of the tests' own (support/glb.cpp) and compared with the blocks
// as the BD1 file holds them: every face's corners and UVs, faces seen from outside, materials
// and the images embedded or converted.
#include <gtest/gtest.h>

#include <stb_image_write.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "run/version.hpp"
#include "support/expected.hpp"
#include "support/glb.hpp"
#include "support/process.hpp"
#ifdef BLOKTAR_READS_PNG
#include "support/png.hpp"
#endif

using namespace testing_support;

namespace {

const std::string kBanner = Banner("BLOKTAR EXPORT");

// The corners that UV corners 0 to 3 of each face of a record belong to.
constexpr int kFaceCorners[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                    {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

std::string Bd1File(const std::vector<ExpectedBlock>& blocks,
                    const std::vector<std::string>& names = {}) {
    return Bd1Bytes(names, static_cast<std::int16_t>(blocks.size()), blocks);
}

// A box from (x0, y0, z0) to x0 + size... in the document's frame, in the records' order
// (corners 0 to 3 on top), x mirrored as the records hold it; UVs that differ at every corner of
// every face.
ExpectedBlock Box(float x0, float y0, float z0, float size, float uvBase) {
    ExpectedBlock block{};
    const int square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 8; ++k) {
        block.x[k] = -(x0 + size * static_cast<float>(square[k % 4][0]));
        block.y[k] = y0 + (k < 4 ? size : 0.0f);
        block.z[k] = z0 + size * static_cast<float>(square[k % 4][1]);
    }
    for (int i = 0; i < 24; ++i) {
        block.u[i] = uvBase + 0.25f * static_cast<float>(i);
        block.v[i] = -0.5f * static_cast<float>(i);
    }
    return block;
}

struct Point {
    double x, y, z;
};

Point Corner(const ExpectedBlock& block, int k) {
    return {-static_cast<double>(block.x[k]), block.y[k], block.z[k]};
}

// Compares the file's model with the blocks, block by block: each face's four corners with
// their UVs as the records hold them (x mirrored back), each triangle on a face of its block
// with the material of the face's texture number, every triangle with an area turned away from
// its box's centre, and every normal of unit length along its face's turn.
void ExpectBlocks(const GlbContent& glb, const std::vector<ExpectedBlock>& blocks) {
    ASSERT_EQ(glb.vertices.size(), blocks.size() * 24);
    std::vector<std::vector<std::uint32_t>> verticesOf(blocks.size());
    for (std::uint32_t i = 0; i < glb.vertices.size(); ++i) {
        ASSERT_LT(glb.vertices[i].block, blocks.size());
        verticesOf[glb.vertices[i].block].push_back(i);
    }
    // For each block, which vertex is corner c of face f.
    std::vector<std::array<std::array<int, 4>, 6>> slotOf(blocks.size());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        const ExpectedBlock& block = blocks[b];
        ASSERT_EQ(verticesOf[b].size(), 24u);
        std::vector<bool> used(24, false);
        for (int f = 0; f < 6; ++f) {
            for (int c = 0; c < 4; ++c) {
                const Point p = Corner(block, kFaceCorners[f][c]);
                int match = -1;
                for (int i = 0; i < 24 && match < 0; ++i) {
                    const GlbVertex& v = glb.vertices[verticesOf[b][static_cast<std::size_t>(i)]];
                    if (!used[static_cast<std::size_t>(i)] && v.position[0] == p.x &&
                        v.position[1] == p.y && v.position[2] == p.z &&
                        v.uv[0] == block.u[f * 4 + c] && v.uv[1] == block.v[f * 4 + c]) {
                        match = i;
                    }
                }
                ASSERT_GE(match, 0) << "face " << f << " corner " << c << " not found";
                used[static_cast<std::size_t>(match)] = true;
                slotOf[b][static_cast<std::size_t>(f)][static_cast<std::size_t>(c)] =
                    static_cast<int>(verticesOf[b][static_cast<std::size_t>(match)]);
            }
        }
    }
    std::vector<std::array<int, 6>> trianglesOnFace(blocks.size(), std::array<int, 6>{});
    for (const GlbTriangle& t : glb.triangles) {
        const std::uint32_t b = glb.vertices[t.corner[0]].block;
        ASSERT_EQ(glb.vertices[t.corner[1]].block, b);
        ASSERT_EQ(glb.vertices[t.corner[2]].block, b);
        const auto& slots = slotOf[b];
        int face = -1;
        for (int f = 0; f < 6 && face < 0; ++f) {
            int on = 0;
            for (const std::uint32_t corner : t.corner) {
                for (const int s : slots[static_cast<std::size_t>(f)])
                    on += s == static_cast<int>(corner);
            }
            if (on == 3) face = f;
        }
        ASSERT_GE(face, 0) << "a triangle of block " << b << " lies on none of its faces";
        ++trianglesOnFace[b][static_cast<std::size_t>(face)];
        const ExpectedBlock& block = blocks[b];
        const std::int32_t texture = block.texture[face];
        const GlbMaterial& material = glb.materials[t.material];
        if (texture >= 0 && texture < 10) {
            EXPECT_TRUE(material.hasTextureNumber && material.textureNumber == texture)
                << "block " << b << " face " << face;
        } else {
            EXPECT_FALSE(material.hasTextureNumber) << "block " << b << " face " << face;
        }

        Point centre{0, 0, 0};
        for (int k = 0; k < 8; ++k) {
            const Point p = Corner(block, k);
            centre = {centre.x + p.x / 8, centre.y + p.y / 8, centre.z + p.z / 8};
        }
        const float* p0 = glb.vertices[t.corner[0]].position;
        const float* p1 = glb.vertices[t.corner[1]].position;
        const float* p2 = glb.vertices[t.corner[2]].position;
        const Point a{double{p1[0]} - p0[0], double{p1[1]} - p0[1], double{p1[2]} - p0[2]};
        const Point c{double{p2[0]} - p0[0], double{p2[1]} - p0[1], double{p2[2]} - p0[2]};
        const Point n{a.y * c.z - a.z * c.y, a.z * c.x - a.x * c.z, a.x * c.y - a.y * c.x};
        const double area = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        for (const std::uint32_t corner : t.corner) {
            const float* normal = glb.vertices[corner].normal;
            const double length =
                std::sqrt(double{normal[0]} * normal[0] + double{normal[1]} * normal[1] +
                          double{normal[2]} * normal[2]);
            EXPECT_NEAR(length, 1.0, 1e-6);
            if (area > 0) {
                EXPECT_GT(n.x * normal[0] + n.y * normal[1] + n.z * normal[2], 0)
                    << "block " << b << " face " << face << ": normal against the turn";
            }
        }
        if (area == 0) continue;  // a face of a wedge that has come to a point or a line
        const Point middle{(p0[0] + double{p1[0]} + p2[0]) / 3, (p0[1] + double{p1[1]} + p2[1]) / 3,
                           (p0[2] + double{p1[2]} + p2[2]) / 3};
        // A face in the plane of its box's centre (a box without height) has no inside.
        const double outwards =
            n.x * (middle.x - centre.x) + n.y * (middle.y - centre.y) + n.z * (middle.z - centre.z);
        const bool inPlaneOfCentre =
            n.x * (p0[0] - centre.x) + n.y * (p0[1] - centre.y) + n.z * (p0[2] - centre.z) == 0;
        if (!inPlaneOfCentre) {
            EXPECT_GT(outwards, 0) << "block " << b << " face " << face << " is seen from inside";
        }
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        for (int f = 0; f < 6; ++f) {
            EXPECT_EQ(trianglesOnFace[b][static_cast<std::size_t>(f)], 2)
                << "block " << b << " face " << f;
        }
    }
}

std::string Written(long long blocks, int materials, const std::string& textureLines,
                    bool fromDocument = false, const std::string& translation = "") {
    return kBanner + Sjis("ファイルロード\t完了\n" + translation +
                          (fromDocument ? "ドキュメント変換\t完了\n" : "BD1ファイル確認\t完了\n") +
                          "総ブロック数\t" + std::to_string(blocks) + " \nマテリアル数\t" +
                          std::to_string(materials) + " \n" + textureLines +
                          "glTF作成\t完了\n書き込み\t完了\n\n書き出し完了\n");
}

void AppendTo(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                               static_cast<std::size_t>(size));
}

// 2 x 2 pixels: red, green on top, blue, white below.
constexpr unsigned char kPixels[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

std::string Bmp2x2() {
    std::string file = "BM" + I32(14 + 40 + 16) + I32(0) + I32(54);
    file += I32(40) + I32(2) + I32(2) + std::string("\x01\x00\x18\x00", 4) + I32(0) + I32(16) +
            I32(2835) + I32(2835) + I32(0) + I32(0);
    // Rows bottom-up, BGR, each padded to 4 bytes.
    for (const int row : {1, 0}) {
        for (int x = 0; x < 2; ++x) {
            const unsigned char* p = kPixels + (row * 2 + x) * 3;
            file += static_cast<char>(p[2]);
            file += static_cast<char>(p[1]);
            file += static_cast<char>(p[0]);
        }
        file += std::string(2, '\0');
    }
    return file;
}

std::string Tga2x2() {
    // Uncompressed true colour, 24 bits, rows from the top (descriptor bit 5).
    std::string file("\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x02\x00\x18\x20",
                     18);
    for (int i = 0; i < 4; ++i) {
        file += static_cast<char>(kPixels[i * 3 + 2]);
        file += static_cast<char>(kPixels[i * 3 + 1]);
        file += static_cast<char>(kPixels[i * 3]);
    }
    return file;
}

// A 1 x 1 GIF whose one pixel is the first colour of its table, white.
const std::string kGif(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00"
    "\x00\x02\x02\x44\x01\x00;",
    35);

// A lossless WebP file of one pixel.
const std::string kWebP(
    "RIFF\x1a\x00\x00\x00WEBPVP8L\x0d\x00\x00\x00\x2f\x00\x00\x00\x10\x07\x10\x11\x11\x88\x88"
    "\xfe\x07\x00",
    34);

#ifdef BLOKTAR_READS_PNG
void ExpectPixels(const std::string& png, std::uint32_t width, const unsigned char* rgb,
                  std::size_t count) {
    Image image;
    ASSERT_EQ(DecodePng(png, image), "");
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.pixels.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(image.pixels[i].r, rgb[i * 3]) << i;
        EXPECT_EQ(image.pixels[i].g, rgb[i * 3 + 1]) << i;
        EXPECT_EQ(image.pixels[i].b, rgb[i * 3 + 2]) << i;
    }
}
#endif

}  // namespace

// A BD1 file whose slots name an image of every kind the program meets, beside it and in a
// folder below (named with the document's backslash), one missing, one without a name, a broken
// one, a WebP one and a texture number beyond the slots: every console byte, the materials and
// their images, and the blocks (a box in the records' turn, one mirrored, a wedge, a flat box).
TEST(Export, Bd1FileWithEveryKindOfImage) {
    const std::string dir = MakeTempDir();
    std::string png, jpeg;
    ASSERT_NE(stbi_write_png_to_func(AppendTo, &png, 2, 2, 3, kPixels, 6), 0);
    std::vector<unsigned char> grey(64, 128);
    ASSERT_NE(stbi_write_jpg_to_func(AppendTo, &jpeg, 8, 8, 1, grey.data(), 90), 0);
    WriteFile(dir + "/a.png", png);
    WriteFile(dir + "/b.jpg", jpeg);
    WriteFile(dir + "/c.bmp", Bmp2x2());
    ASSERT_EQ(RunCommand({"mkdir", dir + "/tex"}, "", dir).status, 0);
    WriteFile(dir + "/tex/d.tga", Tga2x2());
    WriteFile(dir + "/e.gif", kGif);
    WriteFile(dir + "/bad.png", "\x89PNG\r\n\x1a\n not really");
    WriteFile(dir + "/f.webp", kWebP);
    WriteFile(dir + "/unused.bmp", Bmp2x2());

    ExpectedBlock cube = Box(0, 0, 0, 1, 0);
    const std::int32_t textures0[6] = {0, 1, 2, 3, 4, 5};
    std::memcpy(cube.texture, textures0, sizeof textures0);
    // The same box with x mirrored: its corners turn the other way round.
    ExpectedBlock mirrored = Box(2, 0, 0, 1, 10);
    for (float& x : mirrored.x) x = -x;
    const std::int32_t textures1[6] = {6, 7, 8, 12, 0, 0};
    std::memcpy(mirrored.texture, textures1, sizeof textures1);
    // A wedge: the top's far edge (corners 2 and 3) brought down onto the bottom's (6 and 7).
    ExpectedBlock wedge = Box(-3, 1, 2, 2, 20);
    for (const int k : {2, 3}) wedge.y[k] = wedge.y[k + 4];
    // A box without height.
    ExpectedBlock flat = Box(0, 5, 0, 1, 30);
    for (float& y : flat.y) y = 5;
    const std::vector<ExpectedBlock> blocks = {cube, mirrored, wedge, flat};
    const std::string bd1 = Bd1File(blocks, {"a.png", "b.jpg", "c.bmp", "tex\\d.tga", "e.gif",
                                             "missing.bmp", "", "bad.png", "f.webp", "unused.bmp"});
    WriteFile(dir + "/MAP.bd1", bd1);

    const ProgramRun run = RunExporter({"MAP.bd1"}, "ok\n", dir);
    EXPECT_EQ(
        run.out,
        Written(4, 10,
                "テクスチャ\t0 a.png\tPNG をそのまま埋め込む\n"
                "テクスチャ\t1 b.jpg\tJPEG をそのまま埋め込む\n"
                "テクスチャ\t2 c.bmp\tBMP を PNG に変換して埋め込む\n"
                "テクスチャ\t3 tex\\d.tga\tTGA を PNG に変換して埋め込む\n"
                "テクスチャ\t4 e.gif\tGIF を PNG に変換して埋め込む\n"
                "テクスチャ\t5 missing.bmp\t見つからない (単色で表示)\n"
                "テクスチャ\t6 (名前なし)\t単色\n"
                "テクスチャ\t7 bad.png\t画像として読めない (単色で表示)\n"
                "テクスチャ\t8 f.webp\tWebP をそのまま埋め込む (WebP を読まないソフトでは単色)\n"
                "テクスチャ番号が 0 から 9 でない面\t1 (灰色)\n"));
    EXPECT_EQ(run.status, 0);
    GlbContent glb;
    ASSERT_EQ(ReadGlb(ReadFile(dir + "/MAP.bd1.glb"), glb), "");
    EXPECT_EQ(glb.generator, "bloktar-export " BLOKTAR_VERSION);
    EXPECT_EQ(glb.sceneName, "MAP.bd1");
    ExpectBlocks(glb, blocks);

    // One material per slot in use, then the one for faces without a slot.
    ASSERT_EQ(glb.materials.size(), 10u);
    const char* names[] = {"a.png",       "b.jpg",     "c.bmp",   "tex\\d.tga", "e.gif",
                           "missing.bmp", "texture 6", "bad.png", "f.webp",     "no texture slot"};
    // Images: the PNG and the JPEG as they were, the BMP, TGA and GIF as PNG, and for the WebP
    // a one-pixel PNG of the slot's flat colour, then the WebP as it was.
    const int images[10] = {0, 1, 2, 3, 4, -1, -1, -1, 5, -1};
    for (std::size_t m = 0; m < 10; ++m) {
        SCOPED_TRACE(m);
        EXPECT_EQ(glb.materials[m].name, names[m]);
        EXPECT_EQ(glb.materials[m].image, images[m]);
        EXPECT_EQ(glb.materials[m].colour.empty(), images[m] >= 0);
    }
    // The page's flat colours (sRGB 200 168 120 for slot 5, ...) in linear terms, opaque.
    const auto linear = [](double c) {
        c /= 255;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const std::vector<double> slot5 = {linear(127), linear(201), linear(192), 1};
    const std::vector<double> grey128 = {linear(128), linear(128), linear(128), 1};
    ASSERT_EQ(glb.materials[5].colour.size(), 4u);
    ASSERT_EQ(glb.materials[9].colour.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(glb.materials[5].colour[i], slot5[i], 1e-12);
        EXPECT_NEAR(glb.materials[9].colour[i], grey128[i], 1e-12);
    }
    ASSERT_EQ(glb.images.size(), 7u);
    EXPECT_EQ(glb.images[0].mimeType, "image/png");
    EXPECT_TRUE(glb.images[0].bytes == png);
    EXPECT_EQ(glb.images[1].mimeType, "image/jpeg");
    EXPECT_TRUE(glb.images[1].bytes == jpeg);
    for (std::size_t i : {2, 3, 4, 5}) {
        EXPECT_EQ(glb.images[i].mimeType, "image/png");
        EXPECT_TRUE(glb.images[i].bytes.starts_with("\x89PNG\r\n\x1a\n"));
    }
    EXPECT_EQ(glb.images[6].mimeType, "image/webp");
    EXPECT_TRUE(glb.images[6].bytes == kWebP);
#ifdef BLOKTAR_READS_PNG
    ExpectPixels(glb.images[2].bytes, 2, kPixels, 4);
    ExpectPixels(glb.images[3].bytes, 2, kPixels, 4);
    const unsigned char white[3] = {255, 255, 255};
    ExpectPixels(glb.images[4].bytes, 1, white, 1);
    const unsigned char slot8[3] = {159, 176, 217};
    ExpectPixels(glb.images[5].bytes, 1, slot8, 1);
#endif
}

// A document goes through the converter's pipeline in memory: the .glb of generated documents
// (every layout, several objects) and of their Ver 1.1 form holds what the .glb of the BD1 file
// the converter writes holds, byte for byte but for the file's name.
TEST(Export, DocumentsAsTheConverterConvertsThem) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(RunGenerator({"blocks", "9", dir + "/gen.mqo", dir + "/gen.bd1", "--objects", "3"}),
              0);
    std::string newer = ReadFile(dir + "/gen.mqo");
    const std::size_t line2 = newer.find("Ver 1.0");
    ASSERT_NE(line2, std::string::npos);
    newer.replace(line2, 7, "Ver 1.1");
    WriteFile(dir + "/newer.mqo", newer);

    const ProgramRun fromBd1 = RunExporter({"gen.bd1"}, "ok\n", dir);
    ASSERT_EQ(fromBd1.status, 0) << fromBd1.out;
    const std::string expected = ReadFile(dir + "/gen.bd1.glb");
    // The texture lines are the BD1 file's, whatever they are.
    const std::string afterCount = fromBd1.out.substr(fromBd1.out.find(Sjis("総ブロック数")));
    const ProgramRun fromDocument = RunExporter({"gen.mqo"}, "ok\n", dir);
    EXPECT_EQ(fromDocument.out,
              kBanner + Sjis("ファイルロード\t完了\nドキュメント変換\t完了\n") + afterCount);
    EXPECT_EQ(fromDocument.status, 0);
    const ProgramRun fromNewer = RunExporter({"newer.mqo"}, "ok\n", dir);
    EXPECT_EQ(fromNewer.out,
              kBanner +
                  Sjis("ファイルロード\t完了\n文書の形式\tFormat Text Ver 1.1 を Ver 1.0 "
                       "として読む\nドキュメント変換\t完了\n") +
                  afterCount);
    EXPECT_EQ(fromNewer.status, 0);

    auto renamed = [](std::string glb, const std::string& from, const std::string& to) {
        // The name stands twice in the JSON chunk (scene and node), padded to the same length.
        std::string key = "\"" + from + "\"";
        const std::string by = "\"" + to + "\"";
        for (std::size_t at = glb.find(key); at != std::string::npos;
             at = glb.find(key, at + by.size())) {
            glb.replace(at, key.size(), by);
        }
        return glb;
    };
    GlbContent a, b;
    ASSERT_EQ(ReadGlb(expected, a), "");
    ASSERT_EQ(ReadGlb(ReadFile(dir + "/gen.mqo.glb"), b), "");
    EXPECT_EQ(b.sceneName, "gen.mqo");
    // Same chunks once the name is the same (the JSON chunk's padding may differ).
    const std::string doc = renamed(ReadFile(dir + "/gen.mqo.glb"), "gen.mqo", "gen.bd1");
    const std::string news = renamed(ReadFile(dir + "/newer.mqo.glb"), "newer.mqo", "gen.bd1");
    const std::string bd1 = renamed(expected, "gen.bd1", "gen.bd1");
    EXPECT_TRUE(doc.substr(20) == bd1.substr(20)) << "the document's model differs";
    EXPECT_TRUE(news.substr(20) == bd1.substr(20)) << "the Ver 1.1 form's model differs";
}

// Every refusal: the stage, 失敗 and one line, status 1, nothing written, an earlier output and
// the folder as they were.
TEST(Export, RefusalsLeaveEarlierOutputIntact) {
    ExpectedBlock cube = Box(0, 0, 0, 1, 0);
    ExpectedBlock nanBlock = cube;
    nanBlock.y[3] = std::numeric_limits<float>::quiet_NaN();
    ExpectedBlock infinite = cube;
    infinite.v[23] = -std::numeric_limits<float>::infinity();
    std::string badFlag = Bd1File({cube, cube});
    badFlag.replace(312 + 316 + 312, 4, I32(7));
    struct Case {
        std::string name;
        std::string file;
        std::string printed;
    };
    const std::string loaded = "ファイルロード\t完了\n";
    const Case cases[] = {
        {"short.bd1", "0123456789",
         loaded +
             "BD1ファイル確認\t失敗\nBD1ファイルがヘッダー (312 バイト) より短い: 10 バイト\n"},
        {"flag.bd1", badFlag,
         loaded + "BD1ファイル確認\t失敗\nブロック 1 のフラグが 1 でない: 7\n"},
        {"nan.bd1", Bd1File({cube, nanBlock}),
         loaded + "BD1ファイル確認\t完了\n総ブロック数\t2 \nglTF作成\t失敗\n"
                  "  ・ブロック 1 の y[3] が NaN で、glTF に書けない\n"},
        {"inf.bd1", Bd1File({infinite}),
         loaded + "BD1ファイル確認\t完了\n総ブロック数\t1 \nglTF作成\t失敗\n"
                  "  ・ブロック 0 の v[23] が無限大で、glTF に書けない\n"},
        {"hello.mqo", "Hello\nFormat Text Ver 1.0\n",
         loaded + "ヘッダー確認tmpStr=Hello\n\n\"Metasequoia Document\"の確認失敗 \n"},
        {"utf8.mqo",
         "Metasequoia Document\nFormat Text Ver 1.2\nCodePage utf8\nMaterial 1 {\n\t\"\xff\" "
         "tex(\"a.bmp\")\n}\nEof\n",
         loaded + "形式変換\t失敗\nUTF-8 として読めないバイトがある: 行 5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = MakeTempDir();
        WriteFile(dir + "/" + c.name, c.file);
        WriteFile(dir + "/" + c.name + ".glb", "earlier");
        const std::vector<std::string> before = ListDirectory(dir);
        const ProgramRun run = RunExporter({c.name}, "ok\n", dir);
        EXPECT_EQ(run.out, kBanner + Sjis(c.printed));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(ReadFile(dir + "/" + c.name + ".glb"), "earlier");
        EXPECT_EQ(ListDirectory(dir), before);
    }

    // No file, a file that is not there, and an output that cannot be put in place.
    const std::string dir = MakeTempDir();
    const std::string notLoaded = kBanner + Sjis("ファイルロード\t失敗\n");
    ProgramRun run = RunExporter({}, "ok\n", dir);
    EXPECT_EQ(run.out, notLoaded);
    EXPECT_EQ(run.status, 1);
    run = RunExporter({"absent.bd1"}, "ok\n", dir);
    EXPECT_EQ(run.out, notLoaded);
    EXPECT_EQ(run.status, 1);
    WriteFile(dir + "/MAP.bd1", Bd1File({cube}));
    ASSERT_EQ(RunCommand({"mkdir", dir + "/MAP.bd1.glb"}, "", dir).status, 0);
    run = RunExporter({"MAP.bd1"}, "ok\n", dir);
    EXPECT_EQ(run.out.substr(run.out.size() - Sjis("書き込み\t失敗\n").size()),
              Sjis("書き込み\t失敗\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListDirectory(dir), (std::vector<std::string>{"MAP.bd1", "MAP.bd1.glb"}));
}

// No blocks: a scene without nodes; the most blocks a BD1 file holds: every one of them.
TEST(Export, NoBlocksAndTheLargestFile) {
    const std::string dir = MakeTempDir();
    WriteFile(dir + "/empty.bd1", Bd1File({}, {"a.bmp"}));
    ProgramRun run = RunExporter({"empty.bd1"}, "ok\n", dir);
    EXPECT_EQ(run.out, Written(0, 0, ""));
    EXPECT_EQ(run.status, 0);
    GlbContent glb;
    ASSERT_EQ(ReadGlb(ReadFile(dir + "/empty.bd1.glb"), glb), "");
    EXPECT_TRUE(glb.vertices.empty() && glb.materials.empty());

    ASSERT_EQ(RunGenerator({"blocks", "32767", dir + "/big.mqo", dir + "/big.bd1"}), 0);
    const std::string bd1 = ReadFile(dir + "/big.bd1");
    run = RunExporter({"big.bd1"}, "ok\n", dir);
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(ReadGlb(ReadFile(dir + "/big.bd1.glb"), glb), "");
    std::vector<ExpectedBlock> blocks(32767);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const char* record = bd1.data() + 312 + 316 * b;
        std::memcpy(&blocks[b], record, sizeof(ExpectedBlock));
    }
    ExpectBlocks(glb, blocks);
}
