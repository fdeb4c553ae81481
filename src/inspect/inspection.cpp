#include "inspect/inspection.hpp"

#include <algorithm>
#include <cstring>

#include "block/block.hpp"
#include "mqo/header_check.hpp"

namespace bloktar::inspect {
namespace {

// Keeps what is printed so that it can be shown later, or not at all.
class RecordingConsole final : public Console {
  public:
    void Text(const ConsoleText& text) override { entries_.push_back({true, text, {}}); }
    void Bytes(std::string_view bytes) override {
        entries_.push_back({false, {}, std::string(bytes)});
    }
    void ReplayTo(Console& console) const {
        for (const Entry& entry : entries_) {
            if (entry.isText) {
                console.Text(entry.text);
            } else {
                console.Bytes(entry.bytes);
            }
        }
    }

  private:
    struct Entry {
        bool isText;
        ConsoleText text;  // the program's texts live as long as the program
        std::string bytes;
    };
    std::vector<Entry> entries_;
};

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
    void GeometryEnded(std::size_t vertexCounter, std::size_t faceCounter) override {
        vertexCount = vertexCounter;
        faceCount = faceCounter;
    }

    std::size_t vertexCount = 0;  // vertex records the pass stored
    std::size_t faceCount = 0;    // face records the pass stored

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

struct StoredRecords {
    std::span<const MQO_FACE> faces;
    std::size_t vertexCount;
    std::size_t faceCount;
};

void ExamineBlock(std::int32_t block, const StoredRecords& stored,
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
    // The header check prints only when it fails; its label goes first then.
    RecordingConsole headerMessages;
    if (!CheckDocumentHeader(document, headerMessages)) {
        console.Text(bloktar::text::kHeaderCheck);
        headerMessages.ReplayTo(console);
        return DocumentOutcome::HeaderRejected;
    }

    MqoSummary& summary = inspection.summary;
    SurveyDocument(document, summary);
    const std::int32_t blockCount = summary.estimatedBlockCount;
    if (blockCount < 0 || blockCount > kBd1MaxBlocks) {
        console.Text(bloktar::text::kBlockCountCheck);
        console.Text(bloktar::text::kFailed);
        return DocumentOutcome::BlockCountRefused;
    }

    // The vertex array is the converter's, so the vertex counters the objects report are the
    // converter's too. The face array stops behind the last block's faces: the records before
    // that point, and the objects they belong to, come out exactly as with the whole array.
    const auto blocks = static_cast<std::size_t>(blockCount);
    std::vector<MQO_VERTEX> vertices(static_cast<std::size_t>(std::max(summary.vertexTotal, 0)));
    std::vector<MQO_FACE> faces(
        std::min(static_cast<std::size_t>(std::max(summary.faceTotal, 0)), blocks * kBlockFaces));

    TextureNameTable textures{};
    ReadMaterialTextures(document, textures, summary.materialCount);
    ObjectCollector collector(inspection.objects);
    ReadObjectGeometry(document, vertices, faces, &collector);
    BuildBd1Header(inspection.header, textures, blockCount);

    const StoredRecords stored{faces, collector.vertexCount, collector.faceCount};
    inspection.blocks.assign(blocks, Bd1Block{});
    inspection.findings.assign(blocks, BlockFindings{});
    BlockCorners corners{};
    BlockFaces blockFaces{};
    BlockPattern pattern{};
    for (std::int32_t i = 0; i < blockCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        GatherBlockFaces(blockFaces, pattern, faces, i);
        GatherBlockCorners(corners, vertices, i);
        BlockFindings& findings = inspection.findings[at];
        findings.layout = RecogniseBlockLayout(pattern);
        NormaliseBlockLayout(corners, pattern, blockFaces);
        FillBd1Block(corners, blockFaces, inspection.blocks[at]);
        ExamineBlock(i, stored, inspection.objects, findings);
        findings.textureOutOfRange = !TexturesInRange(inspection.blocks[at]);
    }
    return DocumentOutcome::Inspected;
}

}  // namespace bloktar::inspect
