#include <gtest/gtest.h>

#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

TEST(Smoke, RunsWithoutArgument) {
    const std::string dir = MakeTempDir();
    const ProgramRun run = RunBloktar({}, "x\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, std::string(47, '=') + "\nBLOKTAR Ver0.17 \n" + std::string(47, '=') +
                           "\n\n" + Sjis("ファイルロード\t失敗\n"));
}
