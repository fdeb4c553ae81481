// The report printed after a conversion: the block count and four checks of the counts.
#pragma once

#include "mqo/mqo.hpp"
#include "run/console.hpp"

namespace bloktar {

// The checks the report makes, in the order it prints them.
struct ReportChecks {
    bool tooManyBlocks;      // more than 160 blocks
    bool ratioWrong;         // vertices to faces is not exactly the float32 nearest 4/3
    bool verticesNotEights;  // vertex total not a multiple of 8
    bool facesNotSixes;      // face total not a multiple of 6
};

inline constexpr std::int32_t kReportBlockLimit = 160;

ReportChecks CheckConversionCounts(const MqoSummary& summary);

// The error-information line and the checks that fail, or the line that says none does.
void PrintReportChecks(const MqoSummary& summary, Console& console);

void PrintConversionReport(const MqoSummary& summary, Console& console);

}  // namespace bloktar
