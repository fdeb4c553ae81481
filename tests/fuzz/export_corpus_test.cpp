// Replays every committed seed of the export fuzz target through its invariants, in every build.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/export_check.hpp"
#include "support/process.hpp"

using namespace testing_support;

TEST(ExportFuzzCorpus, EverySeedKeepsTheInvariants) {
    const std::string directory = SourcePath("tests/fuzz/export-corpus");
    const std::vector<std::string> names = ListDirectory(directory);
    EXPECT_GE(names.size(), 8u);
    for (const std::string& name : names) {
        const std::string bytes = ReadFile(directory + "/" + name);
        EXPECT_EQ(fuzzing::ExportAndCheck(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          bytes.size()),
                  "")
            << name;
    }
}
