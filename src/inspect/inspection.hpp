// What the inspector learns about a model: from a document, by running the converter's own reader
// and block builder and looking at every block on the way; or from a BD1 file, by reading its
// records back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bd1/bd1.hpp"
#include "bd1/bd1_reader.hpp"
#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "run/console.hpp"

namespace bloktar::inspect {

inline constexpr int kNoLayout = -1;

// One object of the document, as the geometry pass met it. Its records are the vertices from
// firstVertex and the faces from firstFace up to where the next object's begin.
struct InspectedObject {
    std::string name;  // the name between the quotes of its "Object " line, bytes as written
    std::size_t firstVertex;
    std::size_t firstFace;
};

// A face of a block as the document numbers it: the number of its line within its object's face
// chunk, and the vertex numbers (within the object) that its line gives.
struct FaceReference {
    std::size_t object;  // index into the inspection's objects
    std::size_t number;
    std::int32_t n;
    std::int32_t V[4];
    int listed;  // how many of V the face has: n, at most 4 (none when n < 1)
};

// Everything found out about one block of a document.
struct BlockFindings {
    int layout = kNoLayout;            // 0 to 3 as recognised, or kNoLayout
    std::vector<std::size_t> objects;  // objects of its vertices, then of its faces, each once
    int verticesPresent = 0;           // of its eight vertices, those the document holds
    int facesPresent = 0;              // of its six faces, those the document holds
    bool straddles = false;            // its vertices and faces come from more than one object
    bool textureOutOfRange = false;    // a face slot's texture names none of the ten slots
    std::optional<FaceReference> firstFace;
    std::vector<FaceReference> outsideFaces;       // faces naming vertices of other blocks
    std::vector<FaceReference> nonQuadrilaterals;  // faces with n other than 4
    // The block's first vertex number within its object, when all eight lie in one object.
    std::optional<std::size_t> localFirstVertex;
};

bool HasProblem(const BlockFindings& findings);

// True when texture names one of the ten texture-name slots.
inline bool TextureInRange(std::int32_t texture) {
    return texture >= 0 && texture < kTextureSlots;
}
bool TexturesInRange(const Bd1Block& block);

struct DocumentInspection {
    MqoSummary summary{};
    Bd1Header header{};            // as the converter builds it
    std::vector<Bd1Block> blocks;  // the records the converter writes, in order
    std::vector<InspectedObject> objects;
    std::vector<BlockFindings> findings;  // one per block
    // Of the blocks with a problem, how many bloktar-repair would fix; -1 when not worked out.
    std::int64_t repairable = -1;
};

enum class DocumentOutcome {
    Inspected,
    HeaderRejected,     // the header check failed; its messages have been printed
    BlockCountRefused,  // the converter would refuse the block count; printed
    MemoryUnavailable,  // an array could not be obtained; printed
};

// Runs the converter's pipeline (header check, survey, texture-name pass, geometry pass and
// block builder) on a document just opened, and examines every block as it is built. Prints only
// when the document is refused, with the converter's own texts.
DocumentOutcome InspectDocument(Document& document, Console& console,
                                DocumentInspection& inspection);

// Of the problemBlocks blocks with a problem in the document whose Ver 1.0 form is form, how
// many bloktar-repair would fix: by how many fewer the document it writes has, but no more than
// the boxes it rewrites (none when it writes nothing).
std::int64_t RepairableBlocks(std::string_view form, std::size_t problemBlocks);

}  // namespace bloktar::inspect
