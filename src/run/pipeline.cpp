#include "run/pipeline.hpp"

#include <algorithm>
#include <cstdlib>

#include "run/platform.hpp"

namespace bloktar {
namespace {

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
        if (!ArrayFits(wanted, sizeof(Record), maxBytes)) return false;
        if (wanted <= 0) return true;
        const std::size_t n = static_cast<std::size_t>(wanted);
        records = static_cast<Record*>(std::calloc(n, sizeof(Record)));
        if (records == nullptr) return false;
        PreferHugePages(records, n * sizeof(Record));
        count = n;
        return true;
    }
    std::span<Record> Span() { return {records, count}; }
};

// Counts the records the geometry pass stores and passes the objects on to the caller's
// observer, if any.
class StoredCounter final : public GeometryObserver {
  public:
    explicit StoredCounter(GeometryObserver* next) : next_(next) {}
    void ObjectOpened(const char* line, std::size_t vertexCounter,
                      std::size_t faceCounter) override {
        if (next_ != nullptr) next_->ObjectOpened(line, vertexCounter, faceCounter);
    }
    void GeometryEnded(std::size_t vertexCounter, std::size_t faceCounter) override {
        vertexCount = vertexCounter;
        faceCount = faceCounter;
        if (next_ != nullptr) next_->GeometryEnded(vertexCounter, faceCounter);
    }

    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;

  private:
    GeometryObserver* next_;
};

}  // namespace

PipelineResult RunDocumentPipeline(Document& document, PipelineHooks& hooks,
                                   const PipelineLimits& limits) {
    PipelineResult result;
    MqoSummary& summary = result.summary;
    auto stop = [&](PipelineOutcome outcome) {
        result.outcome = outcome;
        return result;
    };

    hooks.StageStarting(PipelineStage::HeaderCheck);
    result.header = CheckDocumentHeader(document);
    if (!result.header.Accepted()) return stop(PipelineOutcome::HeaderRejected);
    hooks.StageDone(PipelineStage::HeaderCheck);

    hooks.StageStarting(PipelineStage::Survey);
    SurveyDocument(document, summary);
    hooks.StageDone(PipelineStage::Survey);

    const std::int32_t blockCount = summary.estimatedBlockCount;
    if (!BlockCountFits(blockCount)) return stop(PipelineOutcome::BlockCountRefused);

    const std::int32_t faceRecords = limits.facesOfBlocksOnly
                                         ? std::min(summary.faceTotal, blockCount * kBlockFaces)
                                         : summary.faceTotal;
    ZeroedArray<MQO_VERTEX> vertices;
    ZeroedArray<MQO_FACE> faces;
    ZeroedArray<Bd1Block> blocks;
    if (!vertices.Obtain(summary.vertexTotal, limits.maxArrayBytes) ||
        !faces.Obtain(faceRecords, limits.maxArrayBytes) ||
        !blocks.Obtain(blockCount, limits.maxArrayBytes)) {
        return stop(PipelineOutcome::MemoryUnavailable);
    }

    hooks.StageStarting(PipelineStage::Materials);
    TextureNameTable textures{};
    ReadMaterialTextures(document, textures, summary.materialCount);
    hooks.StageDone(PipelineStage::Materials);

    hooks.StageStarting(PipelineStage::Objects);
    StoredCounter counter(hooks.Objects());
    ReadObjectGeometry(document, vertices.Span(), faces.Span(), &counter);
    hooks.StageDone(PipelineStage::Objects);
    if (!hooks.GeometryRead(StoredGeometry{vertices.Span(), faces.Span(), counter.vertexCount,
                                           counter.faceCount})) {
        return stop(PipelineOutcome::Stopped);
    }

    hooks.StageStarting(PipelineStage::HeaderBuild);
    Bd1Header header{};
    BuildBd1Header(header, textures, blockCount);
    if (!hooks.HeaderBuilt(header)) return stop(PipelineOutcome::Stopped);
    hooks.StageDone(PipelineStage::HeaderBuild);

    hooks.StageStarting(PipelineStage::Blocks);
    const std::int32_t recordCount = header.blockCount;
    BlockCorners corners{};
    BlockFaces blockFaces{};
    BlockPattern pattern{};
    for (std::int32_t i = 0; i < recordCount; ++i) {
        GatherBlockFaces(blockFaces, pattern, faces.Span(), i);
        GatherBlockCorners(corners, vertices.Span(), i);
        const int layout = RecogniseBlockLayout(pattern);
        NormaliseBlockLayout(corners, pattern, blockFaces);
        Bd1Block& record = blocks.records[i];
        FillBd1Block(corners, blockFaces, record);
        hooks.BlockBuilt(PipelineBlock{i, layout, corners, blockFaces, record});
    }
    hooks.StageDone(PipelineStage::Blocks);

    const std::span<const Bd1Block> records(blocks.records, static_cast<std::size_t>(recordCount));
    if (!hooks.RecordsBuilt(records)) return stop(PipelineOutcome::Stopped);
    return result;
}

}  // namespace bloktar
