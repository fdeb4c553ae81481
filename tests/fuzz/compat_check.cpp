#include "fuzz/compat_check.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "compat/archive.hpp"
#include "compat/translation.hpp"
#include "fuzz/conversion_check.hpp"
#include "run/conversion.hpp"

namespace fuzzing {
namespace {

using namespace bloktar;
using namespace bloktar::compat;

// Reads the whole source in pieces of the sizes given in turn, from its first byte.
std::string ReadAll(DocumentSource& source, std::string_view pieceSizes) {
    source.Rewind();
    std::string out;
    char piece[4096];
    for (std::size_t turn = 0;; ++turn) {
        const std::size_t want =
            pieceSizes.empty()
                ? sizeof piece
                : static_cast<unsigned char>(pieceSizes[turn % pieceSizes.size()]) % sizeof piece +
                      1;
        const std::size_t got = source.Read(piece, want);
        if (got > want) return out + "\x01too many";
        if (got == 0) return out;
        out.append(piece, got);
    }
}

bool IsArchiveFault(Fault fault) {
    return fault == Fault::ArchiveBroken || fault == Fault::ArchiveCrcWrong ||
           fault == Fault::ArchiveNoDocument || fault == Fault::ArchiveUnsupported;
}

// The second line of a document, without its line end.
std::string_view SecondLine(std::string_view text) {
    const std::size_t first = text.find('\n');
    if (first == std::string_view::npos) return {};
    std::string_view rest = text.substr(first + 1);
    rest = rest.substr(0, rest.find('\n'));
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    return rest;
}

struct Converted {
    ConversionResult result;
    std::string printed;
    MemoryBd1Output output;
};

void Convert(Document& document, Converted& converted) {
    MemoryConsole console;
    ConversionLimits limits;
    limits.maxArrayBytes = kCheckedArrayBytes;
    converted.result = ConvertDocument(document, console, converted.output, limits);
    converted.printed = std::move(console.printed);
}

bool SameEdits(const TranslationPlan& a, const TranslationPlan& b) {
    if (a.edits.size() != b.edits.size()) return false;
    for (std::size_t i = 0; i < a.edits.size(); ++i) {
        const Edit& x = a.edits[i];
        const Edit& y = b.edits[i];
        if (x.kind != y.kind || x.offset != y.offset || x.length != y.length || x.text != y.text ||
            x.lineEnd != y.lineEnd || x.count != y.count) {
            return false;
        }
    }
    return a.header == b.header && a.reencoded == b.reencoded && a.reencodeFrom == b.reencodeFrom &&
           a.end == b.end && a.binaryVertexChunks == b.binaryVertexChunks &&
           a.refusal.fault == b.refusal.fault && a.refusal.line == b.refusal.line &&
           a.refusal.codePoint == b.refusal.codePoint && a.warnings.size() == b.warnings.size();
}

// A document held in memory is planned where it lies, and on a second thread while its lines are
// made, and its form made once from it or read from its bytes where they stand: the same plan,
// and the same form as the one made as it is read.
const char* CheckHeldForms(const char* bytes, std::size_t size, const TranslationPlan& plan,
                           const std::string& form) {
    Cp932Encoder encoder;
    TranslationPlan held;
    PlanTranslation(bytes, size, encoder, held);
    if (!SameEdits(held, plan)) return "the plan of the bytes in memory differs";
    PlacedMemory placed(bytes, size);
    TranslationPlan planned;
    VertexLines lines;
    bool readFailed = true;
    const bool made =
        PlanTranslationWritingLines(placed, size, encoder, planned, lines, readFailed);
    if (readFailed) return "bytes in memory could not be read where they lie";
    if (!SameEdits(planned, plan)) return "the plan made on the second thread differs";
    if (!made) return "the lines of a document's binary vertices not made while it was planned";
    FormSource fromLines(bytes, size, planned, &lines.pieces);
    if (ReadAll(fromLines, {}) != form) return "the form of the lines made ahead differs";
    if (!plan.reencoded) {
        PlacedFormSource inPlace(placed, planned, lines.pieces);
        if (ReadAll(inPlace, std::string_view(bytes, size < 64 ? size : 64)) != form) {
            return "the form read where the bytes lie differs";
        }
    }
    FormSource once(bytes, size, plan);
    if (ReadAll(once, std::string_view(bytes, size < 64 ? size : 64)) != form) {
        return "the form made once differs";
    }
    return nullptr;
}

// A document saved as Ver 1.1 or 1.2 read while it is planned: the same plan, and the same form
// where the plan takes it (form, null for a refused document).
const char* CheckPlanningForm(const char* bytes, std::size_t size, const TranslationPlan& plan,
                              const std::string* form) {
    const std::string_view first(bytes, size < 64 ? size : 64);
    if (!StartsAsTranslated(first)) return nullptr;
    PlacedMemory placed(bytes, size);
    Cp932Encoder encoder;
    PlanningForm planning(placed, encoder);
    const std::string read = ReadAll(planning, first);
    const PlanningForm::Verdict verdict = planning.Judge();
    if (!SameEdits(planning.Plan(), plan)) return "the plan made while the form is read differs";
    if (plan.refusal.fault != Fault::None) {
        return verdict == PlanningForm::Verdict::Refused ? nullptr : "a refusal not told";
    }
    if (verdict != PlanningForm::Verdict::Translated) return "a translated document given up";
    if (form == nullptr || read != *form || ReadAll(planning, {}) != *form) {
        return "the form read while it is planned differs";
    }
    return nullptr;
}

std::string CheckDocument(const char* bytes, std::size_t size) {
    MemorySource raw(bytes, size);
    Cp932Encoder encoder;
    TranslationPlan plan;
    PlanTranslation(raw, encoder, plan);
    if (!NeedsTranslation(plan)) {
        if (plan.header == HeaderKind::Ver11 || plan.header == HeaderKind::Ver12) {
            return "a newer header left untranslated";
        }
        return "";
    }
    if (plan.refusal.fault != Fault::None) {
        if (const char* fault = CheckPlanningForm(bytes, size, plan, nullptr)) return fault;
        if (IsArchiveFault(plan.refusal.fault)) return "an archive fault for a document";
        if (plan.refusal.line < 1) return "a refusal without its line";
        return "";
    }

    TranslatingSource translating(raw, plan, encoder);
    const std::string form = ReadAll(translating, {});
    if (const char* fault = CheckHeldForms(bytes, size, plan, form)) return fault;
    if (const char* fault = CheckPlanningForm(bytes, size, plan, &form)) return fault;
    // Any piece sizes, from the document's own bytes, and again after reading part of it.
    const std::string_view sizes(bytes, size < 64 ? size : 64);
    if (ReadAll(translating, sizes) != form) return "pieces read differ from one whole read";
    char some[3];
    translating.Rewind();
    (void)translating.Read(some, sizeof some);
    if (ReadAll(translating, {}) != form) return "a read after a rewind differs";
    if (SecondLine(form) != "Format Text Ver 1.0") return "the Ver 1.0 form's header";
    // Made over the document's own bytes, as an archive's member is, wherever it fits there.
    std::string inPlace(bytes, size);
    std::size_t inPlaceSize = 0;
    if (TranslateInPlace(inPlace.data(), inPlaceSize, plan, encoder)) {
        if (plan.binaryVertexChunks != 0) return "binary vertices translated in place";
        if (inPlace.substr(0, inPlaceSize) != form) return "the form made in place differs";
    } else if (plan.binaryVertexChunks == 0) {
        return "a form without binary vertices not made in place";
    }

    // The Ver 1.0 form is final: nothing in it is translated again.
    MemorySource again(form.data(), form.size());
    TranslationPlan second;
    PlanTranslation(again, encoder, second);
    if (second.header != HeaderKind::Ver10) return "the Ver 1.0 form is not Ver 1.0";
    if (second.binaryVertexChunks != 0) return "the Ver 1.0 form holds binary vertices";

    // The converter reading the translation as it is made gives what it gives on the form held
    // in memory; and that must keep the conversion's own invariants.
    Converted streamed;
    Document document;
    OpenSourceDocument(document, translating);
    Convert(document, streamed);
    Converted held;
    OpenMemoryDocument(document, form.data(), form.size());
    Convert(document, held);
    if (streamed.result.outcome != held.result.outcome) return "outcome differs from the form's";
    if (streamed.printed != held.printed) return "console text differs from the form's";
    if (streamed.output.bytes != held.output.bytes) return "BD1 bytes differ from the form's";
    if (std::memcmp(&streamed.result.summary, &held.result.summary, sizeof held.result.summary) !=
        0) {
        return "summary differs from the form's";
    }
    return CheckConversion(reinterpret_cast<const unsigned char*>(form.data()), form.size(),
                           held.result, held.printed, held.output);
}

}  // namespace

std::string TranslateAndCheck(const unsigned char* data, std::size_t size) {
    if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0) {
        ArchiveMember member;
        const Fault fault = ExtractDocumentMember(data, size, member);
        if (fault != Fault::None) {
            return IsArchiveFault(fault) ? "" : "a document fault for an archive";
        }
        if (member.size > 0 && member.bytes == nullptr) return "a member without its bytes";
        return CheckDocument(member.bytes.get(), member.size);
    }
    return CheckDocument(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzzing
