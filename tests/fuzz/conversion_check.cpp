#include "fuzz/conversion_check.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "bd1/bd1.hpp"
#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "run/console_text.hpp"
#include "run/conversion.hpp"
#include "run/report.hpp"

namespace fuzzing {

using namespace bloktar;

namespace {

constexpr std::string_view kDocumentLine = "Metasequoia Document\n";
constexpr std::string_view kFormatLine = "Format Text Ver 1.0\n";
constexpr std::size_t kHeaderLineRoom = 127;  // the header check reads lines with limit 128

std::string S(const ConsoleText& text) {
    return std::string(text.sjis);
}

// The text the reader delivers, worked out independently of it: carriage returns dropped,
// nothing from the first Ctrl-Z on.
std::string TranslatedText(const unsigned char* data, std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < size && data[i] != 0x1a; ++i) {
        if (data[i] != '\r') text.push_back(static_cast<char>(data[i]));
    }
    return text;
}

// What the header check prints after its label, or nothing when the text begins with the two
// header lines (and the header check passes).
std::string ExpectedHeaderRejection(std::string_view text) {
    const std::string_view expected[2] = {kDocumentLine, kFormatLine};
    const ConsoleText* mismatch[2] = {&text::kDocumentLineMismatch, &text::kFormatLineMismatch};
    for (int i = 0; i < 2; ++i) {
        if (text.empty()) return S(text::kReadFailed);
        const std::size_t newline = text.find('\n');
        std::size_t length = newline == std::string_view::npos ? text.size() : newline + 1;
        if (length > kHeaderLineRoom) length = kHeaderLineRoom;
        const std::string_view line = text.substr(0, length);
        if (line != expected[i]) {
            // The line is echoed as a C string: up to its first NUL byte.
            const std::string_view echoed = line.substr(0, line.find('\0'));
            return S(text::kTmpStrPrefix) + std::string(echoed) + S(text::kNewline) +
                   S(*mismatch[i]);
        }
        text.remove_prefix(length);
    }
    return {};
}

// True when an array of wanted records of recordSize bytes stays within the checked limit.
bool Fits(std::int32_t wanted, std::size_t recordSize) {
    return wanted <= 0 || static_cast<std::size_t>(wanted) <= kCheckedArrayBytes / recordSize;
}

template <typename Value>
Value Load(const unsigned char* at) {
    Value value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::string CheckHeaderBytes(const std::vector<unsigned char>& bytes, std::int32_t materialCount) {
    const std::int32_t named = materialCount < 0 ? 0 : materialCount;
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const unsigned char* name = bytes.data() + slot * kTextureSlotSize;
        const auto* terminator =
            static_cast<const unsigned char*>(std::memchr(name, '\0', kTextureSlotSize));
        if (terminator == nullptr) return "texture slot " + std::to_string(slot) + " unterminated";
        const std::size_t length = static_cast<std::size_t>(terminator - name);
        for (std::size_t k = length; k < kTextureSlotSize; ++k) {
            if (name[k] != 0) return "texture slot " + std::to_string(slot) + " not zero-padded";
        }
        for (std::size_t k = 0; k < length; ++k) {
            if (std::memchr("\")\n\r\x1a", name[k], 5) != nullptr) {
                return "texture slot " + std::to_string(slot) + " holds a delimiter byte";
            }
        }
        if (slot >= named && length != 0) {
            return "texture slot " + std::to_string(slot) + " named beyond the material count";
        }
    }
    return {};
}

std::string CheckRecords(const std::vector<unsigned char>& bytes, std::int32_t count) {
    constexpr std::size_t kFloats = offsetof(Bd1Block, texture) / sizeof(float);
    for (std::int32_t r = 0; r < count; ++r) {
        const unsigned char* record =
            bytes.data() + sizeof(Bd1Header) + static_cast<std::size_t>(r) * sizeof(Bd1Block);
        if (Load<std::int32_t>(record + offsetof(Bd1Block, flag)) != 1) {
            return "record " + std::to_string(r) + " has a flag other than 1";
        }
        // Numbers are read as finite values or infinities; nothing makes a NaN.
        for (std::size_t k = 0; k < kFloats; ++k) {
            if (std::isnan(Load<float>(record + k * sizeof(float)))) {
                return "record " + std::to_string(r) + " holds a NaN";
            }
        }
    }
    return {};
}

// The report of a completed run with the given ratio warning.
std::string ExpectedReport(const MqoSummary& s, std::int32_t count, bool ratioWrong) {
    const bool tooMany = count > kReportBlockLimit;
    const bool notEights = s.vertexTotal % 8 != 0;
    const bool notSixes = s.faceTotal % 6 != 0;
    std::string report = S(text::kReportRule) + S(text::kReportTitle) + S(text::kReportRule) +
                         S(text::kBlockTotal) + std::to_string(count) + S(text::kBlockTotalEnd) +
                         S(text::kErrorInfo);
    if (tooMany) report += S(text::kTooManyBlocks);
    if (ratioWrong) report += S(text::kRatioWrong);
    if (notEights) report += S(text::kVerticesNotEights);
    if (notSixes) report += S(text::kFacesNotSixes);
    if (!tooMany && !ratioWrong && !notEights && !notSixes) report += S(text::kNoErrors);
    return report + S(text::kNewline) + S(text::kReportRule) + S(text::kNewline) +
           S(text::kConversionDone);
}

// Whether the report must warn about the vertex-to-face ratio: true or false where that follows
// from the counts alone, -1 where only float rounding decides.
int KnownRatioWarning(std::int32_t vertices, std::int32_t faces) {
    if (faces == 0) return vertices != 0 ? 1 : 0;
    const std::int64_t difference = 3 * std::int64_t{vertices} - 4 * std::int64_t{faces};
    if (difference == 0) return 0;  // exactly 4/3, which rounds to the reference
    // |v/f - 4/3| >= 1/(3|f|) is then more than two float steps near 4/3.
    if (std::llabs(faces) <= 1000000) return 1;
    return -1;
}

std::string CheckCompleted(const MqoSummary& s, const std::string& printed,
                           const MemoryBd1Output& output, const std::string& stages) {
    if (!output.finished) return "completed run left the BD1 output unfinished";
    const std::vector<unsigned char>& bytes = output.bytes;
    if (bytes.size() < sizeof(Bd1Header)) return "BD1 bytes shorter than the header";
    const std::int32_t count = Load<std::int16_t>(bytes.data() + offsetof(Bd1Header, blockCount));
    if (count != s.estimatedBlockCount) return "header block count differs from the survey's";
    if (count < 0) return "negative block count written";
    if (bytes.size() != sizeof(Bd1Header) + static_cast<std::size_t>(count) * sizeof(Bd1Block)) {
        return "BD1 bytes are not 312 + 316 x blockCount long";
    }
    if (std::string broken = CheckHeaderBytes(bytes, s.materialCount); !broken.empty()) {
        return broken;
    }
    if (std::string broken = CheckRecords(bytes, count); !broken.empty()) return broken;

    const std::string conversionDone = S(text::kConversionDone);
    if (printed.size() < conversionDone.size() ||
        printed.compare(printed.size() - conversionDone.size(), conversionDone.size(),
                        conversionDone) != 0) {
        return "completed run's console text does not end with the conversion-done line";
    }
    const int ratio = KnownRatioWarning(s.vertexTotal, s.faceTotal);
    const std::string withWarning = stages + ExpectedReport(s, count, true);
    const std::string withoutWarning = stages + ExpectedReport(s, count, false);
    if ((ratio != 0 && printed == withWarning) || (ratio != 1 && printed == withoutWarning)) {
        return {};
    }
    if (printed.find(S(text::kBlockTotal) + std::to_string(count) + S(text::kBlockTotalEnd)) ==
        std::string::npos) {
        return "report's block count differs from the BD1 header's";
    }
    return "completed run's console text differs from the stages and report expected";
}

}  // namespace

