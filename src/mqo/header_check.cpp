#include "mqo/header_check.hpp"

#include <cstring>

namespace bloktar {
namespace {

// Reads header line number and compares it with expected; records the failure when it differs.
bool CheckHeaderLine(Document& document, int number, const char* expected, HeaderVerdict& verdict) {
    if (!ReadDocumentLine(verdict.line, kHeaderLineLimit, document)) {
        verdict.line[0] = '\0';
        verdict.finding = HeaderVerdict::Finding::EndedEarly;
        verdict.failedLine = number;
        return false;
    }
    if (std::strcmp(verdict.line, expected) != 0) {
        verdict.finding = HeaderVerdict::Finding::LineDiffers;
        verdict.failedLine = number;
        return false;
    }
    return true;
}

}  // namespace

HeaderVerdict CheckDocumentHeader(Document& document) {
    HeaderVerdict verdict;
    if (CheckHeaderLine(document, 1, "Metasequoia Document\n", verdict) &&
        CheckHeaderLine(document, 2, "Format Text Ver 1.0\n", verdict)) {
        verdict = HeaderVerdict{};
    }
    return verdict;
}

}  // namespace bloktar
