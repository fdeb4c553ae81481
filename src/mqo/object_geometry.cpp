#include <cstring>

#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"

namespace bloktar {
namespace {

constexpr int kObjectLineLimit = 128;
constexpr int kVertexLineLimit = 128;
constexpr int kFaceLineLimit = 256;
constexpr int kFaceCorners = 4;

bool IsChunkEnd(const char* line) {
    return line[0] == '\t' && line[1] == '}';
}

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

// Reads the digits at text, which starts with one, wrapping like ScanInt.
const char* ReadDigits(const char* text, std::int32_t& value) {
    std::uint32_t magnitude = 0;
    const char* p = text;
    for (; IsDigit(*p); ++p) magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
    value = static_cast<std::int32_t>(magnitude);
    return p;
}

// Reads the number that must start right at text, behind a separator, from text that may be
// read ahead: null when white space stands there, or no number.
const char* ScanNumberAt(const char* text, float& value) {
    if (const char* end = ScanShortFloatInPiece(text, value)) return end;
    if (IsDocumentSpace(*text)) return nullptr;
    const char* end = ScanFloatInPiece(text, value);
    return end != text ? end : nullptr;
}

// Reads a vertex line of the usual shape, two tabs and three numbers each followed by one space
// but the last, none starting with white space, exactly as ReadVertexLine does, from text that
// may be read ahead. Returns the position behind the third number, or null, storing nothing,
// for a line of any other shape. The text up to that position holds no white space but the
// two tabs and the two spaces.
const char* ScanUsualVertexLine(const char* line, MQO_VERTEX& record) {
    if (line[0] != '\t' || line[1] != '\t') return nullptr;
    float x, y, z;
    const char* p = ScanNumberAt(line + 2, x);
    if (p == nullptr || *p != ' ') return nullptr;
    const char* q = ScanNumberAt(p + 1, y);
    if (q == nullptr || *q != ' ') return nullptr;
    const char* end = ScanNumberAt(q + 1, z);
    if (end == nullptr) return nullptr;
    record.x = -x;
    record.y = y;
    record.z = z;
    return end;
}

// What a face line of the usual shape holds; indices and pairs are how many V entries and UV
// corners ReadFaceLine takes from it.
struct UsualFace {
    std::int32_t n;
    int indices;
    int pairs;
    std::int32_t V[kFaceCorners];
    std::int32_t M;
    float u[kFaceCorners];
    float v[kFaceCorners];
};

// Reads a face line of the usual shape exactly as ReadFaceLine does, from text that may be read
// ahead: two tabs, the corner count, " V(" and the indices that the V scan takes, each behind one
// space, ") M(" and the material, ") UV(" and the numbers that the UV scan takes, each behind
// one space, the integers written as digits alone, no number starting with white space. In such
// a line the first " V(", " M(" and " UV(" stand where the shape puts them. Returns the position
// behind the last number read, or null for a line of any other shape. The text up to that
// position holds no white space but the two tabs and single spaces.
const char* ScanUsualFaceLine(const char* line, UsualFace& face) {
    if (line[0] != '\t' || line[1] != '\t' || !IsDigit(line[2])) return nullptr;
    const char* p = ReadDigits(line + 2, face.n);
    if (!BeginsWith(p, " V(") || !IsDigit(p[3])) return nullptr;
    const std::int32_t n = face.n;
    face.indices = n < 2 ? 2 : n > kFaceCorners ? kFaceCorners : n;
    p = ReadDigits(p + 3, face.V[0]);
    for (int k = 1; k < face.indices; ++k) {
        if (p[0] != ' ' || !IsDigit(p[1])) return nullptr;
        p = ReadDigits(p + 1, face.V[k]);
    }
    if (!BeginsWith(p, ") M(") || !IsDigit(p[4])) return nullptr;
    p = ReadDigits(p + 4, face.M);
    if (!BeginsWith(p, ") UV(")) return nullptr;
    p += 5;
    face.pairs = n < 1 ? 1 : n > kFaceCorners ? kFaceCorners : n;
    for (int k = 0; k < face.pairs; ++k) {
        if (k > 0) {
            if (*p != ' ') return nullptr;
            ++p;
        }
#ifdef BLOKTAR_SSE2
        // Both numbers as UV coordinates are mostly written, at once.
        if (ScanFivePlacePair(p, face.u[k], face.v[k]) && !IsDigit(p[15]) && p[15] != 'e' &&
            p[15] != 'E') {
            p += 15;
            continue;
        }
#endif
        const char* end = ScanNumberAt(p, face.u[k]);
        if (end == nullptr || *end != ' ') return nullptr;
        p = ScanNumberAt(end + 1, face.v[k]);
        if (p == nullptr) return nullptr;
    }
    return p;
}

// Stores what ScanUsualFaceLine read as ReadFaceLine stores it: at least two indices and one UV
// corner, at most four of each.
void StoreUsualFace(const UsualFace& face, MQO_FACE& record) {
    record.n = face.n;
    if (face.indices == kFaceCorners && face.pairs == kFaceCorners) {
        // A quadrilateral, the usual face, sets every field.
        std::memcpy(record.V, face.V, sizeof record.V);
        std::memcpy(record.u, face.u, sizeof record.u);
        std::memcpy(record.v, face.v, sizeof record.v);
    } else {
        for (int k = 0; k < face.indices; ++k) record.V[k] = face.V[k];
        for (int k = 0; k < face.pairs; ++k) {
            record.u[k] = face.u[k];
            record.v[k] = face.v[k];
        }
    }
    record.Dif[0] = record.V[0] % 8;
    for (int k = 1; k < kFaceCorners; ++k) {
        record.Dif[k] = WrappingSubtract(record.V[k], record.V[k - 1]);
    }
    record.M = face.M;
}

// Reads the lines of one object up to its closing line; false when the document ended first.
bool ReadObject(Document& document, std::span<MQO_VERTEX> vertices, std::span<MQO_FACE> faces,
                std::size_t& vertexCounter, std::size_t& faceCounter) {
    std::size_t length;
    while (const char* line = NextDocumentPiece(document, kObjectLineLimit, length)) {
        if (line[0] == '}') return true;
        // A hidden object's remaining lines are skipped at the object level.
        if (BeginsWith(line, "\tvisible ") && ParseInt(line + 9) == 0) return true;
        if (BeginsWith(line, "\tvertex ")) {
            ReadVertexChunk(document, vertices, vertexCounter);
        } else if (BeginsWith(line, "\tface ")) {
            ReadFaceChunk(document, faces, faceCounter);
        }
    }
    return false;
}

}  // namespace

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
    for (;;) {
        // A line of the usual shape is read where it stands, before its end is looked for.
        if (counter < vertices.size()) {
            MQO_VERTEX read;
            const char* stop = ScanUsualVertexLine(PeekDocument(document), read);
            if (stop != nullptr && TakeLineEndingAt(document, stop, kVertexLineLimit)) {
                vertices[counter++] = read;
                continue;
            }
        }
        std::size_t length;
        const char* line = NextDocumentPiece(document, kVertexLineLimit, length);
        if (line == nullptr || IsChunkEnd(line)) return;
        // Records past the array's end are not stored.
        if (counter < vertices.size() && (ScanUsualVertexLine(line, vertices[counter]) != nullptr ||
                                          ReadVertexLine(line, vertices[counter]))) {
            ++counter;
        }
    }
}

