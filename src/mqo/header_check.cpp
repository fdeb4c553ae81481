#include "mqo/header_check.hpp"

#include <cstring>

#include "driver/console_text.hpp"

namespace bloktar {
namespace {

constexpr int kHeaderLineLimit = 128;

// Reads one header line and compares it with expected; prints the failure when it differs.
bool CheckHeaderLine(Document& document, Console& console, const char* expected,
                     const ConsoleText& mismatch) {
    char line[kHeaderLineLimit];
    if (!ReadDocumentLine(line, kHeaderLineLimit, document)) {
        console.Text(text::kReadFailed);
        return false;
    }
    if (std::strcmp(line, expected) != 0) {
        console.Text(text::kTmpStrPrefix);
        console.Bytes(line);
        console.Text(text::kNewline);
        console.Text(mismatch);
        return false;
    }
    return true;
}

}  // namespace

bool CheckDocumentHeader(Document& document, Console& console) {
    return CheckHeaderLine(document, console, "Metasequoia Document\n",
                           text::kDocumentLineMismatch) &&
           CheckHeaderLine(document, console, "Format Text Ver 1.0\n", text::kFormatLineMismatch);
}

}  // namespace bloktar
