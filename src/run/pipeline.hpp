// The run every program makes over a document: header check, survey, block-count rule, arrays,
// texture names, geometry, BD1 header and blocks. It prints nothing: its caller hears of every
// stage and every block through PipelineHooks, and decides what is printed and written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "bd1/bd1.hpp"
#include "block/block.hpp"
#include "mqo/document.hpp"
#include "mqo/header_check.hpp"
#include "mqo/mqo.hpp"

namespace bloktar {

// The stages, in the order they run. A caller hears StageStarting before a stage runs and
// StageDone once it has completed; a stage that stops the run gets no StageDone.
enum class PipelineStage {
    HeaderCheck,
    Survey,
    Materials,  // the texture-name pass
    Objects,    // the geometry pass
    HeaderBuild,
    Blocks,
};

// How the run ended.
enum class PipelineOutcome {
    Completed,
    HeaderRejected,     // the verdict says why
    BlockCountRefused,  // more blocks than a BD1 file can count, or a negative count
    MemoryUnavailable,  // an array could not be obtained
    Stopped,            // a hook asked to stop
};

// The records the geometry pass stored: the arrays as obtained, and how many of their records
// the pass filled (the rest are zeros).
struct StoredGeometry {
    std::span<const MQO_VERTEX> vertices;
    std::span<const MQO_FACE> faces;
    std::size_t vertexCount;
    std::size_t faceCount;
};

// One block as built: its number, the layout recognised from its first face (0 to 3, or -1),
// its corners and faces gathered and normalised, and the record filled from them.
struct PipelineBlock {
    std::int32_t index;
    int layout;
    const BlockCorners& corners;
    const BlockFaces& faces;
    const Bd1Block& record;
};

struct PipelineLimits {
    // The most bytes any one of the three arrays may take; a larger one counts as memory that
    // cannot be obtained.
    std::size_t maxArrayBytes = std::numeric_limits<std::size_t>::max();
    // When set, the face array holds only the blocks' faces (six per block), not every face the
    // survey counted: the records before that point come out exactly as with the whole array.
    bool facesOfBlocksOnly = false;
};

// What the caller hears. A hook returning false stops the run (PipelineOutcome::Stopped).
class PipelineHooks {
  public:
    virtual ~PipelineHooks() = default;
    virtual void StageStarting(PipelineStage) {}
    virtual void StageDone(PipelineStage) {}
    // Told where each object's records begin; null when the caller needs no such news.
    virtual GeometryObserver* Objects() { return nullptr; }
    // The geometry pass has ended; called before the BD1 header is built.
    virtual bool GeometryRead(const StoredGeometry&) { return true; }
    // The BD1 header is built; called before its stage is done.
    virtual bool HeaderBuilt(const Bd1Header&) { return true; }
    // Each block in turn, within the Blocks stage.
    virtual void BlockBuilt(const PipelineBlock&) {}
    // Every record is built; called after the Blocks stage is done.
    virtual bool RecordsBuilt(std::span<const Bd1Block>) { return true; }
};

struct PipelineResult {
    PipelineOutcome outcome = PipelineOutcome::Completed;
    HeaderVerdict header;  // the header check's verdict
    MqoSummary summary{};  // as surveyed; all zero when the header check stopped the run
};

// True when a BD1 file can hold the surveyed block count: it counts blocks in a signed 16-bit
// number, and a cut model would lose blocks.
inline bool BlockCountFits(std::int32_t blockCount) {
    return blockCount >= 0 && blockCount <= kBd1MaxBlocks;
}

// True when an array of count records of recordSize bytes may be obtained within maxBytes; a
// count of zero or less needs no memory at all.
inline bool ArrayFits(std::int32_t count, std::size_t recordSize, std::size_t maxBytes) {
    return count <= 0 || static_cast<std::size_t>(count) <= maxBytes / recordSize;
}

// Runs every stage on a document just opened, telling hooks of each.
PipelineResult RunDocumentPipeline(Document& document, PipelineHooks& hooks,
                                   const PipelineLimits& limits = {});

}  // namespace bloktar
