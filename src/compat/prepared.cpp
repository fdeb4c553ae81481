#include "compat/prepared.hpp"

#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "compat/compat_text.hpp"

namespace bloktar::compat {
namespace {

// The member's name for the console: re-encoded from UTF-8 where the archive says it is UTF-8,
// with "?" for any byte that is neither ASCII nor so re-encoded.
std::string MemberNameText(const PreparedDocument& prepared) {
    const std::string& name = prepared.member.name;
    std::string text;
    if (prepared.member.utf8Name) {
        Cp932Encoder& encoder = const_cast<Cp932Encoder&>(prepared.encoder);
        if (encoder.Append(name.data(), name.size(), text)) return text;
        text.clear();
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 0x20 && byte < 0x7F ? c : '?';
    }
    return text;
}

void PrintWarning(const ObjectWarning& warning, Console& console) {
    console.Text(text::kWarningLead);
    console.Bytes(warning.objectName);
    switch (warning.kind) {
        case WarningKind::Mirror:
            console.Text(text::kMirrorWarning);
            break;
        case WarningKind::Patch:
            console.Text(text::kPatchWarning);
            break;
        case WarningKind::Lathe:
            console.Text(text::kLatheWarning);
            break;
        case WarningKind::LargeFaces:
            console.Text(text::kLargeFacesLead);
            PrintNumber(console, static_cast<std::uint64_t>(warning.count));
            console.Text(text::kLargeFacesTail);
            break;
    }
}

// The message of each fault.
void DescribeFault(const Refusal& refusal, Console& console) {
    auto lineEnd = [&] {
        console.Text(text::kLineLead);
        PrintNumber(console, refusal.line);
        console.Text(bloktar::text::kNewline);
    };
    auto atLine = [&](const ConsoleText& message) {
        console.Text(message);
        lineEnd();
    };
    switch (refusal.fault) {
        case Fault::None:
            break;
        case Fault::NotUtf8:
            atLine(text::kNotUtf8);
            break;
        case Fault::NotInCodePage: {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(refusal.codePoint));
            console.Text(text::kNotInCodePage);
            console.Bytes(hex);
            lineEnd();
            break;
        }
        case Fault::VectorLineMissing:
            atLine(text::kVectorLineMissing);
            break;
        case Fault::PayloadSizeWrong:
            atLine(text::kPayloadSizeWrong);
            break;
        case Fault::PayloadPastEnd:
            atLine(text::kPayloadPastEnd);
            break;
        case Fault::PayloadNaN:
            atLine(text::kPayloadNaN);
            break;
        case Fault::ClosingLineMissing:
            atLine(text::kClosingLineMissing);
            break;
        case Fault::ArchiveBroken:
            console.Text(text::kArchiveBroken);
            break;
        case Fault::ArchiveCrcWrong:
            console.Text(text::kArchiveCrcWrong);
            break;
        case Fault::ArchiveNoDocument:
            console.Text(text::kArchiveNoDocument);
            break;
        case Fault::ArchiveUnsupported:
            console.Text(text::kArchiveUnsupported);
            break;
    }
}

// Reads the archive, then plans the document member's translation while the member is inflated.
Fault PlanArchiveMember(std::FILE* file, PreparedDocument& prepared) {
    Room bytes;
    std::size_t size = 0;
    if (!ReadWholeStream(file, bytes, size)) return Fault::ArchiveBroken;
    ArchiveMember& member = prepared.member;
    MemberLocation location;
    const Fault fault = LocateDocumentMember(reinterpret_cast<const unsigned char*>(bytes.get()),
                                             size, member, location);
    if (fault != Fault::None) return fault;
    member.bytes = ObtainRoom(location.size + 1);
    member.size = location.size;
    MemberInflation inflation(location, member.bytes.get());
    PlanTranslation(inflation, prepared.encoder, prepared.plan);
    // What the plan says counts only for a member that inflates whole and passes its CRC: any
    // other verdict refuses the document before anything is written, whatever bytes the plan
    // read. A member inflated again to be judged is planned again, from the bytes it holds now.
    const Fault verdict = inflation.Finish();
    if (verdict == Fault::None && inflation.Reinflated()) {
        inflation.Rewind();
        PlanTranslation(inflation, prepared.encoder, prepared.plan);
    }
    return verdict;
}

// The open file's size, its stream left at its start.
bool FileSize(std::FILE* file, std::uint64_t& size) {
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0 || end < 0) return false;
    size = static_cast<std::uint64_t>(end);
    return true;
}

