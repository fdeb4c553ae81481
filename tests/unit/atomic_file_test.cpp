// A temporary file read back while it is written: the reads see what was written, and what is
// written after them goes on at the end. A mapped file whose pages are given back reads as the
// file again.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "run/atomic_file.hpp"
#include "run/platform.hpp"
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

TEST(MappedFile, PagesGivenBackReadAsTheFileAgain) {
    const std::string dir = testing_support::MakeTempDir();
    std::string bytes(3 * 4096 + 100, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 23);
    testing_support::WriteFile(dir + "/in.txt", bytes);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen((dir + "/in.txt").c_str(), "rb"), &std::fclose);
    ASSERT_NE(file, nullptr);
    bloktar::MappedFile mapped;
    ASSERT_TRUE(mapped.Map(file.get()));
    ASSERT_EQ(mapped.Bytes(), bytes);
    // Inside a page, across pages, beyond the end, all of it; each then read again.
    const std::pair<std::size_t, std::size_t> ranges[] = {
        {10, 20}, {1, bytes.size() - 1}, {4096, 1u << 20}, {0, bytes.size()}};
    for (const auto& [begin, end] : ranges) {
        mapped.Release(begin, end);
        EXPECT_EQ(mapped.Bytes(), bytes) << begin;
    }
}

}  // namespace
#endif
