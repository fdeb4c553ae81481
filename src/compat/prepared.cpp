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

// A document up to this size is read whole, and its Ver 1.0 form made whole: the file is read in
// one go, and the converter's passes over the form each take it as it is instead of making it
// again. A larger one is read as it is translated, never held.
constexpr std::size_t kMostHeld = std::size_t{256} << 20;

// Reads the whole file, standing at its start, into member when it is no larger than kMostHeld.
// False otherwise, or on a read error or when there is no room, with the file at its start again.
bool HoldDocument(std::FILE* file, ArchiveMember& member) {
    if (std::fseek(file, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0 || end < 0 ||
        static_cast<unsigned long>(end) > kMostHeld) {
        return false;
    }
    const auto size = static_cast<std::size_t>(end);
    try {
        member.bytes = ObtainRoom(size + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Only a document's: anything else is refused on its first line, which the plan reads alone.
    // Then the rest, and a byte more than the file holds, to see that it ends where it said.
    constexpr std::string_view kFirstLine = "Metasequoia Document";
    std::size_t got = std::fread(member.bytes.get(), 1, std::min(size, kFirstLine.size()), file);
    if (std::string_view(member.bytes.get(), got) == kFirstLine) {
        got += std::fread(member.bytes.get() + got, 1, size + 1 - got, file);
    }
    if (got != size || std::ferror(file)) {
        member.bytes.reset();
        std::clearerr(file);
        std::fseek(file, 0, SEEK_SET);
        return false;
    }
    member.size = size;
    return true;
}

// One part of the form, written on the second thread.
struct SecondPart {
    FormWriter* writer;
    WorkerThread* worker;
    bool failed = false;

    static void Work(void* context) {
        auto* part = static_cast<SecondPart*>(context);
        try {
            while (part->writer->WriteNext()) {
            }
        } catch (const std::bad_alloc&) {
            part->failed = true;
        }
        part->worker->Publish(1, true);
    }
};

// Where the form is cut into the two parts its two writers make: at the Vertices edit that
// halves the binary vertices; 0, for one part, where there is none to cut at.
std::size_t CutEdit(const TranslationPlan& plan) {
    std::uint64_t vertices = 0;
    for (const Edit& edit : plan.edits) {
        if (edit.kind == Edit::Kind::Vertices) vertices += edit.count;
    }
    std::uint64_t before = 0;
    for (std::size_t i = 0; i < plan.edits.size(); ++i) {
        const Edit& edit = plan.edits[i];
        if (edit.kind != Edit::Kind::Vertices) continue;
        if (i > 0 && edit.offset < plan.end && before + edit.count / 2 >= vertices / 2) return i;
        before += edit.count;
    }
    return 0;
}

// Makes the Ver 1.0 form of a planned document held in member as pieces, of member's bytes, the
// plan's and text made in room of its own, and opens document over it; false, with nothing
// changed, when there is no room for it. Two writers make it, one on a second thread.
bool MakeForm(PreparedDocument& prepared, Document& document) {
    const TranslationPlan& plan = prepared.plan;
    const std::size_t edits = plan.edits.size();
    const std::size_t cut = CutEdit(plan);
    const std::uint64_t firstRoom = FormWriter::Room(plan, 0, cut == 0 ? edits : cut);
    const std::uint64_t secondRoom = cut == 0 ? 0 : FormWriter::Room(plan, cut, edits);
    if (firstRoom + secondRoom > std::numeric_limits<std::size_t>::max()) return false;
    Room text;
    try {
        text = ObtainRoom(static_cast<std::size_t>(firstRoom + secondRoom));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const ArchiveMember& member = prepared.member;
    FormWriter first(member.bytes.get(), member.size, plan, prepared.encoder, 0,
                     cut == 0 ? edits : cut, text.get());
    std::vector<FormPiece> pieces;
    if (cut == 0) {
        while (first.WriteNext()) {
        }
        pieces = first.Pieces();
    } else {
        // Its own encoder: a converter is not for two threads at once.
        Cp932Encoder encoder;
        FormWriter second(member.bytes.get(), member.size, plan, encoder, cut, edits,
                          text.get() + firstRoom);
        WorkerThread worker;
        SecondPart part{&second, &worker};
        worker.Run(SecondPart::Work, &part);
        while (first.WriteNext()) {
        }
        bool final = false;
        worker.WaitBeyond(0, final);
        if (part.failed) throw std::bad_alloc();
        pieces = first.Pieces();
        pieces.insert(pieces.end(), second.Pieces().begin(), second.Pieces().end());
    }
    prepared.formText = std::move(text);
    prepared.translating = std::make_unique<PiecesSource>(std::move(pieces));
    OpenSourceDocument(document, *prepared.translating);
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
                            Document& document) {
    prepared.fromArchive = archive;
    ArchiveMember& member = prepared.member;
    if (archive) {
        prepared.archiveFault = PlanArchiveMember(file, prepared);
        if (prepared.archiveFault != Fault::None) return Preparation::Refused;
    } else {
        prepared.raw = std::make_unique<FileSource>(file);
        if (HoldDocument(file, member)) {
            PlanTranslation(member.bytes.get(), member.size, prepared.encoder, prepared.plan);
        } else {
            PlanTranslation(*prepared.raw, prepared.encoder, prepared.plan);
        }
    }
    const bool held = member.bytes != nullptr;
    if (!NeedsTranslation(prepared.plan)) {
        if (!archive) {
            member = ArchiveMember{};
            prepared.raw->Rewind();
            return Preparation::Untouched;
        }
        OpenMemoryDocument(document, member.bytes.get(), member.size);
        return Preparation::Ready;
    }
    if (prepared.plan.refusal.fault != Fault::None) return Preparation::Refused;
    // A document in memory is translated once: over itself, where the form is no longer, or into
    // room of its own.
    if (held &&
        TranslateInPlace(member.bytes.get(), member.size, prepared.plan, prepared.encoder)) {
        OpenMemoryDocument(document, member.bytes.get(), member.size);
        return Preparation::Ready;
    }
    if (held && MakeForm(prepared, document)) return Preparation::Ready;
    if (held) prepared.raw = std::make_unique<MemorySource>(member.bytes.get(), member.size);
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