// The file's bytes where they are read in place: where mapped, there; otherwise in the file.
std::unique_ptr<PlacedBytes> PlacedBytesOf(std::FILE* file, std::string_view mapped) {
    if (mapped.empty()) return std::make_unique<PlacedFile>(file);
    return std::make_unique<PlacedMemory>(mapped.data(), mapped.size());
}

// Plans the translation of a file, read where its bytes stand, with the lines of its binary
// vertices. False where it could not be read so, or there was no room for the chunks found: the
// plan is then to be made again, from the file's stream.
bool PlanPlacedFile(std::FILE* file, PreparedDocument& prepared, std::string_view mapped) {
    std::uint64_t size = mapped.size();
    if (mapped.empty() && !FileSize(file, size)) return false;
    prepared.placed = PlacedBytesOf(file, mapped);
    bool readFailed = false;
    try {
        prepared.linesMade = PlanTranslationWritingLines(*prepared.placed, size, prepared.encoder,
                                                         prepared.plan, prepared.lines, readFailed);
    } catch (const std::bad_alloc&) {
        readFailed = true;
    }
    if (readFailed) {
        prepared.plan = TranslationPlan{};
        prepared.lines = VertexLines{};
        prepared.linesMade = false;
        return false;
    }
    return true;
}

// A document whose text is re-encoded, or whose lines could not be made while it was planned, is
// held in memory up to this size and its Ver 1.0 form made once; a larger one is read as it is
// translated, never held.
constexpr std::size_t kMostHeld = std::size_t{256} << 20;

// Reads the planned file into member, a byte more than it holds to see that it ends where it
// did. False where it is larger than kMostHeld, there is no room, or it no longer holds the bytes
// the plan read.
bool HoldPlannedFile(std::FILE* file, PreparedDocument& prepared) {
    ArchiveMember& member = prepared.member;
    std::uint64_t size = 0;
    if (prepared.placed == nullptr || !FileSize(file, size) || size > kMostHeld) return false;
    const std::size_t capacity = static_cast<std::size_t>(size) + 1;
    try {
        member.bytes = ObtainRoom(capacity);
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::size_t got = 0;
    if (!prepared.placed->ReadAt(0, member.bytes.get(), capacity, got) || got == capacity ||
        got < prepared.plan.end) {
        member = ArchiveMember{};
        return false;
    }
    member.size = got;
    return true;
}

}  // namespace

