// The report's four checks and its text.
#include <gtest/gtest.h>

#include <string>

#include "run/report.hpp"
#include "support/expected.hpp"

namespace {

struct Case {
    std::int32_t vertices;
    std::int32_t faces;
    bool tooMany, ratio, eights, sixes;
};

std::string Report(std::int32_t vertices, std::int32_t faces) {
    bloktar::MemoryConsole console;
    bloktar::PrintConversionReport(bloktar::MqoSummary{0, 0, vertices, faces, vertices / 8},
                                   console);
    return testing_support::Utf8FromSjis(console.printed);
}

}  // namespace

TEST(ConversionReport, ChecksOfTheCounts) {
    const Case cases[] = {
        {1280, 960, false, false, false, false},
        {1288, 966, true, false, false, false},
        {16, 12, false, false, false, false},
        {20, 12, false, true, true, false},
        {4, 3, false, false, true, true},
        {24, 20, false, true, false, true},
        {8, 0, false, true, false, false},
        {0, 0, false, false, false, false},
        {-8, -6, false, false, false, false},
        {-4, 3, false, true, true, true},
        // The ratio is compared as float32: close is wrong, closer than half a float unit passes.
        {4000001, 3000000, true, true, true, false},
        {40000001, 30000000, true, false, true, false},
        {2147483640, 1610612730, true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.vertices) + " vertices, " + std::to_string(c.faces) +
                     " faces");
        const bloktar::ReportChecks checks = bloktar::CheckConversionCounts(
            bloktar::MqoSummary{0, 0, c.vertices, c.faces, c.vertices / 8});
        EXPECT_EQ(checks.tooManyBlocks, c.tooMany);
        EXPECT_EQ(checks.ratioWrong, c.ratio);
        EXPECT_EQ(checks.verticesNotEights, c.eights);
        EXPECT_EQ(checks.facesNotSixes, c.sixes);
    }
}

TEST(ConversionReport, Text) {
    const std::string rule = std::string(47, '-') + "\n";
    EXPECT_EQ(Report(16, 12), rule + "変換結果\n" + rule + "総ブロック数\t2 \nエラー情報\tなし\n" +
                                  rule + "\n変換完了\n");
    EXPECT_EQ(Report(20, 12), rule + "変換結果\n" + rule +
                                  "総ブロック数\t2 \nエラー情報\n  ・頂点数と面数の比率が異常\n"
                                  "  ・頂点数が８の倍数になっていない\n" +
                                  rule + "\n変換完了\n");
}
