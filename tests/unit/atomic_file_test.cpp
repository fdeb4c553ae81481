// A temporary file read back while it is written: the reads see what was written, and what is
// written after them goes on at the end.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <string>
#include <vector>

#include "run/atomic_file.hpp"
#include "support/process.hpp"

namespace {

TEST(AtomicFile, ReadsBackWhatItHoldsAndWritesOnAtItsEnd) {
    const std::string dir = testing_support::MakeTempDir();
    bloktar::AtomicFile file(dir + "/out.txt");
    ASSERT_TRUE(file.Create());
    ASSERT_TRUE(file.Write("first part, ", 12));
    char back[32] = {};
    std::size_t got = 0;
    // From the middle, and asking for more than there is: what there is.
    ASSERT_TRUE(file.ReadAt(6, back, sizeof back, got));
    EXPECT_EQ(std::string(back, got), "part, ");
    ASSERT_TRUE(file.Write("second part", 11));
    ASSERT_TRUE(file.ReadAt(0, back, sizeof back, got));
    EXPECT_EQ(std::string(back, got), "first part, second part");
    // Nothing under the name until the commit, then every byte.
    const std::vector<std::string> before = testing_support::ListDirectory(dir);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_NE(before.front(), "out.txt");
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(testing_support::ReadFile(dir + "/out.txt"), "first part, second part");
    EXPECT_EQ(testing_support::ListDirectory(dir), std::vector<std::string>{"out.txt"});
}

}  // namespace
#endif
