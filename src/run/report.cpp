#include "run/report.hpp"

#include <bit>
#include <cstdint>

namespace bloktar {
namespace {

// The float32 nearest to 4/3: eight vertices to six faces.
constexpr float kReferenceRatio = std::bit_cast<float>(std::uint32_t{0x3FAAAAAB});

bool RatioWrong(std::int32_t vertexTotal, std::int32_t faceTotal) {
    // No quotient exists without faces: wrong unless there are no vertices either.
    if (faceTotal == 0) return vertexTotal != 0;
    const double ratio = static_cast<double>(vertexTotal) / static_cast<double>(faceTotal);
    return static_cast<float>(ratio) != kReferenceRatio;
}

}  // namespace

ReportChecks CheckConversionCounts(const MqoSummary& summary) {
    return ReportChecks{
        summary.estimatedBlockCount > kReportBlockLimit,
        RatioWrong(summary.vertexTotal, summary.faceTotal),
        summary.vertexTotal % 8 != 0,
        summary.faceTotal % 6 != 0,
    };
}

void PrintReportChecks(const MqoSummary& summary, Console& console) {
    console.Text(text::kErrorInfo);
    const ReportChecks checks = CheckConversionCounts(summary);
    if (checks.tooManyBlocks) console.Text(text::kTooManyBlocks);
    if (checks.ratioWrong) console.Text(text::kRatioWrong);
    if (checks.verticesNotEights) console.Text(text::kVerticesNotEights);
    if (checks.facesNotSixes) console.Text(text::kFacesNotSixes);
    if (!checks.tooManyBlocks && !checks.ratioWrong && !checks.verticesNotEights &&
        !checks.facesNotSixes) {
        console.Text(text::kNoErrors);
    }
    console.Text(text::kNewline);
}

void PrintConversionReport(const MqoSummary& summary, Console& console) {
    console.Text(text::kReportRule);
    console.Text(text::kReportTitle);
    console.Text(text::kReportRule);
    console.Text(text::kBlockTotal);
    PrintInt(console, summary.estimatedBlockCount);
    console.Text(text::kBlockTotalEnd);
    PrintReportChecks(summary, console);
    console.Text(text::kReportRule);
    console.Text(text::kNewline);
    console.Text(text::kConversionDone);
}

}  // namespace bloktar
