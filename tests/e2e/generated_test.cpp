// Documents from the generator (tools/mqogen.cpp) converted by the program: boxes written in all
// four recognised vertex orders must come out in the BD1 layout that the generator works out from
// the boxes' geometry alone, which checks the layout tables on boxes other than the sample's.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "conversion_fixtures.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {}  // namespace

TEST(GeneratedDocument, BoxesInEveryLayoutComeOutInTheBd1Layout) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(
        RunGenerator({"blocks", "26", dir + "/boxes.mqo", dir + "/expected.bd1", "--objects", "3"}),
        0);
    const std::string document = ReadFile(dir + "/boxes.mqo");
    EXPECT_EQ(document.substr(0, 22), "Metasequoia Document\r\n");
    // The first object holds boxes 0 to 8, box i in order i % 4: the first faces of boxes 1 to 3
    // list their vertices 3 0 1 2, 0 1 3 2 and 0 2 3 1 within each group of eight.
    EXPECT_NE(document.find("\t\t4 V(3 2 1 0) M("), std::string::npos);
    EXPECT_NE(document.find("\t\t4 V(11 8 9 10) M("), std::string::npos);
    EXPECT_NE(document.find("\t\t4 V(16 17 19 18) M("), std::string::npos);
    EXPECT_NE(document.find("\t\t4 V(24 26 27 25) M("), std::string::npos);

    const ProgramRun run = RunBloktar({"boxes.mqo"}, "", dir);
    EXPECT_EQ(run.out, e2e::CompleteRun(26));
    EXPECT_EQ(run.status, 0);
    const std::string written = ReadFile(dir + "/boxes.mqo.bd1");
    EXPECT_EQ(written.size(), 312u + 26u * 316u);
    EXPECT_EQ(written, ReadFile(dir + "/expected.bd1"));
}

TEST(GeneratedDocument, EveryNumberShapeComesOutAsTheGeneratorWorksItOut) {
    // Each shape, with a text that only it writes: a coordinate of the usual size, a five-digit
    // negative one with four places, a small UV with an exponent.
    const struct {
        const char* shape;
        const char* sign;
    } shapes[] = {{"usual", "\t\t-?[0-9]{1,3}\\.[0-9]{4} "},
                  {"wide", "\t\t-[0-9]{5}\\.[0-9]{4} "},
                  {"shortest", " [0-9]\\.?[0-9]*e-05"}};
    // 150 boxes, and 1,100 (15,400 records), which a processor with wide vectors reads by the
    // lines' shapes.
    for (const auto& [shape, sign] : shapes) {
        for (const int blocks : {150, 1100}) {
            const std::string dir = MakeTempDir();
            ASSERT_EQ(RunGenerator({"blocks", std::to_string(blocks), dir + "/boxes.mqo",
                                    dir + "/expected.bd1", "--numbers", shape}),
                      0);
            EXPECT_TRUE(std::regex_search(ReadFile(dir + "/boxes.mqo"), std::regex(sign))) << shape;
            const ProgramRun run = RunBloktar({"boxes.mqo"}, "", dir);
            const std::vector<std::string> failures =
                blocks > 160 ? std::vector<std::string>{e2e::kTooManyBlocks}
                             : std::vector<std::string>{};
            EXPECT_EQ(run.out, e2e::CompleteRun(blocks, failures)) << shape << blocks;
            EXPECT_EQ(run.status, 0) << shape << blocks;
            EXPECT_EQ(ReadFile(dir + "/boxes.mqo.bd1"), ReadFile(dir + "/expected.bd1"))
                << shape << blocks;
        }
    }
    EXPECT_NE(RunGenerator({"blocks", "5", "/dev/null", "--numbers", "long"}), 0);
}

TEST(GeneratedDocument, UnusedLinesAroundOneBox) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(RunGenerator({"unused", "300K", dir + "/unused.mqo", dir + "/expected.bd1"}), 0);
    const std::string document = ReadFile(dir + "/unused.mqo");
    EXPECT_GE(document.size(), 300u * 1024u - 1024u);
    EXPECT_LE(document.size(), 300u * 1024u + 4096u);

    const ProgramRun run = RunBloktar({"unused.mqo"}, "", dir);
    EXPECT_EQ(run.out, e2e::CompleteRun(1));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(dir + "/unused.mqo.bd1"), ReadFile(dir + "/expected.bd1"));
}

TEST(GeneratedDocument, SameDocumentOnEveryRun) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(RunGenerator({"blocks", "5", dir + "/a.mqo"}), 0);
    ASSERT_EQ(RunGenerator({"blocks", "5", dir + "/b.mqo"}), 0);
    EXPECT_EQ(ReadFile(dir + "/a.mqo"), ReadFile(dir + "/b.mqo"));
    EXPECT_NE(RunGenerator({"blocks", "32768", dir + "/c.mqo"}), 0);  // more than a BD1 file holds
}
