// Replays every committed seed of the repair fuzz target through its invariants, in every build.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/repair_check.hpp"
#include "support/process.hpp"

using namespace testing_support;

TEST(RepairFuzzCorpus, EverySeedKeepsTheInvariants) {
    const std::string directory = SourcePath("tests/fuzz/repair-corpus");
    const std::vector<std::string> names = ListDirectory(directory);
    EXPECT_GE(names.size(), 6u);
    for (const std::string& name : names) {
        const std::string bytes = ReadFile(directory + "/" + name);
        EXPECT_EQ(fuzzing::RepairAndCheck(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          bytes.size()),
                  "")
            << name;
    }
}
