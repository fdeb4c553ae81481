#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>
#include <new>

#include "mqo/line_shapes.hpp"
#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"
#include "mqo/usual_shape.hpp"

// The line scanners and chunk loops, once for every processor (every_processor) and once for
// wide vectors (wide_lines), in this file's unnamed namespace.
#define BLOKTAR_LINES_WIDE 0
#include "mqo/usual_lines.inc"
#ifdef BLOKTAR_USE_AVX2
#define BLOKTAR_LINES_WIDE 1
#include "mqo/usual_lines.inc"
#endif

namespace bloktar {
namespace {

constexpr int kFaceCorners = usual_shape::kFaceCorners;

// Reads the V(...) list: V[0] at its start, then one index after each space up to the end of
// the line, until n indices (at least two) or four are stored.
void ReadVertexIndices(const char* list, std::int32_t n, MQO_FACE& record) {
    record.V[0] = ParseInt(list);
    int stored = 1;
    for (const char* p = list; *p != '\0'; ++p) {
        if (*p != ' ') continue;
        record.V[stored] = ParseInt(p + 1);
        ++stored;
        if (stored >= n || stored == kFaceCorners) return;
    }
}

// Reads the UV(...) list: u[0] at its start, then after each space the next of v[0], u[1],
// v[1], ... up to the end of the line, until n v values (at least one) or four are stored.
void ReadUvCorners(const char* list, std::int32_t n, MQO_FACE& record) {
    record.u[0] = NarrowToFloat(ParseReal(list));
    int uStored = 1;
    int vStored = 0;
    for (const char* p = list; *p != '\0'; ++p) {
        if (*p != ' ') continue;
        const float value = NarrowToFloat(ParseReal(p + 1));
        if (vStored < uStored) {
            record.v[vStored] = value;
            ++vStored;
            if (vStored >= n || vStored == kFaceCorners) return;
        } else {
            record.u[uStored] = value;
            ++uStored;
        }
    }
}

// What the chunk readers keep from chunk to chunk: on a processor with wide vectors, the vertex
// shapes noted so far.
struct ChunkReading {
    // For arrays of this many records in all.
    ChunkReading(LineScanners scanners, [[maybe_unused]] std::size_t records) {
#ifdef BLOKTAR_USE_AVX2
        // Taking and clearing the shapes' 1.9 MB costs about what wide vectors save on 8,000
        // lines. Without room for the shapes, the scanners for every processor read the same.
        constexpr std::size_t kWideFrom = 8192;
        const bool wanted = scanners == LineScanners::WideVectors ||
                            (scanners == LineScanners::Fastest && records >= kWideFrom);
        if (wanted && ProcessorHasWideVectors()) {
            shapes.reset(new (std::nothrow) line_shapes::LineShapes);
            wide = shapes != nullptr && shapes->Obtained();
        }
#else
        (void)scanners;
#endif
    }
#ifdef BLOKTAR_USE_AVX2
    bool wide = false;
    std::unique_ptr<line_shapes::LineShapes> shapes;
#endif
};

void ReadVertexChunk(Document& document, std::span<MQO_VERTEX> vertices, std::size_t& counter,
                     [[maybe_unused]] ChunkReading& reading) {
#ifdef BLOKTAR_USE_AVX2
    if (reading.wide) {
        return wide_lines::ReadVertexLines(document, vertices, counter, *reading.shapes);
    }
#endif
    every_processor::LineMemory nothing;
    every_processor::ReadVertexLines(document, vertices, counter, nothing);
}

void ReadFaceChunk(Document& document, std::span<MQO_FACE> faces, std::size_t& counter,
                   [[maybe_unused]] ChunkReading& reading) {
#ifdef BLOKTAR_USE_AVX2
    if (reading.wide) return wide_lines::ReadFaceLines(document, faces, counter, *reading.shapes);
#endif
    every_processor::LineMemory nothing;
    every_processor::ReadFaceLines(document, faces, counter, nothing);
}

// Reads the lines of one object up to its closing line; false when the document ended first.
bool ReadObject(Document& document, std::span<MQO_VERTEX> vertices, std::span<MQO_FACE> faces,
                std::size_t& vertexCounter, std::size_t& faceCounter, ChunkReading& reading) {
    std::size_t length;
    while (const char* line = NextDocumentPiece(document, kObjectLineLimit, length)) {
        if (line[0] == '}') return true;
        // A hidden object's remaining lines are skipped at the object level.
        if (BeginsWith(line, "\tvisible ") && ParseInt(line + 9) == 0) return true;
        if (BeginsWith(line, "\tvertex ")) {
            ReadVertexChunk(document, vertices, vertexCounter, reading);
        } else if (BeginsWith(line, "\tface ")) {
            ReadFaceChunk(document, faces, faceCounter, reading);
        }
    }
    return false;
}

// True when every byte of the records is zero.
template <typename Record>
[[maybe_unused]] bool ZeroFilled(std::span<const Record> records) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(records.data());
    return std::all_of(bytes, bytes + records.size_bytes(), [](unsigned char b) { return b == 0; });
}

}  // namespace

