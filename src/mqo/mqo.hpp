// The document's records and the passes that fill them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "mqo/document.hpp"

namespace bloktar {

// One vertex of a visible object; x is mirrored (negated) on reading.
struct MQO_VERTEX {
    float x;
    float y;
    float z;
};
static_assert(sizeof(MQO_VERTEX) == 12);

// One face of a visible object, as read from its face line.
struct MQO_FACE {
    std::int32_t n;       // number of corners
    std::int32_t V[4];    // vertex indices, local to the face's object
    std::int32_t Dif[4];  // V[0] % 8, then the steps V[k] - V[k-1]
    std::int32_t M;       // material index
    float u[4];
    float v[4];
};
static_assert(sizeof(MQO_FACE) == 72);
static_assert(offsetof(MQO_FACE, V) == 4 && offsetof(MQO_FACE, Dif) == 20);
static_assert(offsetof(MQO_FACE, M) == 36 && offsetof(MQO_FACE, u) == 40);
static_assert(offsetof(MQO_FACE, v) == 56);

// The counts the survey gathers.
struct MqoSummary {
    std::int32_t materialCount;        // the material header's number, at most 10
    std::int32_t objectCount;          // objects, hidden ones included
    std::int32_t vertexTotal;          // vertices declared by visible objects
    std::int32_t faceTotal;            // faces declared by visible objects
    std::int32_t estimatedBlockCount;  // vertexTotal / 8
};
static_assert(sizeof(MqoSummary) == 20);

inline constexpr int kTextureSlots = 10;
inline constexpr int kTextureSlotSize = 31;  // 30 name bytes and a terminating zero

// Texture file names of the first ten materials, zero-terminated, zero-padded.
struct TextureNameTable {
    char names[kTextureSlots][kTextureSlotSize];
};
static_assert(sizeof(TextureNameTable) == 310);

// Counts materials, objects, and the vertices and faces of visible objects, from the document's
// third line on (the header check has read the first two).
void SurveyDocument(Document& document, MqoSummary& summary);

// Where the lines a survey read ended it.
enum class SurveyEnd : std::uint8_t {
    BetweenObjects,  // the document's end came between objects
    InsideObject,    // the document's end came inside an object
    Eof,             // an "Eof" line between objects: nothing behind it counts
};

// The survey's reading of the lines from where the document stands, which must be between
// objects: adds to summary what SurveyDocument adds (all but estimatedBlockCount) and tells how
// it ended. A document cut after a newline between objects is surveyed in its pieces alike.
SurveyEnd SurveyLines(Document& document, MqoSummary& summary);

// Rewinds and stores the texture name of each of the first min(materialCount, 10) materials.
void ReadMaterialTextures(Document& document, TextureNameTable& table, std::int32_t materialCount);

// Told by the geometry pass where each object's records begin, for a reader that needs to know
// which object a vertex or face came from. The converter passes none.
class GeometryObserver {
  public:
    virtual ~GeometryObserver() = default;
    // An "Object " line (as read, at most 127 bytes) has opened an object whose first vertex and
    // face records, if it has any, will be stored at these counters.
    virtual void ObjectOpened(const char* objectLine, std::size_t vertexCounter,
                              std::size_t faceCounter) = 0;
    // The pass has ended; the counters are the numbers of records stored.
    virtual void GeometryEnded(std::size_t vertexCounter, std::size_t faceCounter) = 0;
};

// Rewinds and loads the vertices and faces of the visible objects in document order. Records
// beyond the arrays' ends are not stored. Both arrays must be zero-filled: a face line that
// says nothing of a field (a triangle's fourth corner, a missing M(...) or UV(...)) leaves it as
// it was, and a debug build asserts that it was zero.
// Which line scanners the geometry pass takes: the fastest for the document and the processor
// (those for wide vectors where the processor has them and the arrays hold more than a few
// thousand records, which pay for the tables they take); those for wide vectors wherever the
// processor has them; or those for every processor. The tests compare the last two. All of them
// read every line alike.
enum class LineScanners { Fastest, WideVectors, EveryProcessor };

// True when this build has the scanners for wide vectors (AVX2, see simd.hpp) and the running
// processor has what they need; otherwise LineScanners::WideVectors reads as EveryProcessor.
bool WideLineScannersRunHere();

// The object reader's limit: it takes lines outside the chunks (and their count lines) as pieces
// of at most 127 characters.
inline constexpr int kObjectLineLimit = 128;

void ReadObjectGeometry(Document& document, std::span<MQO_VERTEX> vertices,
                        std::span<MQO_FACE> faces, GeometryObserver* observer = nullptr,
                        LineScanners scanners = LineScanners::Fastest);

// Reads one vertex chunk, the document standing right after its "\tvertex " line; counter is
// the index of the next record and advances with every complete vertex line.
void ReadVertexChunk(Document& document, std::span<MQO_VERTEX> vertices, std::size_t& counter);

// Reads one face chunk, the document standing right after its "\tface " line; every line up to
// the closing one makes a record at counter, which advances.
void ReadFaceChunk(Document& document, std::span<MQO_FACE> faces, std::size_t& counter);

// Reads chunk after chunk as ReadVertexChunk and ReadFaceChunk do, with scanners chosen once for
// all of them: with wide vectors, what the scanners note of the lines' shapes (tables of about
// 2 MB) stays from one chunk to the next.
class ChunkReader {
  public:
    explicit ChunkReader(LineScanners scanners);
    ~ChunkReader();
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    void ReadVertices(Document& document, std::span<MQO_VERTEX> vertices, std::size_t& counter);
    void ReadFaces(Document& document, std::span<MQO_FACE> faces, std::size_t& counter);

  private:
    struct Reading;
    std::unique_ptr<Reading> reading_;
};

// Takes one vertex line apart into record; returns true when it held all three numbers.
bool ReadVertexLine(const char* line, MQO_VERTEX& record);

// Takes one face line apart into record, which holds zeros where the line says nothing.
void ReadFaceLine(const char* line, MQO_FACE& record);

}  // namespace bloktar