std::string CheckConversion(const unsigned char* data, std::size_t size,
                            const ConversionResult& result, const std::string& printed,
                            const MemoryBd1Output& output) {
    const MqoSummary& s = result.summary;
    const bool refused = result.outcome != RunOutcome::Completed;
    if (refused && (output.finished || !output.bytes.empty())) {
        return "refused document left BD1 bytes";
    }

    // Header check.
    const std::string rejection = ExpectedHeaderRejection(TranslatedText(data, size));
    if (!rejection.empty()) {
        if (result.outcome != RunOutcome::HeaderRejected) {
            return "document without the two header lines got past the header check";
        }
        const MqoSummary zero{};
        if (std::memcmp(&s, &zero, sizeof s) != 0) return "header-rejected run has a summary";
        if (printed != S(text::kHeaderCheck) + rejection) {
            return "header-rejected run printed other than the header check's messages";
        }
        return {};
    }
    if (result.outcome == RunOutcome::HeaderRejected) {
        return "document with the two header lines was rejected";
    }

    // Survey.
    if (s.materialCount > kTextureSlots) return "material count above 10";
    if (s.objectCount < 0 || static_cast<std::size_t>(s.objectCount) > size) {
        return "object count beyond the document's lines";
    }
    if (s.estimatedBlockCount != s.vertexTotal / 8) return "block estimate is not vertices / 8";

    std::string stages = S(text::kHeaderCheck) + S(text::kDone) + S(text::kNewline) +
                         S(text::kSurvey) + S(text::kDone) + S(text::kNewline);
    const std::int32_t blockCount = s.estimatedBlockCount;
    if (blockCount < 0 || blockCount > kBd1MaxBlocks) {
        if (result.outcome != RunOutcome::BlockCountRefused) {
            return "block count outside 0..32767 not refused";
        }
        if (printed != stages + S(text::kBlockCountCheck) + S(text::kFailed)) {
            return "block-count refusal printed other than its message";
        }
        return {};
    }
    if (!Fits(s.vertexTotal, sizeof(MQO_VERTEX)) || !Fits(s.faceTotal, sizeof(MQO_FACE)) ||
        !Fits(blockCount, sizeof(Bd1Block))) {
        if (result.outcome != RunOutcome::MemoryUnavailable) {
            return "arrays beyond the memory limit not refused";
        }
        if (printed != stages + S(text::kMemory) + S(text::kFailed)) {
            return "memory refusal printed other than its message";
        }
        return {};
    }
    if (result.outcome != RunOutcome::Completed) return "document within every limit refused";

    stages += S(text::kMaterials) + S(text::kDone) + S(text::kObjects) + S(text::kDone) +
              S(text::kNewline) + S(text::kHeaderBuild) + S(text::kDone) + S(text::kBlockBuild) +
              S(text::kDone) + S(text::kWrite) + S(text::kDone) + S(text::kNewline);
    return CheckCompleted(s, printed, output, stages);
}

std::string ConvertAndCheck(const unsigned char* data, std::size_t size) {
    Document document;
    OpenMemoryDocument(document, data, size);
    MemoryConsole console;
    MemoryBd1Output output;
    ConversionLimits limits;
    limits.maxArrayBytes = kCheckedArrayBytes;
    const ConversionResult result = ConvertDocument(document, console, output, limits);
    return CheckConversion(data, size, result, console.printed, output);
}

}  // namespace fuzzing
