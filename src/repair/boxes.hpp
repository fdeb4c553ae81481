// Finding the boxes among an object's faces, wherever and in whatever order they stand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "mqo/mqo.hpp"

namespace bloktar::repair {

// One face of an object as the finder sees it.
struct FaceCorners {
    std::int32_t n = 0;    // 3 or 4 when usable
    std::int32_t v[4]{};   // its vertices (within the object), as listed
    bool usable = false;   // a triangle or quadrilateral over distinct vertices of the object
    std::uint32_t u[4]{};  // the bits of its UV corners
    std::uint32_t w[4]{};  //
    std::int32_t material = 0;
    std::uint8_t kind = 0;  // which of M(...) and UV(...) its line has: faces differing in it
                            // never make one side
};

// Where a UV corner of a face slot comes from: a face of the object and one of its corners.
struct CornerSource {
    std::int32_t face;
    std::int32_t corner;
};

// A box in the order the BD1 record holds it: corner k is vertex corner[k] of the object, UV
// corner j of face slot f is the UV that face source[f][j].face gives its corner
// source[f][j].corner, which stands on vertex corner[kBd1FaceCorners[f][j]].
struct FoundBox {
    std::int32_t corner[8];
    CornerSource source[6][4];
    std::int32_t firstFace;  // the first of its faces in the document
    bool triangles;          // some side came as two triangles
};

// A position, for telling which two triangles make a side.
struct Point {
    float x, y, z;
};

// Memory a finder keeps from one object to the next, so that each search reuses what the one
// before obtained instead of asking the system for fresh pages.
class BoxFinderRoom {
  public:
    BoxFinderRoom();
    ~BoxFinderRoom();
    BoxFinderRoom(const BoxFinderRoom&) = delete;
    BoxFinderRoom& operator=(const BoxFinderRoom&) = delete;

    struct Parts;
    Parts& parts() { return *parts_; }

  private:
    std::unique_ptr<Parts> parts_;
};

// Finds every box: six sides (quadrilaterals, or pairs of triangles that share an edge and
// agree on it) over eight distinct vertices, every edge of them shared by exactly two, wound
// alike. Boxes come in the order of their first face; each face belongs to one box at most; used
// says which faces boxes took. The box's first face (for a pair, the cycle from the first
// triangle's first corner) lists corners 3, 2, 1, 0.
void FindBoxes(std::span<const FaceCorners> faces, std::span<const Point> vertices,
               std::vector<FoundBox>& boxes, std::vector<std::uint8_t>& used, BoxFinderRoom& room);

}  // namespace bloktar::repair
