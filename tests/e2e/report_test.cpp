// The conversion report and the checks on the document's counts, with documents that declare
// their counts but hold no vertex or face lines (so every block is all zeros).
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "conversion_fixtures.hpp"

using namespace e2e;

namespace {

// One object per pair of declared vertex and face counts, without vertex or face lines.
std::string CountsDocument(const std::vector<std::pair<long long, long long>>& objects) {
    std::string body;
    for (const auto& [vertices, faces] : objects) {
        body += "Object \"counts\" {\n\tvisible 15\n\tvertex " + std::to_string(vertices) +
                " {\n\t}\n\tface " + std::to_string(faces) + " {\n\t}\n}\n";
    }
    return Document(body);
}

std::string ZeroBlocks(int count) {
    return Bd1(std::vector<ExpectedBlock>(static_cast<std::size_t>(count), ExpectedBlock{}));
}

void ExpectRefusedAfterSurvey(const Conversion& c, const char* stage) {
    EXPECT_EQ(c.run.status, 1);
    EXPECT_EQ(c.run.out, StagesThroughSurvey() + Sjis(stage) + Sjis("\t失敗\n"));
    EXPECT_EQ(testing_support::ListDirectory(c.dir), std::vector<std::string>{"DOC.mqo"});
}

}  // namespace

TEST(Report, ListsTheChecksThatFail) {
    const struct {
        long long vertices, faces;
        int blocks;
        std::vector<std::string> failures;
    } cases[] = {
        {1280, 960, 160, {}},
        {1288, 966, 161, {kTooManyBlocks}},
        {1289,
         967,
         161,
         {kTooManyBlocks, kBadRatio, kVerticesNotMultipleOf8, kFacesNotMultipleOf6}},
        {16, 12, 2, {}},
        {20, 12, 2, {kBadRatio, kVerticesNotMultipleOf8}},
        {4, 3, 0, {kVerticesNotMultipleOf8, kFacesNotMultipleOf6}},
        {24, 20, 3, {kBadRatio, kFacesNotMultipleOf6}},
        {8, 0, 1, {kBadRatio}},
        {0, 6, 0, {kBadRatio}},
        {0, 0, 0, {}},
        // Negative totals: the block count rounds towards zero, -6 is a multiple of 6.
        {-7, -6, 0, {kBadRatio, kVerticesNotMultipleOf8}},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(std::to_string(one.vertices) + " vertices, " + std::to_string(one.faces) +
                     " faces");
        const Conversion c = Convert(CountsDocument({{one.vertices, one.faces}}));
        EXPECT_EQ(c.run.status, 0);
        EXPECT_EQ(c.run.out, CompleteRun(one.blocks, one.failures));
        EXPECT_EQ(c.output, ZeroBlocks(one.blocks));
    }
}

TEST(Report, CountsOfVisibleObjectsAreSummedWithWraparound) {
    // 2147483647 + 7 faces wrap to -2147483642: no face array, and the one block gets no faces.
    const Conversion c = Convert(CountsDocument({{8, 2147483647}, {0, 7}}));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(1, {kBadRatio, kFacesNotMultipleOf6}));
    EXPECT_EQ(c.output, ZeroBlocks(1));
}

TEST(Report, LargestBlockCountStillConverts) {
    const Conversion c = Convert(CountsDocument({{32767 * 8 + 7, 0}}));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(32767, {kTooManyBlocks, kBadRatio, kVerticesNotMultipleOf8}));
    ASSERT_EQ(c.output.size(), 312u + 32767u * 316u);
    EXPECT_EQ(c.output.substr(310, 2), std::string("\xFF\x7F", 2));
    EXPECT_TRUE(c.output == ZeroBlocks(32767));
}

TEST(Report, BlockCountsABd1FileCannotHoldAreRefused) {
    const struct {
        const char* what;
        std::vector<std::pair<long long, long long>> objects;
    } cases[] = {
        {"32768 blocks", {{32768 * 8, 0}}},
        {"negative vertex total", {{-8, 0}}},
        {"vertex total wrapped to negative", {{2147483647, 0}, {9, 0}}},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.what);
        ExpectRefusedAfterSurvey(Convert(CountsDocument(one.objects)), "ブロック数確認");
    }
}

TEST(Report, FaceArrayThatCannotBeObtainedStopsTheRun) {
    std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
    int mode = 0;
    if (overcommit >> mode && mode == 1) GTEST_SKIP() << "every allocation succeeds here";
    // 2147483647 faces of 72 bytes: far more memory than the machine has.
    ExpectRefusedAfterSurvey(Convert(CountsDocument({{8, 2147483647}})), "メモリ確保");
}
