// What the usual-shape scanners of usual_lines.inc share: the line limits, the face they read,
// the corner indices they read and the storing of a face. Used only by the geometry pass; inline,
// because they run once per line.
#pragma once

#include <cstdint>
#include <cstring>

#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"

namespace bloktar::usual_shape {

inline constexpr int kFaceCorners = 4;

// The longest lines the chunk readers take whole; a longer one arrives as several.
inline constexpr int kVertexLineLimit = 128;
inline constexpr int kFaceLineLimit = 256;

// The line that closes a vertex or face chunk.
inline bool IsChunkEnd(const char* line) {
    return line[0] == '\t' && line[1] == '}';
}

// Every scanner reads no further past the terminating zero than a piece and the bytes at the
// read position allow.
static_assert(kLongFloatReadAhead <= kPieceReadAhead);
static_assert(kCompactFloatReadAhead <= kPieceReadAhead);
#ifdef BLOKTAR_USE_SSE2
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
