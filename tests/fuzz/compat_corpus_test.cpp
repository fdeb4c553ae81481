// Replays every committed seed and finding of the translation's fuzz target through its
// invariants, in every build.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/compat_check.hpp"
#include "support/process.hpp"

using namespace testing_support;

TEST(CompatFuzzCorpus, EverySeedAndFindingKeepsTheInvariants) {
    std::size_t seeds = 0;
    for (const char* folder : {"tests/fuzz/compat-corpus", "tests/fuzz/compat-regressions"}) {
        const std::string directory = SourcePath(folder);
        if (!FileExists(directory)) continue;
        for (const std::string& name : ListDirectory(directory)) {
            const std::string bytes = ReadFile(directory + "/" + name);
            EXPECT_EQ(fuzzing::TranslateAndCheck(
                          reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
                      "")
                << folder << "/" << name;
            ++seeds;
        }
    }
    EXPECT_GE(seeds, 8u);
}
