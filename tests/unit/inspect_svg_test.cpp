// The inspector's picture: which faces it paints, in which shades and order, and how it marks
// blocks with a problem.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>
#include <string>
#include <vector>

#include "inspect/svg.hpp"

using bloktar::Bd1Block;
using bloktar::inspect::BlockMark;
using bloktar::inspect::DrawBlocksSvg;

namespace {

// A cube as a BD1 record: its lowest corner at (x, y, z) in the document, x mirrored in the
// record, corners 0 to 3 on top going (0,0) (1,0) (1,1) (0,1) in (x, z), 4 to 7 below.
Bd1Block Cube(float x, float y, float z, float side) {
    Bd1Block block{};
    const float square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 8; ++k) {
        block.x[k] = -(x + side * square[k % 4][0]);
        block.y[k] = k < 4 ? y + side : y;
        block.z[k] = z + side * square[k % 4][1];
    }
    block.flag = 1;
    return block;
}

std::vector<std::string> All(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
         ++it) {
        found.push_back(it->size() > 1 ? (*it)[1].str() : it->str());
    }
    return found;
}

std::size_t PointCount(const std::string& points) {
    return static_cast<std::size_t>(std::count(points.begin(), points.end(), ' ')) + 1;
}

}  // namespace

TEST(BlocksSvg, ACubeShowsItsTopAndTwoSidesInThreeShades) {
    const std::vector<Bd1Block> blocks = {Cube(0, 0, 0, 100)};
    const std::string svg = DrawBlocksSvg(blocks, std::vector<BlockMark>{{false, true}});
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("width=\"800\" height=\"600\""), std::string::npos);
    // Texture 0's colour (200, 168, 120) times 0.35 + 0.65 n.L with L = (0.3, 1, 0.6) / 1.2042:
    // the top 0.8898, the side facing +z 0.6739, the side facing +x 0.5119. The three faces
    // turned away are not painted.
    EXPECT_EQ(All(svg, "<polygon points=\"[^\"]*\" fill=\"(#[0-9a-f]{6})\"/>"),
              (std::vector<std::string>{"#b2956b", "#66563d", "#877151"}));
    EXPECT_TRUE(All(svg, "class=\"problem\"").empty());
    EXPECT_TRUE(All(svg, "<text").empty());
    // Every point lies on the canvas, inside the margin.
    for (const std::string& number : All(svg, "points=\"([^\"]*)\"")) {
        for (const std::string& value : All(number, "(-?[0-9.]+)")) {
            EXPECT_GE(std::stod(value), 39.99);
            EXPECT_LE(std::stod(value), 760.01);
        }
    }
}

TEST(BlocksSvg, PaintsFromTheFarthestBlockToTheNearest) {
    // Block 0 is nearest the viewer (who looks from +x, +y, +z), block 1 lies behind it in x and
    // block 2 behind it in z; blocks 1 and 2 are equally far and keep their order.
    const std::vector<Bd1Block> blocks = {Cube(0, 0, 0, 1), Cube(-1, 0, 0, 1), Cube(0, 0, -1, 1)};
    const std::string svg = DrawBlocksSvg(blocks, std::vector<BlockMark>(3, {false, true}));
    EXPECT_EQ(All(svg, "id=\"block-([0-9]+)\""), (std::vector<std::string>{"1", "2", "0"}));
}

TEST(BlocksSvg, ProblemBlocksAreOutlinedAndNumberedOnTop) {
    // Block 1 sits behind block 0; its outline is still drawn, after every face.
    const std::vector<Bd1Block> blocks = {Cube(0, 0, 0, 1), Cube(-1, 0, 0, 1)};
    const std::string svg =
        DrawBlocksSvg(blocks, std::vector<BlockMark>{{false, true}, {true, true}});
    const std::vector<std::string> outlines =
        All(svg, "<polygon class=\"problem\" points=\"([^\"]*)\"");
    ASSERT_EQ(outlines.size(), 1u);
    EXPECT_EQ(PointCount(outlines[0]), 6u);  // a cube's silhouette is a hexagon
    EXPECT_GT(svg.find("<polygon class=\"problem\""), svg.rfind("<polygon points="));
    EXPECT_EQ(All(svg, ">([0-9]+)</text>"), std::vector<std::string>{"1"});
    EXPECT_NE(svg.find("stroke=\"#e00000\""), std::string::npos);
}

TEST(BlocksSvg, UnrecognisedBlocksShowTheirSilhouetteOnly) {
    const std::vector<Bd1Block> blocks = {Cube(0, 0, 0, 1)};
    const std::string svg = DrawBlocksSvg(blocks, std::vector<BlockMark>{{true, false}});
    const std::vector<std::string> grey = All(svg, "points=\"([^\"]*)\" fill=\"#d8d8d8\"");
    ASSERT_EQ(grey.size(), 1u);
    EXPECT_EQ(PointCount(grey[0]), 6u);
    EXPECT_EQ(All(svg, "<polygon points=").size(), 1u);
}

TEST(BlocksSvg, BlocksThatCannotBePlacedOrHaveNoExtent) {
    // Block 0 has an infinite corner and is left out; block 1 is all zeros (vertices missing):
    // a ring marks it.
    Bd1Block infinite = Cube(0, 0, 0, 1);
    infinite.y[3] = std::numeric_limits<float>::infinity();
    Bd1Block collapsed{};
    const std::vector<Bd1Block> blocks = {infinite, collapsed};
    const std::string svg =
        DrawBlocksSvg(blocks, std::vector<BlockMark>{{true, true}, {true, true}});
    EXPECT_EQ(All(svg, "id=\"block-([0-9]+)\""), std::vector<std::string>{"1"});
    EXPECT_EQ(All(svg, "<circle class=\"problem\"").size(), 1u);
    EXPECT_EQ(All(svg, ">([0-9]+)</text>"), std::vector<std::string>{"1"});
    for (const std::string& value : All(svg, " (?:points|cx|cy|x|y)=\"([^\"]*)\"")) {
        EXPECT_TRUE(std::regex_match(value, std::regex("[-0-9., ]+"))) << value;
    }

    const std::string empty = DrawBlocksSvg({}, {});
    EXPECT_NE(empty.find("</svg>"), std::string::npos);
    EXPECT_EQ(empty.find("<polygon"), std::string::npos);
}
