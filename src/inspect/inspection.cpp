#include "inspect/inspection.hpp"

#include <algorithm>
#include <cstring>

#include "block/block.hpp"
#include "repair/repair.hpp"
#include "run/conversion.hpp"
#include "run/pipeline.hpp"

namespace bloktar::inspect {
namespace {

// The name on an "Object " line: between its first two double quotes, or, without quotes, the
// rest of the line.
std::string ObjectName(const char* line) {
    std::string_view rest(line + 7);
    rest = rest.substr(0, rest.find('\n'));
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    while (!rest.empty() && (rest.back() == '{' || rest.back() == ' ')) rest.remove_suffix(1);
    return std::string(rest);
}

class ObjectCollector final : public GeometryObserver {
  public:
    explicit ObjectCollector(std::vector<InspectedObject>& objects) : objects_(objects) {}
    void ObjectOpened(const char* line, std::size_t vertexCounter,
                      std::size_t faceCounter) override {
        objects_.push_back({ObjectName(line), vertexCounter, faceCounter});
    }
    void GeometryEnded(std::size_t, std::size_t) override {}

  private:
    std::vector<InspectedObject>& objects_;
};

// The object a stored record belongs to: the last one whose records begin at or before it.
// Objects that stored nothing share their start with the next one and never own a record.
template <std::size_t InspectedObject::*First>
std::size_t ObjectOf(const std::vector<InspectedObject>& objects, std::size_t record) {
    const auto after = std::upper_bound(
        objects.begin(), objects.end(), record,
        [](std::size_t value, const InspectedObject& o) { return value < o.*First; });
    return static_cast<std::size_t>(after - objects.begin()) - 1;
}

void AddOnce(std::vector<std::size_t>& list, std::size_t value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

void ExamineBlock(std::int32_t block, const StoredGeometry& stored,
                  const std::vector<InspectedObject>& objects, BlockFindings& findings) {
    const std::size_t firstVertex = static_cast<std::size_t>(block) * kBlockCorners;
    const std::size_t firstFace = static_cast<std::size_t>(block) * kBlockFaces;

    std::vector<std::size_t> vertexObjects;
    for (std::size_t k = 0; k < kBlockCorners; ++k) {
        if (firstVertex + k >= stored.vertexCount) break;
        ++findings.verticesPresent;
        AddOnce(vertexObjects, ObjectOf<&InspectedObject::firstVertex>(objects, firstVertex + k));
    }
    findings.objects = vertexObjects;
    if (vertexObjects.size() == 1 && findings.verticesPresent == kBlockCorners) {
        findings.localFirstVertex = firstVertex - objects[vertexObjects.front()].firstVertex;
    }

    const auto blockStart = static_cast<std::int64_t>(firstVertex);
    for (std::size_t f = 0; f < kBlockFaces; ++f) {
        const std::size_t index = firstFace + f;
        if (index >= stored.faceCount) break;
        ++findings.facesPresent;
        const MQO_FACE& face = stored.faces[index];
        const std::size_t object = ObjectOf<&InspectedObject::firstFace>(objects, index);
        AddOnce(findings.objects, object);

        FaceReference reference{object, index - objects[object].firstFace, face.n, {}, 0};
        std::memcpy(reference.V, face.V, sizeof face.V);
        reference.listed = std::clamp(face.n, 0, kFaceCornerCount);
        if (f == 0) findings.firstFace = reference;
        if (face.n != kFaceCornerCount) findings.nonQuadrilaterals.push_back(reference);
        // Vertex numbers count within the face's own object.
        const auto objectStart = static_cast<std::int64_t>(objects[object].firstVertex);
        for (int k = 0; k < reference.listed; ++k) {
            const std::int64_t vertex = objectStart + face.V[k];
            if (vertex < blockStart || vertex >= blockStart + kBlockCorners) {
                findings.outsideFaces.push_back(reference);
                break;
            }
        }
    }
    findings.straddles = findings.objects.size() > 1;
}

// The inspector's side of the run: it keeps the objects, the header, every record and what it
// finds in each block, and prints nothing.
class InspectorHooks final : public PipelineHooks {
  public:
    explicit InspectorHooks(DocumentInspection& inspection)
        : inspection_(inspection), collector_(inspection.objects) {}

    GeometryObserver* Objects() override { return &collector_; }
    bool GeometryRead(const StoredGeometry& stored) override {
        stored_ = stored;
        return true;
    }
    bool HeaderBuilt(const Bd1Header& header) override {
        inspection_.header = header;
        inspection_.findings.assign(static_cast<std::size_t>(header.blockCount), BlockFindings{});
        return true;
    }
    void BlockBuilt(const PipelineBlock& block) override {
        BlockFindings& findings = inspection_.findings[static_cast<std::size_t>(block.index)];
        findings.layout = block.layout;
        ExamineBlock(block.index, stored_, inspection_.objects, findings);
        findings.textureOutOfRange = !TexturesInRange(block.record);
    }
    bool RecordsBuilt(std::span<const Bd1Block> records) override {
        inspection_.blocks.assign(records.begin(), records.end());
        return true;
    }

  private:
    DocumentInspection& inspection_;
    ObjectCollector collector_;
    StoredGeometry stored_{};
};

}  // namespace

bool HasProblem(const BlockFindings& findings) {
    return findings.layout == kNoLayout || findings.straddles || findings.textureOutOfRange ||
           findings.verticesPresent < kBlockCorners || findings.facesPresent < kBlockFaces ||
           !findings.outsideFaces.empty() || !findings.nonQuadrilaterals.empty();
}

bool TexturesInRange(const Bd1Block& block) {
    return std::all_of(std::begin(block.texture), std::end(block.texture), TextureInRange);
}

DocumentOutcome InspectDocument(Document& document, Console& console,
                                DocumentInspection& inspection) {
    InspectorHooks hooks(inspection);
    // The face array stops behind the last block's faces: the records before that point, and
    // the objects they belong to, come out exactly as with the whole array.
    PipelineLimits limits;
    limits.facesOfBlocksOnly = true;
    const PipelineResult result = RunDocumentPipeline(document, hooks, limits);
    inspection.summary = result.summary;
    // A refusal is printed with the converter's texts; the header check's label goes first.
    if (result.outcome == PipelineOutcome::HeaderRejected) {
        console.Text(bloktar::text::kHeaderCheck);
    }
    PrintPipelineRefusal(result, console);
    switch (result.outcome) {
        case PipelineOutcome::HeaderRejected:
            return DocumentOutcome::HeaderRejected;
        case PipelineOutcome::BlockCountRefused:
            return DocumentOutcome::BlockCountRefused;
        case PipelineOutcome::MemoryUnavailable:
            return DocumentOutcome::MemoryUnavailable;
        case PipelineOutcome::Completed:
        case PipelineOutcome::Stopped:  // the inspector's hooks never stop the run
            break;
    }
    return DocumentOutcome::Inspected;
}

std::int64_t RepairableBlocks(std::string_view form, std::size_t problemBlocks) {
    repair::Repair repaired;
    if (repair::RepairForm(form, repaired) != repair::RepairOutcome::Repaired) return 0;
    Document document;
    OpenMemoryDocument(document, repaired.document.data(), repaired.document.size());
    MemoryConsole quiet;
    DocumentInspection after;
    if (InspectDocument(document, quiet, after) != DocumentOutcome::Inspected) return 0;
    const auto left = static_cast<std::size_t>(
        std::count_if(after.findings.begin(), after.findings.end(), HasProblem));
    // A block that is gone because what it held was no box is not fixed: at most as many as
    // the boxes rewritten.
    std::int64_t rewritten = 0;
    for (const repair::ObjectRepair& object : repaired.objects) {
        for (const std::int64_t count : object.rewritten) rewritten += count;
    }
    const std::int64_t fewer =
        left < problemBlocks ? static_cast<std::int64_t>(problemBlocks - left) : 0;
    return std::min(fewer, rewritten);
}

}  // namespace bloktar::inspect