bool WideLineScannersRunHere() {
#ifdef BLOKTAR_USE_AVX2
    return ProcessorHasWideVectors();
#else
    return false;
#endif
}

bool ReadVertexLine(const char* line, MQO_VERTEX& record) {
    int stored = 0;
    const char* p = line;
    while (*p != '\0') {
        // A separator is a space, or the first of two tabs in a row.
        if (*p == ' ' || (*p == '\t' && p[1] == '\t')) {
            double value;
            const char* end = ScanReal(p + 1, value);
            const float narrowed = NarrowToFloat(value);
            if (stored == 0) {
                record.x = -narrowed;
            } else if (stored == 1) {
                record.y = narrowed;
            } else {
                record.z = narrowed;
                return true;
            }
            ++stored;
            // A number that starts right after the separator holds no further separator.
            if (!IsDocumentSpace(p[1])) {
                p = end > p + 1 ? end : p + 1;
                continue;
            }
        }
        ++p;
    }
    return false;
}

void ReadFaceLine(const char* line, MQO_FACE& record) {
    // The corner count stands after the two indenting characters, whatever they are.
    record.n = (line[0] != '\0' && line[1] != '\0') ? ParseInt(line + 2) : 0;
    if (const char* list = std::strstr(line, " V(")) ReadVertexIndices(list + 3, record.n, record);
    record.Dif[0] = record.V[0] % 8;
    for (int k = 1; k < kFaceCorners; ++k) {
        record.Dif[k] = WrappingSubtract(record.V[k], record.V[k - 1]);
    }
    if (const char* material = std::strstr(line, " M(")) record.M = ParseInt(material + 3);
    if (const char* list = std::strstr(line, " UV(")) ReadUvCorners(list + 4, record.n, record);
}

void ReadVertexChunk(Document& document, std::span<MQO_VERTEX> vertices, std::size_t& counter) {
    ChunkReading reading(LineScanners::Fastest, vertices.size());
    ReadVertexChunk(document, vertices, counter, reading);
}

void ReadFaceChunk(Document& document, std::span<MQO_FACE> faces, std::size_t& counter) {
    ChunkReading reading(LineScanners::Fastest, faces.size());
    ReadFaceChunk(document, faces, counter, reading);
}

struct ChunkReader::Reading {
    ChunkReading reading;
    bool vertexShapesWritten = false;
};

// Records 0: the scanners as asked, whatever the arrays.
ChunkReader::ChunkReader(LineScanners scanners)
    : reading_(std::make_unique<Reading>(Reading{ChunkReading(scanners, 0)})) {
#ifdef BLOKTAR_USE_AVX2
    // The shapes' tables come as pages the system fills with zeros when first touched. Read
    // first and written later, a page is copied on the write, and in a process of several
    // threads every processor is told; written now, each is filled once. The vertex shapes'
    // table, the largest, is written when the first vertex chunk comes: a reader of faces alone
    // never takes its room.
    if (reading_->reading.wide) {
        line_shapes::LineShapes& shapes = *reading_->reading.shapes;
        std::memset(shapes.faceSlots.get(), 0,
                    sizeof(line_shapes::FaceStartShape) << line_shapes::kFaceShapeSlotsLog2);
        std::memset(shapes.cornerSlots.get(), 0,
                    sizeof(line_shapes::CornerShape) << line_shapes::kCornerShapeSlotsLog2);
    }
#endif
}
ChunkReader::~ChunkReader() = default;

void ChunkReader::ReadVertices(Document& document, std::span<MQO_VERTEX> vertices,
                               std::size_t& counter) {
#ifdef BLOKTAR_USE_AVX2
    if (reading_->reading.wide && !reading_->vertexShapesWritten) {
        std::memset(reading_->reading.shapes->slots.get(), 0,
                    sizeof(line_shapes::VertexShape) << line_shapes::kShapeSlotsLog2);
        reading_->vertexShapesWritten = true;
    }
#endif
    ReadVertexChunk(document, vertices, counter, reading_->reading);
}

void ChunkReader::ReadFaces(Document& document, std::span<MQO_FACE> faces, std::size_t& counter) {
    ReadFaceChunk(document, faces, counter, reading_->reading);
}

void ReadObjectGeometry(Document& document, std::span<MQO_VERTEX> vertices,
                        std::span<MQO_FACE> faces, GeometryObserver* observer,
                        LineScanners scanners) {
    assert(ZeroFilled<MQO_VERTEX>(vertices) && ZeroFilled<MQO_FACE>(faces));
    std::size_t vertexCounter = 0;
    std::size_t faceCounter = 0;
    ChunkReading reading(scanners, vertices.size() + faces.size());
    RewindDocument(document);
    std::size_t length;
    while (const char* line = NextDocumentPiece(document, kObjectLineLimit, length)) {
        if (BeginsWith(line, "Eof")) break;
        if (!BeginsWith(line, "Object ")) continue;
        if (observer != nullptr) observer->ObjectOpened(line, vertexCounter, faceCounter);
        if (!ReadObject(document, vertices, faces, vertexCounter, faceCounter, reading)) break;
    }
    if (observer != nullptr) observer->GeometryEnded(vertexCounter, faceCounter);
}

}  // namespace bloktar