bool NamesArchive(const NativeChar* path) {
    const std::basic_string_view<NativeChar> view(path);
    static constexpr char kEnding[] = ".mqoz";
    if (view.size() < 5) return false;
    for (std::size_t i = 0; i < 5; ++i) {
        NativeChar c = view[view.size() - 5 + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<NativeChar>(c - 'A' + 'a');
        if (c != static_cast<NativeChar>(kEnding[i])) return false;
    }
    return true;
}

Preparation PrepareDocument(std::FILE* file, bool archive, PreparedDocument& prepared,
                            Document& document, const TranslationPlan* planned,
                            std::string_view mapped) {
    prepared.fromArchive = archive;
    ArchiveMember& member = prepared.member;
    if (archive) {
        prepared.archiveFault = PlanArchiveMember(file, prepared);
        if (prepared.archiveFault != Fault::None) return Preparation::Refused;
    } else {
        prepared.raw = std::make_unique<FileSource>(file);
        if (planned != nullptr) {
            prepared.plan = *planned;
            prepared.placed = PlacedBytesOf(file, mapped);
        } else if (!PlanPlacedFile(file, prepared, mapped)) {
            PlanTranslation(*prepared.raw, prepared.encoder, prepared.plan);
        }
    }
    if (!NeedsTranslation(prepared.plan)) {
        if (!archive) {
            prepared.raw->Rewind();
            return Preparation::Untouched;
        }
        OpenMemoryDocument(document, member.bytes.get(), member.size);
        return Preparation::Ready;
    }
    if (prepared.plan.refusal.fault != Fault::None) return Preparation::Refused;
    // A file whose text is not re-encoded is read where it stands, as the converter reads it.
    if (!archive && !prepared.plan.reencoded && prepared.linesMade) {
        prepared.translating = std::make_unique<PlacedFormSource>(*prepared.placed, prepared.plan,
                                                                  prepared.lines.pieces);
        OpenSourceDocument(document, *prepared.translating);
        return Preparation::Ready;
    }
    const bool held = archive || HoldPlannedFile(file, prepared);
    // A document in memory is translated once: over itself, where the form is no longer, or into
    // room of its own.
    if (held &&
        TranslateInPlace(member.bytes.get(), member.size, prepared.plan, prepared.encoder)) {
        OpenMemoryDocument(document, member.bytes.get(), member.size);
        return Preparation::Ready;
    }
    if (held) {
        try {
            prepared.translating =
                std::make_unique<FormSource>(member.bytes.get(), member.size, prepared.plan,
                                             prepared.linesMade ? &prepared.lines.pieces : nullptr);
            OpenSourceDocument(document, *prepared.translating);
            return Preparation::Ready;
        } catch (const std::bad_alloc&) {
            // No room for the form: it is made as it is read.
            prepared.raw = std::make_unique<MemorySource>(member.bytes.get(), member.size);
        }
    }
    prepared.translating =
        std::make_unique<TranslatingSource>(*prepared.raw, prepared.plan, prepared.encoder);
    OpenSourceDocument(document, *prepared.translating);
    return Preparation::Ready;
}

void PrintTranslation(const PreparedDocument& prepared, Console& console) {
    if (prepared.fromArchive) {
        console.Text(text::kArchiveMemberLead);
        console.Bytes(MemberNameText(prepared));
        console.Text(text::kArchiveMemberTail);
    }
    const TranslationPlan& plan = prepared.plan;
    if (!NeedsTranslation(plan)) return;
    if (plan.header == HeaderKind::Ver11 || plan.header == HeaderKind::Ver12) {
        console.Text(text::kVersionLead);
        console.Bytes(plan.header == HeaderKind::Ver11 ? "1.1" : "1.2");
        console.Text(text::kVersionTail);
    }
    if (plan.reencoded) console.Text(text::kReencoded);
    if (plan.binaryVertexChunks > 0) {
        console.Text(text::kBinaryVerticesLead);
        PrintNumber(console, static_cast<std::uint64_t>(plan.binaryVertexChunks));
        console.Text(text::kBinaryVerticesTail);
    }
    for (const ObjectWarning& warning : plan.warnings) PrintWarning(warning, console);
}

void PrintWarnings(const PreparedDocument& prepared, Console& console) {
    for (const ObjectWarning& warning : prepared.plan.warnings) PrintWarning(warning, console);
}

void PrintRefusal(const PreparedDocument& prepared, Console& console) {
    const bool archiveFault = prepared.archiveFault != Fault::None;
    console.Text(archiveFault ? text::kArchiveStage : text::kTranslateStage);
    console.Text(bloktar::text::kFailed);
    DescribeFault(archiveFault ? Refusal{prepared.archiveFault, 0, 0} : prepared.plan.refusal,
                  console);
}

}  // namespace bloktar::compat
