// The sample document: four boxes, one in each recognised layout, all written in the BD1 layout.
#include <gtest/gtest.h>

#include <filesystem>

#include "conversion_fixtures.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

// A box of the sample as the BD1 file holds it: corners 0 to 3 on top (y = oy + size), going
// (0,0) (1,0) (1,1) (0,1) in (x, z), corners 4 to 7 below them; x mirrored. Top and bottom faces
// use material 1, the sides material 0; every face's UV corners are (0,0) (1,0) (1,1) (0,1).
ExpectedBlock SampleBox(float ox, float oy, float oz, float size) {
    ExpectedBlock block{};
    const float square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 8; ++k) {
        block.x[k] = -(ox + size * square[k % 4][0]);
        block.y[k] = k < 4 ? oy + size : oy;
        block.z[k] = oz + size * square[k % 4][1];
    }
    for (int f = 0; f < 6; ++f) {
        for (int j = 0; j < 4; ++j) {
            block.u[4 * f + j] = square[j][0];
            block.v[4 * f + j] = square[j][1];
        }
        block.texture[f] = f < 2 ? 1 : 0;
    }
    return block;
}

}  // namespace

TEST(SampleDocument, ConvertsEveryLayoutIntoTheBd1Layout) {
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/sample.mqo"), dir + "/sample.mqo");
    const ProgramRun run = RunBloktar({"sample.mqo"}, "ok\n", dir);

    EXPECT_EQ(run.out, e2e::CompleteRun(4));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(dir + "/sample.mqo.bd1"),
              Bd1Bytes({"wall.bmp", "floor.bmp"}, 4,
                       {SampleBox(0, 0, 0, 100), SampleBox(-100, 0, 0, 100),
                        SampleBox(-200, 0, 0, 100), SampleBox(-100, 100, 0, 100)}));
}
