// Gathering blocks, recognising their layout and rewriting them into the BD1 layout.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "bd1/bd1.hpp"
#include "block/block.hpp"

using bloktar::BlockCorners;
using bloktar::BlockFaces;
using bloktar::BlockPattern;

namespace {

struct Block {
    BlockCorners corners;
    BlockFaces faces;
    BlockPattern pattern;
};

// The distinctly numbered block of the worked example, with the given first-face signature.
Block Numbered(std::vector<std::int32_t> signature) {
    Block block{};
    for (int k = 0; k < 8; ++k) {
        block.corners.x[k] = static_cast<float>(10 + k);
        block.corners.y[k] = static_cast<float>(20 + k);
        block.corners.z[k] = static_cast<float>(30 + k);
    }
    for (int f = 0; f < 6; ++f) {
        for (int j = 0; j < 4; ++j) {
            block.faces.u[f][j] = static_cast<float>(10 * f + j) + 0.5f;
            block.faces.v[f][j] = static_cast<float>(100 + 10 * f + j) + 0.25f;
        }
        block.faces.texture[f] = 40 + f;
    }
    for (int j = 0; j < 4; ++j) block.pattern.Dif[0][j] = signature[static_cast<std::size_t>(j)];
    return block;
}

Block Normalised(std::vector<std::int32_t> signature) {
    Block block = Numbered(signature);
    bloktar::NormaliseBlockLayout(block.corners, block.pattern, block.faces);
    return block;
}

std::vector<float> Row(const float (&values)[4]) {
    return {values[0], values[1], values[2], values[3]};
}
std::vector<float> Xs(const Block& b) {
    return std::vector<float>(b.corners.x, b.corners.x + 8);
}
std::vector<int> Textures(const Block& b) {
    return std::vector<int>(b.faces.texture, b.faces.texture + 6);
}

}  // namespace

TEST(NormaliseBlockLayout, LayoutZeroAndUnrecognisedStayAsGathered) {
    for (const auto& signature : std::vector<std::vector<std::int32_t>>{
             {3, -1, -1, -1}, {3, -1, -1, 1}, {0, 1, 2, 1}, {0, 0, 0, 0}, {-5, -1, -1, -1}}) {
        const Block before = Numbered(signature);
        const Block after = Normalised(signature);
        EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    }
}

TEST(NormaliseBlockLayout, LayoutOne) {
    const Block b = Normalised({3, -3, 1, 1});
    EXPECT_EQ(Xs(b), (std::vector<float>{10, 13, 12, 11, 14, 17, 16, 15}));
    EXPECT_EQ(b.corners.y[1], 23.0f);
    EXPECT_EQ(b.corners.z[7], 35.0f);
    EXPECT_EQ(Textures(b), (std::vector<int>{40, 41, 45, 44, 43, 42}));
    EXPECT_EQ(Row(b.faces.u[0]), (std::vector<float>{2.5, 3.5, 0.5, 1.5}));
    EXPECT_EQ(Row(b.faces.u[1]), (std::vector<float>{10.5, 11.5, 12.5, 13.5}));
    EXPECT_EQ(Row(b.faces.u[2]), (std::vector<float>{53.5, 50.5, 51.5, 52.5}));
    EXPECT_EQ(Row(b.faces.v[2]), (std::vector<float>{153.25, 150.25, 151.25, 152.25}));
}

TEST(NormaliseBlockLayout, LayoutTwo) {
    const Block b = Normalised({0, 1, 2, -1});
    EXPECT_EQ(Xs(b), (std::vector<float>{11, 13, 15, 17, 10, 12, 14, 16}));
    EXPECT_EQ(Textures(b), (std::vector<int>{45, 44, 40, 41, 42, 43}));
    EXPECT_EQ(Row(b.faces.u[0]), (std::vector<float>{51.5, 52.5, 53.5, 50.5}));
    EXPECT_EQ(Row(b.faces.u[2]), (std::vector<float>{1.5, 2.5, 3.5, 0.5}));
    EXPECT_EQ(Row(b.faces.v[0]), (std::vector<float>{151.25, 152.25, 153.25, 150.25}));
}

TEST(NormaliseBlockLayout, LayoutThree) {
    const Block b = Normalised({0, 2, 1, -2});
    EXPECT_EQ(Xs(b), (std::vector<float>{11, 17, 15, 13, 10, 16, 14, 12}));
    EXPECT_EQ(Textures(b), (std::vector<int>{45, 44, 43, 42, 41, 40}));
    EXPECT_EQ(Row(b.faces.u[0]), (std::vector<float>{51.5, 52.5, 53.5, 50.5}));
    EXPECT_EQ(Row(b.faces.u[1]), (std::vector<float>{43.5, 40.5, 41.5, 42.5}));
    EXPECT_EQ(Row(b.faces.u[2]), (std::vector<float>{32.5, 33.5, 30.5, 31.5}));
    EXPECT_EQ(Row(b.faces.v[5]), (std::vector<float>{2.25 + 100, 3.25 + 100, 100.25, 1.25 + 100}));
}

