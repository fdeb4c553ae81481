#include "export/export_run.hpp"

#include <charconv>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "bd1/bd1_reader.hpp"
#include "compat/prepared.hpp"
#include "export/export_text.hpp"
#include "export/names.hpp"
#include "inspect/command.hpp"
#include "inspect/html.hpp"
#include "inspect/inspect_text.hpp"
#include "inspect/print.hpp"
#include "inspect/svg.hpp"
#include "run/atomic_file.hpp"
#include "run/conversion.hpp"
#include "run/pipeline.hpp"

namespace bloktar::exporter {
namespace {

void PrintBanner(Console& console) {
    console.Text(bloktar::text::kBannerRule);
    console.Text(text::kBannerTitle);
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kNewline);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The converter's pipeline in memory, keeping the header and the records it builds.
class CollectingHooks final : public PipelineHooks {
  public:
    explicit CollectingHooks(ExportInput& model) : model_(model) {}
    bool HeaderBuilt(const Bd1Header& header) override {
        model_.header = header;
        return true;
    }
    bool RecordsBuilt(std::span<const Bd1Block> records) override {
        model_.blocks.assign(records.begin(), records.end());
        return true;
    }

  private:
    ExportInput& model_;
};

ExportOutcome ReadBd1Input(std::FILE* file, Console& console, ExportInput& model) {
    Bd1Reading reading;
    if (!ReadBd1File(file, reading)) {
        console.Text(bloktar::text::kFailed);
        return ExportOutcome::InputNotRead;
    }
    console.Text(bloktar::text::kDone);
    if (reading.fault != Bd1Fault::None) {
        inspect::PrintBd1Fault(reading, console);
        return ExportOutcome::NotBd1;
    }
    console.Text(inspect::text::kBd1Check);
    console.Text(bloktar::text::kDone);
    model.header = reading.header;
    model.blocks = std::move(reading.blocks);
    return ExportOutcome::Written;
}

// A document is converted as the converter converts it: a Ver 1.0 document without binary
// vertices as it is, anything newer (or an archive's member) in its Ver 1.0 form, whose
// translation is told first, as bloktar-compat tells it.
ExportOutcome ConvertDocumentInput(std::FILE* file, const NativeChar* path, Console& console,
                                   ExportInput& model) {
    console.Text(bloktar::text::kDone);
    compat::PreparedDocument prepared;
    Document document;
    switch (compat::PrepareDocument(file, compat::NamesArchive(path), prepared, document)) {
        case compat::Preparation::Untouched:
            OpenFileDocument(document, file);
            break;
        case compat::Preparation::Refused:
            compat::PrintRefusal(prepared, console);
            return ExportOutcome::DocumentRefused;
        case compat::Preparation::Ready:
            compat::PrintTranslation(prepared, console);
            break;
    }
    CollectingHooks hooks(model);
    PipelineLimits limits;
    limits.facesOfBlocksOnly = true;
    const PipelineResult result = RunDocumentPipeline(document, hooks, limits);
    if (result.outcome != PipelineOutcome::Completed) {
        // Refused in the converter's own words; the header check's label goes first.
        if (result.outcome == PipelineOutcome::HeaderRejected) {
            console.Text(bloktar::text::kHeaderCheck);
        }
        PrintPipelineRefusal(result, console);
        return ExportOutcome::DocumentRefused;
    }
    console.Text(text::kDocumentConvert);
    console.Text(bloktar::text::kDone);
    return ExportOutcome::Written;
}

void PrintNonFinite(const NonFinite& found, Console& console) {
    console.Text(text::kMark);
    console.Text(text::kBlock);
    PrintNumber(console, found.block);
    console.Text(text::kOf);
    const char field[2] = {found.field, '['};
    console.Bytes(std::string_view(field, 2));
    PrintNumber(console, found.index);
    console.Bytes("]");
    console.Text(found.nan ? text::kNotANumber : text::kInfinite);
}

const ConsoleText& ImageText(ImageKind kind) {
    switch (kind) {
        case ImageKind::NoName:
            return text::kFlatNoName;
        case ImageKind::Missing:
            return text::kMissing;
        case ImageKind::Unreadable:
            return text::kUnreadable;
        case ImageKind::WebP:
            return text::kWebp;
        case ImageKind::Png:
            return text::kEmbedPng;
        case ImageKind::Jpeg:
            return text::kEmbedJpeg;
        case ImageKind::FromBmp:
            return text::kConvertBmp;
        case ImageKind::FromTga:
            return text::kConvertTga;
        case ImageKind::FromGif:
            return text::kConvertGif;
    }
    return text::kUnreadable;
}

ExportOutcome ExportFile(const NativeChar* path, Console& console, GlbFile& file) {
    console.Text(bloktar::text::kFileLoad);
    const std::unique_ptr<std::FILE, FileCloser> input(OpenInputDocument(path));
    if (input == nullptr) {
        console.Text(bloktar::text::kFailed);
        return ExportOutcome::InputNotOpened;
    }
    ExportInput model;
    const ExportOutcome read = inspect::NamesBd1File(path)
                                   ? ReadBd1Input(input.get(), console, model)
                                   : ConvertDocumentInput(input.get(), path, console, model);
    if (read != ExportOutcome::Written) return read;
    const ExportOutcome built = BuildExport(model, path, console, file);
    if (built != ExportOutcome::Written) return built;

    console.Text(bloktar::text::kWrite);
    if (!WriteFileAtomically(GlbPathFor(path), file.bytes.get(), file.size)) {
        console.Text(bloktar::text::kFailed);
        return ExportOutcome::NotWritten;
    }
    console.Text(bloktar::text::kDone);
    console.Text(bloktar::text::kNewline);
    console.Text(text::kExportDone);
    return ExportOutcome::Written;
}

}  // namespace

int ExitStatusFor(ExportOutcome outcome) {
    return outcome == ExportOutcome::Written ? 0 : 1;
}

NativeString GlbPathFor(const NativeChar* inputPath) {
    return PathWithEnding(inputPath, ".glb");
}

ExportOutcome BuildExport(const ExportInput& model, const NativeChar* input, Console& console,
                          GlbFile& file) {
    console.Text(bloktar::text::kBlockTotal);
    PrintNumber(console, model.blocks.size());
    console.Text(bloktar::text::kBlockTotalEnd);

    const NonFinite nonFinite = FindNonFinite(model.blocks);
    if (nonFinite.block >= 0) {
        console.Text(text::kGltfBuild);
        console.Text(bloktar::text::kFailed);
        PrintNonFinite(nonFinite, console);
        return ExportOutcome::NotFinite;
    }

    const FaceCounts faces = CountFacesByMaterial(model.blocks);
    int materials = 0;
    for (const std::uint32_t count : faces) materials += count > 0 ? 1 : 0;
    console.Text(text::kMaterialCount);
    PrintNumber(console, materials);
    console.Text(bloktar::text::kBlockTotalEnd);

    GlbModel glb;
    glb.name = input != nullptr ? inspect::FileNameText(input) : std::string();
    glb.generator = "bloktar-export " BLOKTAR_VERSION;
    glb.blocks = model.blocks;
    std::string bytes;
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        const std::string_view name = SlotName(model.header, slot);
        glb.slotNames[s] = Utf8FromCp932(name);
        if (faces[s] == 0) continue;
        SlotImage& image = glb.images[s];
        if (name.empty()) {
            image.kind = ImageKind::NoName;
        } else if (input == nullptr || !inspect::ReadTextureImage(input, name, bytes)) {
            image.kind = ImageKind::Missing;
        } else {
            PrepareSlotImage(name, bytes, image);
            if (image.kind == ImageKind::WebP) {
                image.fallback = OnePixelPng(inspect::kTexturePalette[s]);
            }
        }
        console.Text(text::kTexture);
        PrintNumber(console, slot);
        console.Bytes(" ");
        if (name.empty()) {
            console.Text(text::kNoName);
        } else {
            console.Bytes(inspect::Printable(name));
        }
        console.Text(ImageText(image.kind));
    }
    if (faces[kNoSlotKey] > 0) {
        console.Text(text::kNoSlotFaces);
        PrintNumber(console, faces[kNoSlotKey]);
        console.Text(text::kNoSlotFacesEnd);
    }

    console.Text(text::kGltfBuild);
    file = BuildGlb(glb);
    console.Text(bloktar::text::kDone);
    return ExportOutcome::Written;
}

int RunExport(int argc, NativeChar** argv, std::FILE* in, std::FILE* out) {
    const std::unique_ptr<Console> console = MakeProcessConsole(out);
    PrintBanner(*console);
    ExportOutcome outcome;
    try {
        GlbFile file;
        outcome = ExportFile(argc > 1 ? argv[1] : nullptr, *console, file);
    } catch (const std::bad_alloc&) {
        console->Text(bloktar::text::kMemory);
        console->Text(bloktar::text::kFailed);
        outcome = ExportOutcome::NotWritten;
    }
    std::fflush(out);
    // Every run ends with the pause, so that a window opened by a drop shows the result.
    WaitForWord(in);
    return ExitStatusFor(outcome);
}

}  // namespace bloktar::exporter