void ReadFaceChunk(Document& document, std::span<MQO_FACE> faces, std::size_t& counter) {
    UsualFace face;
    for (;;) {
        // A line of the usual shape is read where it stands, before its end is looked for.
        if (counter < faces.size()) {
            const char* stop = ScanUsualFaceLine(PeekDocument(document), face);
            if (stop != nullptr && *stop == ')' &&
                TakeLineEndingAt(document, stop + 1, kFaceLineLimit)) {
                StoreUsualFace(face, faces[counter++]);
                continue;
            }
        }
        std::size_t length;
        const char* line = NextDocumentPiece(document, kFaceLineLimit, length);
        if (line == nullptr || IsChunkEnd(line)) return;
        if (counter < faces.size()) {
            if (ScanUsualFaceLine(line, face) != nullptr) {
                StoreUsualFace(face, faces[counter]);
            } else {
                ReadFaceLine(line, faces[counter]);
            }
            ++counter;
        }
    }
}

void ReadObjectGeometry(Document& document, std::span<MQO_VERTEX> vertices,
                        std::span<MQO_FACE> faces, GeometryObserver* observer) {
    std::size_t vertexCounter = 0;
    std::size_t faceCounter = 0;
    RewindDocument(document);
    std::size_t length;
    while (const char* line = NextDocumentPiece(document, kObjectLineLimit, length)) {
        if (BeginsWith(line, "Eof")) break;
        if (!BeginsWith(line, "Object ")) continue;
        if (observer != nullptr) observer->ObjectOpened(line, vertexCounter, faceCounter);
        if (!ReadObject(document, vertices, faces, vertexCounter, faceCounter)) break;
    }
    if (observer != nullptr) observer->GeometryEnded(vertexCounter, faceCounter);
}

}  // namespace bloktar