TEST(NormaliseBlockLayout, OnlyTheFirstFaceDecidesAndValuesMoveBitForBit) {
    // Signatures on faces 1 to 5 are never consulted.
    Block block = Numbered({0, 0, 0, 0});
    for (int f = 1; f < 6; ++f) {
        const std::int32_t layoutOne[4] = {3, -3, 1, 1};
        std::memcpy(block.pattern.Dif[f], layoutOne, sizeof layoutOne);
    }
    const Block before = block;
    bloktar::NormaliseBlockLayout(block.corners, block.pattern, block.faces);
    EXPECT_EQ(std::memcmp(&before, &block, sizeof block), 0);

    // Negative zero and a NaN payload survive a move.
    Block special = Numbered({3, -3, 1, 1});
    special.corners.x[3] = -0.0f;
    special.faces.u[5][1] = std::bit_cast<float>(0x7FC01234u);
    const BlockPattern pattern = special.pattern;
    bloktar::NormaliseBlockLayout(special.corners, special.pattern, special.faces);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(special.corners.x[1]), 0x80000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(special.faces.u[2][2]), 0x7FC01234u);
    EXPECT_EQ(std::memcmp(&pattern, &special.pattern, sizeof pattern), 0);
}

TEST(GatherBlock, TakesItsOwnVerticesAndFacesAndZerosMissingFaces) {
    std::vector<bloktar::MQO_VERTEX> vertices(24);
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        vertices[i] = {static_cast<float>(i), static_cast<float>(100 + i), -0.0f};
    }
    std::vector<bloktar::MQO_FACE> faces(15);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const auto n = static_cast<std::int32_t>(i);
        faces[i] = bloktar::MQO_FACE{4,      {n, 0, 0, 0},        {n, n + 1, n + 2, n + 3},
                                     n + 50, {1.0f * n, 0, 0, 2}, {0, 0, 3, -1.0f * n}};
    }
    BlockCorners corners;
    bloktar::GatherBlockCorners(corners, vertices, 2);
    EXPECT_EQ(corners.x[0], 16.0f);
    EXPECT_EQ(corners.y[7], 123.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(corners.z[4]), 0x80000000u);

    BlockFaces blockFaces;
    BlockPattern pattern;
    std::memset(&blockFaces, 0x55, sizeof blockFaces);
    std::memset(&pattern, 0x55, sizeof pattern);
    bloktar::GatherBlockFaces(blockFaces, pattern, faces, 2);
    EXPECT_EQ(blockFaces.u[0][0], 12.0f);
    EXPECT_EQ(blockFaces.v[2][3], -14.0f);
    EXPECT_EQ(blockFaces.texture[2], 64);
    EXPECT_EQ(pattern.Dif[1][3], 16);
    for (int f = 3; f < 6; ++f) {  // faces 15 to 17 do not exist
        EXPECT_EQ(Row(blockFaces.u[f]), (std::vector<float>{0, 0, 0, 0}));
        EXPECT_EQ(Row(blockFaces.v[f]), (std::vector<float>{0, 0, 0, 0}));
        EXPECT_EQ(blockFaces.texture[f], 0);
        EXPECT_EQ(pattern.Dif[f][0], 0);
    }
}

TEST(Bd1Records, HeaderNamesAndCountAndRecordLayout) {
    bloktar::TextureNameTable table{};
    std::memcpy(table.names[0], "a.bmp", 5);
    std::memcpy(table.names[1], "tex/b.bmp\0junk", 14);  // nothing behind a terminator is copied
    std::memset(table.names[2], 'z', 30);
    bloktar::Bd1Header header{};
    bloktar::BuildBd1Header(header, table, 3);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&header);
    EXPECT_EQ(std::memcmp(bytes, "a.bmp\0\0", 7), 0);
    EXPECT_EQ(std::memcmp(bytes + 31, "tex/b.bmp\0\0\0\0\0\0", 15), 0);
    EXPECT_EQ(bytes[62 + 29], 'z');
    EXPECT_EQ(bytes[62 + 30], 0);
    EXPECT_EQ(bytes[310], 3);
    EXPECT_EQ(bytes[311], 0);
    bloktar::BuildBd1Header(header, table, 70000);  // the low 16 bits
    EXPECT_EQ(header.blockCount, 4464);

    Block block = Numbered({0, 0, 0, 0});
    block.faces.u[5][3] = 7.0f;
    block.faces.v[5][3] = 8.0f;
    block.faces.texture[5] = 9;
    bloktar::Bd1Block record;
    bloktar::FillBd1Block(block.corners, block.faces, record);
    const auto* r = reinterpret_cast<const unsigned char*>(&record);
    float u;
    float v;
    std::int32_t texture;
    std::int32_t flag;
    std::memcpy(&u, r + 188, 4);
    std::memcpy(&v, r + 284, 4);
    std::memcpy(&texture, r + 308, 4);
    std::memcpy(&flag, r + 312, 4);
    EXPECT_EQ(u, 7.0f);
    EXPECT_EQ(v, 8.0f);
    EXPECT_EQ(texture, 9);
    EXPECT_EQ(std::memcmp(r + 312, "\x01\x00\x00\x00", 4), 0);
}
