#include "driver/conversion.hpp"

#include <cstdlib>
#include <cstring>
#include <span>

#include "bd1/bd1.hpp"
#include "block/block.hpp"
#include "driver/report.hpp"
#include "mqo/header_check.hpp"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace bloktar {
namespace {

// Asks the system to back a large zero-filled array with huge pages where it can: the pages are
// still handed out only when first written, but far fewer of them, which takes the system a
// fraction of the time. Changes no byte of the array.
void PreferHugePages([[maybe_unused]] void* memory, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHugePage = 2u << 20;
    if (size < kHugePage) return;
    constexpr std::uintptr_t kPage = 4096;
    const auto first = (reinterpret_cast<std::uintptr_t>(memory) + kPage - 1) & ~(kPage - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(memory) + size) & ~(kPage - 1);
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);  // advice only
#endif
}

// An array obtained once, zero-filled, and released when the run ends.
template <typename Record>
struct ZeroedArray {
    Record* records = nullptr;
    std::size_t count = 0;

    ZeroedArray() = default;
    ZeroedArray(const ZeroedArray&) = delete;
    ZeroedArray& operator=(const ZeroedArray&) = delete;
    ~ZeroedArray() { std::free(records); }

    // A count of zero or less needs no memory at all.
    bool Obtain(std::int32_t wanted, std::size_t maxBytes) {
        if (wanted <= 0) return true;
        const std::size_t n = static_cast<std::size_t>(wanted);
        if (n > maxBytes / sizeof(Record)) return false;
        records = static_cast<Record*>(std::calloc(n, sizeof(Record)));
        if (records == nullptr) return false;
        PreferHugePages(records, n * sizeof(Record));
        count = n;
        return true;
    }
    std::span<Record> Span() { return {records, count}; }
};

}  // namespace

int ExitStatusFor(RunOutcome outcome) {
    return outcome == RunOutcome::Completed ? 0 : 1;
}

bool PausesAfter(RunOutcome outcome) {
    return outcome != RunOutcome::HeaderRejected;
}

bool MemoryBd1Output::Create() {
    bytes.clear();
    finished = false;
    return true;
}

bool MemoryBd1Output::WriteHeader(const void* header, std::size_t size) {
    const auto* from = static_cast<const unsigned char*>(header);
    bytes.insert(bytes.end(), from, from + size);
    return true;
}

bool MemoryBd1Output::Finish(const void* records, std::size_t size) {
    const auto* from = static_cast<const unsigned char*>(records);
    if (size > 0) bytes.insert(bytes.end(), from, from + size);
    finished = true;
    return true;
}

void MemoryBd1Output::Abandon() {
    bytes.clear();
    finished = false;
}

ConversionResult ConvertDocument(Document& document, Console& console, Bd1Output& output,
                                 const ConversionLimits& limits) {
    ConversionResult result{RunOutcome::Completed, MqoSummary{}};
    MqoSummary& summary = result.summary;
    auto fail = [&](RunOutcome outcome) {
        result.outcome = outcome;
        return result;
    };

    console.Text(text::kHeaderCheck);
    if (!CheckDocumentHeader(document, console)) return fail(RunOutcome::HeaderRejected);
    console.Text(text::kDone);
    console.Text(text::kNewline);

    console.Text(text::kSurvey);
    SurveyDocument(document, summary);
    console.Text(text::kDone);
    console.Text(text::kNewline);

    // The block count must fit the file's signed 16-bit count: a cut model would lose blocks.
    const std::int32_t blockCount = summary.estimatedBlockCount;
    if (blockCount < 0 || blockCount > kBd1MaxBlocks) {
        console.Text(text::kBlockCountCheck);
        console.Text(text::kFailed);
        return fail(RunOutcome::BlockCountRefused);
    }

    ZeroedArray<MQO_VERTEX> vertices;
    ZeroedArray<MQO_FACE> faces;
    ZeroedArray<Bd1Block> blocks;
    if (!vertices.Obtain(summary.vertexTotal, limits.maxArrayBytes) ||
        !faces.Obtain(summary.faceTotal, limits.maxArrayBytes) ||
        !blocks.Obtain(blockCount, limits.maxArrayBytes)) {
        console.Text(text::kMemory);
        console.Text(text::kFailed);
        return fail(RunOutcome::MemoryUnavailable);
    }

    console.Text(text::kMaterials);
    TextureNameTable textures{};
    ReadMaterialTextures(document, textures, summary.materialCount);
    console.Text(text::kDone);

    console.Text(text::kObjects);
    ReadObjectGeometry(document, vertices.Span(), faces.Span());
    console.Text(text::kDone);
    console.Text(text::kNewline);

    if (!output.Create()) {
        console.Text(text::kOutputCreate);
        console.Text(text::kFailed);
        return fail(RunOutcome::OutputNotCreated);
    }

    console.Text(text::kHeaderBuild);
    Bd1Header header{};
    BuildBd1Header(header, textures, blockCount);
    if (!output.WriteHeader(&header, sizeof header)) {
        console.Text(text::kFailed);
        output.Abandon();
        return fail(RunOutcome::HeaderNotWritten);
    }
    console.Text(text::kDone);

    console.Text(text::kBlockBuild);
    const std::int32_t recordCount = header.blockCount;
    BlockCorners corners{};
    BlockFaces blockFaces{};
    BlockPattern pattern{};
    for (std::int32_t i = 0; i < recordCount; ++i) {
        GatherBlockFaces(blockFaces, pattern, faces.Span(), i);
        GatherBlockCorners(corners, vertices.Span(), i);
        NormaliseBlockLayout(corners, pattern, blockFaces);
        FillBd1Block(corners, blockFaces, blocks.records[i]);
    }
    console.Text(text::kDone);

    console.Text(text::kWrite);
    if (!output.Finish(blocks.records, static_cast<std::size_t>(recordCount) * sizeof(Bd1Block))) {
        console.Text(text::kFailed);
        output.Abandon();
        return fail(RunOutcome::RecordsNotWritten);
    }
    console.Text(text::kDone);
    console.Text(text::kNewline);

    PrintConversionReport(summary, console);
    return result;
}

}  // namespace bloktar
