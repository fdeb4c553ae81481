#include "reverse/reverse.hpp"

#include <charconv>
#include <memory>
#include <string_view>
#include <vector>

#include "reverse/reverse_text.hpp"
#include "run/atomic_file.hpp"
#include "run/bd1_fault.hpp"

namespace bloktar::reverse {
namespace {

void PrintHexByte(Console& console, unsigned char byte) {
    constexpr char kHex[] = "0123456789abcdef";
    const char text[4] = {'0', 'x', kHex[byte >> 4], kHex[byte & 15]};
    console.Bytes(std::string_view(text, 4));
}

void PrintObstacle(const DocumentCheck& check, Console& console) {
    console.Text(text::kMark);
    switch (check.obstacle) {
        case Obstacle::None:
            break;
        case Obstacle::NotANumber: {
            console.Text(text::kBlock);
            PrintNumber(console, check.block);
            console.Text(text::kOf);
            const char field[2] = {FieldLetter(check.field), '['};
            console.Bytes(std::string_view(field, 2));
            PrintNumber(console, check.index);
            console.Bytes("]");
            console.Text(text::kNotANumber);
            break;
        }
        case Obstacle::UnwritableNameByte:
            console.Text(text::kTextureName);
            PrintNumber(console, check.slot);
            console.Text(text::kOf);
            PrintNumber(console, check.position + 1);
            console.Text(text::kByteAt);
            PrintHexByte(console, check.byte);
            console.Text(text::kUnwritableByte);
            break;
        case Obstacle::UnterminatedName:
            console.Text(text::kTextureName);
            PrintNumber(console, check.slot);
            console.Text(text::kUnterminated);
            break;
    }
}

void PrintBanner(Console& console) {
    console.Text(bloktar::text::kBannerRule);
    console.Text(text::kBannerTitle);
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kNewline);
}

// Prints the stages from the file check to the start of the document's, judging the file that
// reversal.reading holds, and the reason for a refusal. Written: the document can be written, the
// stage's end still to be printed.
ReverseOutcome CheckReading(Console& console, Reversal& reversal) {
    console.Text(text::kBd1Check);
    if (reversal.reading.fault != Bd1Fault::None) {
        console.Text(bloktar::text::kFailed);
        console.Text(text::kMark);
        PrintBd1Fault(reversal.reading, text::kNegativeCount, console);
        return ReverseOutcome::NotBd1;
    }
    console.Text(bloktar::text::kDone);
    console.Text(text::kBlockCount);
    PrintNumber(console, reversal.reading.blockCount);
    console.Text(text::kBlockCountEnd);

    console.Text(text::kDocumentBuild);
    CheckDocumentable(reversal.reading.header, reversal.reading.blocks, reversal.check);
    if (reversal.check.obstacle != Obstacle::None) {
        console.Text(bloktar::text::kFailed);
        PrintObstacle(reversal.check, console);
        return ReverseOutcome::NotDocumentable;
    }
    return ReverseOutcome::Written;
}

// A sink that writes into a file being written atomically.
class FileSink final : public DocumentSink {
  public:
    explicit FileSink(AtomicFile& file) : file_(file) {}
    bool Take(std::string_view piece) override { return file_.Write(piece.data(), piece.size()); }

  private:
    AtomicFile& file_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

ReverseOutcome ReverseFile(const NativeChar* path, Console& console) {
    console.Text(bloktar::text::kFileLoad);
    const std::unique_ptr<std::FILE, FileCloser> file(OpenInputDocument(path));
    Reversal reversal;
    if (file == nullptr || !ReadBd1File(file.get(), reversal.reading)) {
        console.Text(bloktar::text::kFailed);
        return file == nullptr ? ReverseOutcome::InputNotOpened : ReverseOutcome::InputNotRead;
    }
    console.Text(bloktar::text::kDone);

    const ReverseOutcome outcome = CheckReading(console, reversal);
    if (outcome != ReverseOutcome::Written) return outcome;

    // The document goes straight into the file as it is written; it is built whether or not the
    // file takes it, and the file takes its name only once it holds all of it.
    AtomicFile document(DocumentPathFor(path));
    const bool created = document.Create();
    FileSink sink(document);
    const bool taken =
        created && StreamBlocksDocument(reversal.reading.header, reversal.reading.blocks, sink);
    console.Text(bloktar::text::kDone);
    console.Text(bloktar::text::kWrite);
    if (!taken || !document.Commit()) {
        document.Abandon();
        console.Text(bloktar::text::kFailed);
        return ReverseOutcome::NotWritten;
    }
    console.Text(bloktar::text::kDone);
    console.Text(bloktar::text::kNewline);
    PrintWarnings(reversal.check, console);
    console.Text(text::kReverseDone);
    return ReverseOutcome::Written;
}

}  // namespace

int ExitStatusFor(ReverseOutcome outcome) {
    return outcome == ReverseOutcome::Written ? 0 : 1;
}

NativeString DocumentPathFor(const NativeChar* bd1Path) {
    return PathWithEnding(bd1Path, ".mqo");
}

ReverseOutcome ReverseBd1Bytes(std::span<const unsigned char> bytes, std::uint64_t length,
                               Console& console, Reversal& reversal) {
    ReadBd1FileBytes(bytes, length, reversal.reading);
    const ReverseOutcome outcome = CheckReading(console, reversal);
    if (outcome != ReverseOutcome::Written) return outcome;
    WriteBlocksDocument(reversal.reading.header, reversal.reading.blocks, reversal.document);
    console.Text(bloktar::text::kDone);
    return ReverseOutcome::Written;
}

void PrintWarnings(const DocumentCheck& check, Console& console) {
    if (check.slotsWithTrailingBytes != 0) {
        console.Text(text::kMark);
        console.Text(text::kTrailingBytes);
        for (int slot = 0; slot < kTextureSlots; ++slot) {
            if ((check.slotsWithTrailingBytes >> slot & 1u) == 0) continue;
            console.Bytes(" ");
            PrintNumber(console, slot);
        }
        console.Text(bloktar::text::kNewline);
    }
    if (check.facesWithoutSlot != 0) {
        console.Text(text::kMark);
        console.Text(text::kFacesWithoutSlot);
        PrintNumber(console, check.facesWithoutSlot);
        console.Text(bloktar::text::kNewline);
    }
}

int RunReverse(int argc, NativeChar** argv, std::FILE* in, std::FILE* out) {
    const std::unique_ptr<Console> console = MakeProcessConsole(out);
    PrintBanner(*console);
    const ReverseOutcome outcome = ReverseFile(argc > 1 ? argv[1] : nullptr, *console);
    std::fflush(out);
    // Every run ends with the pause, so that a window opened by a drop shows the result.
    WaitForWord(in);
    return ExitStatusFor(outcome);
}

}  // namespace bloktar::reverse
