#include <gtest/gtest.h>

#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

TEST(Smoke, RunsWithoutArgument) {
    const std::string dir = MakeTempDir();
    const ProgramRun run = RunBloktar({}, "x\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Banner() + Sjis("ファイルロード\t失敗\n"));
}
