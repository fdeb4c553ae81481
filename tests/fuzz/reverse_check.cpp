#include "fuzz/reverse_check.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "reverse/reverse.hpp"
#include "run/conversion.hpp"

namespace fuzzing {
namespace {

using bloktar::reverse::ReverseOutcome;

constexpr std::size_t kHeaderSize = 312;
constexpr std::size_t kRecordSize = 316;

std::int32_t LoadInt32(const unsigned char* at) {
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Why the bytes cannot be a BD1 file, worked out here from the format alone; empty when they can.
std::string ExpectedFault(const unsigned char* data, std::size_t size) {
    if (size < kHeaderSize) return "too short";
    std::int16_t count;
    std::memcpy(&count, data + 310, sizeof count);
    if (count < 0) return "negative count";
    if (size != kHeaderSize + kRecordSize * static_cast<std::size_t>(count)) return "length";
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        if (LoadInt32(data + kHeaderSize + kRecordSize * i + 312) != 1) return "flag";
    }
    return "";
}

// True when a document can carry the file: no NaN, every name zero-terminated within its slot and
// free of the bytes a material line cannot hold.
bool Documentable(const unsigned char* data, std::size_t size) {
    for (int slot = 0; slot < 10; ++slot) {
        const unsigned char* name = data + 31 * slot;
        int length = 0;
        while (length < 31 && name[length] != 0) {
            const unsigned char c = name[length];
            if (c == '"' || c == ')' || c == '\n' || c == '\r' || c == 0x1a) return false;
            ++length;
        }
        if (length == 31) return false;
    }
    for (std::size_t at = kHeaderSize; at < size; at += kRecordSize) {
        for (std::size_t field = 0; field < 72; ++field) {
            float value;
            std::memcpy(&value, data + at + 4 * field, sizeof value);
            if (std::isnan(value)) return false;
        }
    }
    return true;
}

}  // namespace

std::string ReverseAndCheck(const unsigned char* data, std::size_t size) {
    bloktar::MemoryConsole console;
    bloktar::reverse::Reversal reversal;
    const ReverseOutcome outcome =
        bloktar::reverse::ReverseBd1Bytes(std::span(data, size), size, console, reversal);

    const std::string fault = ExpectedFault(data, size);
    if (!fault.empty()) {
        return outcome == ReverseOutcome::NotBd1 ? "" : "not refused as a BD1 file: " + fault;
    }
    if (outcome == ReverseOutcome::NotBd1) return "a valid BD1 file refused";
    const bool documentable = Documentable(data, size);
    if (outcome == ReverseOutcome::NotDocumentable) {
        return documentable ? "a documentable file refused" : "";
    }
    if (!documentable) return "a document written for a file that a document cannot carry";
    if (outcome != ReverseOutcome::Written) return "neither written nor refused";

    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, reversal.document.data(), reversal.document.size());
    bloktar::MemoryConsole converterConsole;
    bloktar::MemoryBd1Output output;
    const bloktar::ConversionResult result =
        bloktar::ConvertDocument(document, converterConsole, output);
    if (result.outcome != bloktar::RunOutcome::Completed || !output.finished) {
        return "the document does not convert";
    }
    std::vector<unsigned char> expected(data, data + size);
    for (int slot = 0; slot < 10; ++slot) {
        unsigned char* name = expected.data() + 31 * slot;
        unsigned char* end = std::find(name, name + 31, 0);
        std::fill(end, name + 31, 0);
    }
    if (output.bytes != expected) return "the document converts into other bytes";
    return "";
}

}  // namespace fuzzing
