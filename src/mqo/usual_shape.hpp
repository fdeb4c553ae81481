// The usual-shape scanners: each reads a vertex or face line of the shape the modeller writes,
// from the bytes where they stand (a piece, or the document's bytes at the read position, read
// ahead past their terminating zero), exactly as the general readers of object_geometry.cpp read
// such a line, and gives up, storing nothing, on a line of any other shape. Used only by the
// geometry pass; inline, because they run once per line.
#pragma once

#include <cstdint>
#include <cstring>

#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"

namespace bloktar::usual_shape {

inline constexpr int kFaceCorners = 4;

// Every scanner reads no further past the terminating zero than a piece and the bytes at the
// read position allow.
static_assert(kShortFloatReadAhead <= kPieceReadAhead);
static_assert(kLongFloatReadAhead <= kPieceReadAhead);
#ifdef BLOKTAR_SSE2
static_assert(kFivePlacePairReadAhead <= kPieceReadAhead);
#endif

// Reads the digits at text, which starts with one, wrapping like ScanInt.
inline const char* ReadDigits(const char* text, std::int32_t& value) {
    std::uint32_t magnitude = 0;
    const char* p = text;
    for (; IsDigit(*p); ++p) magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
    value = static_cast<std::int32_t>(magnitude);
    return p;
}

// Reads the number that must start right at text, behind a separator, from text that may be
// read ahead: null when white space stands there, or no number.
inline const char* ScanNumberAt(const char* text, float& value) {
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
inline const char* ScanUsualVertexLine(const char* line, MQO_VERTEX& record) {
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
inline const char* ScanUsualFaceLine(const char* line, UsualFace& face) {
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
inline void StoreUsualFace(const UsualFace& face, MQO_FACE& record) {
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

}  // namespace bloktar::usual_shape
