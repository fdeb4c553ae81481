#include "repair/boxes.hpp"

#include <algorithm>
#include <cmath>

#include "bd1/bd1.hpp"

namespace bloktar::repair {
namespace {

// A side candidate: a quadrilateral face, or two triangles joined along the edge they share.
struct Side {
    std::int32_t face[2];  // face[1] is -1 for a quadrilateral
    std::int32_t v[4];     // its corners' vertices, in the cycle the document winds
    CornerSource source[4];
    float preference;  // lower first: quadrilaterals, then the flattest pairs
};

// A directed edge of a side: from v[position] to v[position + 1].
struct EdgeEntry {
    std::uint64_t key;
    float preference;
    std::int32_t side;
    std::int32_t position;
};

std::uint64_t EdgeKey(std::int32_t from, std::int32_t to) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(from)) << 32 |
           static_cast<std::uint32_t>(to);
}

bool Before(const EdgeEntry& a, const EdgeEntry& b) {
    if (a.key != b.key) return a.key < b.key;
    if (a.preference != b.preference) return a.preference < b.preference;
    return a.side < b.side;
}

// Directed edges grouped by the vertex they start from (a counting sort: the vertices are the
// object's own); a group holds a handful. The edges of one key come in the order of Before.
class EdgeIndex {
  public:
    using Range = std::pair<const EdgeEntry*, const EdgeEntry*>;

    void Build(const std::vector<EdgeEntry>& all, std::size_t vertexCount) {
        start_.assign(vertexCount + 1, 0);
        for (const EdgeEntry& edge : all) ++start_[(edge.key >> 32) + 1];
        for (std::size_t v = 0; v < vertexCount; ++v) start_[v + 1] += start_[v];
        entries_.resize(all.size());
        std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
        // In each group as they come: in the order of their sides, all of one preference.
        for (const EdgeEntry& edge : all) entries_[next[edge.key >> 32]++] = edge;
    }

    // The four edges of each side: from v[position] to v[position + 1]. They come in the order
    // of their sides; where the sides' preferences differ, the groups are sorted.
    void Build(const std::vector<Side>& sides, std::size_t vertexCount, bool preferencesDiffer) {
        start_.assign(vertexCount + 1, 0);
        for (const Side& side : sides) {
            for (const std::int32_t v : side.v) ++start_[static_cast<std::size_t>(v) + 1];
        }
        for (std::size_t v = 0; v < vertexCount; ++v) start_[v + 1] += start_[v];
        entries_.resize(4 * sides.size());
        next_.assign(start_.begin(), start_.end() - 1);
        for (std::size_t s = 0; s < sides.size(); ++s) {
            const Side& side = sides[s];
            for (std::int32_t p = 0; p < 4; ++p) {
                const auto from = static_cast<std::size_t>(side.v[p]);
                entries_[next_[from]++] = {EdgeKey(side.v[p], side.v[(p + 1) % 4]), side.preference,
                                           static_cast<std::int32_t>(s), p};
            }
        }
        if (preferencesDiffer) SortGroups(vertexCount);
    }

    // A group mostly holds a handful, sorted by insertion; a larger one by std::sort. Its
    // entries all differ in key or side, so both give the one order, whatever the order they
    // came in.
    void SortGroups(std::size_t vertexCount) {
        for (std::size_t v = 0; v < vertexCount; ++v) {
            EdgeEntry* const first = entries_.data() + start_[v];
            EdgeEntry* const last = entries_.data() + start_[v + 1];
            if (last - first > 16) {
                std::sort(first, last, Before);
                continue;
            }
            for (EdgeEntry* at = first; at != last; ++at) {
                const EdgeEntry entry = *at;
                EdgeEntry* hole = at;
                for (; hole != first && Before(entry, hole[-1]); --hole) *hole = hole[-1];
                *hole = entry;
            }
        }
    }

    // The group that holds the entries of key's edge (from, to; both vertices of the object):
    // those of its entries whose key it is, in their order.
    Range Group(std::uint64_t key) const {
        const auto from = static_cast<std::size_t>(key >> 32);
        if (from + 1 >= start_.size()) return {nullptr, nullptr};
        return {entries_.data() + start_[from], entries_.data() + start_[from + 1]};
    }

  private:
    std::vector<EdgeEntry> entries_;
    std::vector<std::uint32_t> start_;
    std::vector<std::uint32_t> next_;
};

Point Normal(const Point& a, const Point& b, const Point& c) {
    const double ux = double{b.x} - a.x, uy = double{b.y} - a.y, uz = double{b.z} - a.z;
    const double vx = double{c.x} - a.x, vy = double{c.y} - a.y, vz = double{c.z} - a.z;
    return {static_cast<float>(uy * vz - uz * vy), static_cast<float>(uz * vx - ux * vz),
            static_cast<float>(ux * vy - uy * vx)};
}

// 0 for two triangles in one plane facing alike, up to 2 for opposite ones; 3 when either is
// degenerate or the positions are not numbers.
float Bend(const Point& n1, const Point& n2) {
    const double dot = double{n1.x} * n2.x + double{n1.y} * n2.y + double{n1.z} * n2.z;
    const double lengths =
        std::sqrt(double{n1.x} * n1.x + double{n1.y} * n1.y + double{n1.z} * n1.z) *
        std::sqrt(double{n2.x} * n2.x + double{n2.y} * n2.y + double{n2.z} * n2.z);
    if (!(lengths > 0) || !std::isfinite(lengths)) return 3;
    const double bend = 1 - dot / lengths;
    return std::isfinite(bend) ? static_cast<float>(std::clamp(bend, 0.0, 2.0)) : 3;
}

}  // namespace

struct BoxFinderRoom::Parts {
    std::vector<Side> sides;
    EdgeIndex index;
    std::vector<EdgeEntry> triangleEdges;
    EdgeIndex triangles;
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> next;
    std::vector<std::int32_t> order;
};

BoxFinderRoom::BoxFinderRoom() : parts_(std::make_unique<Parts>()) {}
BoxFinderRoom::~BoxFinderRoom() = default;

namespace {

class Finder {
  public:
    Finder(std::span<const FaceCorners> faces, std::span<const Point> vertices,
           std::vector<FoundBox>& boxes, std::vector<std::uint8_t>& used,
           BoxFinderRoom::Parts& room)
        : faces_(faces),
          vertices_(vertices),
          boxes_(boxes),
          used_(used),
          room_(room),
          sides_(room.sides),
          index_(room.index) {}

    void Run() {
        used_.assign(faces_.size(), 0);
        MakeSides();
        // Sides by the face that comes first in them (a counting sort: a face starts a handful),
        // best first.
        std::vector<std::uint32_t>& start = room_.start;
        start.assign(faces_.size() + 1, 0);
        for (const Side& side : sides_) ++start[static_cast<std::size_t>(side.face[0]) + 1];
        for (std::size_t f = 0; f < faces_.size(); ++f) start[f + 1] += start[f];
        std::vector<std::int32_t>& order = room_.order;
        order.assign(sides_.size(), 0);
        {
            std::vector<std::uint32_t>& next = room_.next;
            next.assign(start.begin(), start.end() - 1);
            for (std::size_t i = 0; i < sides_.size(); ++i) {
                order[next[static_cast<std::size_t>(sides_[i].face[0])]++] =
                    static_cast<std::int32_t>(i);
            }
        }
        for (std::size_t f = 0; f < faces_.size(); ++f) {
            if (start[f + 1] - start[f] < 2) continue;
            // Within a face, sides came in the order they were made: sort by preference alone,
            // keeping that order among equals.
            std::stable_sort(order.begin() + start[f], order.begin() + start[f + 1],
                             [&](std::int32_t a, std::int32_t b) {
                                 return sides_[static_cast<std::size_t>(a)].preference <
                                        sides_[static_cast<std::size_t>(b)].preference;
                             });
        }
        for (std::size_t i = 0; i < order.size(); ++i) {
            const Side& seed = sides_[static_cast<std::size_t>(order[i])];
            if (Taken(seed)) continue;
            TryBox(order[i]);
        }
    }

  private:
    bool Taken(const Side& side) const {
        return used_[static_cast<std::size_t>(side.face[0])] != 0 ||
               (side.face[1] >= 0 && used_[static_cast<std::size_t>(side.face[1])] != 0);
    }

    void AddSide(const Side& side) { sides_.push_back(side); }

    void MakeSides() {
        // Room for a side per face: quadrilaterals make one each, pairs of triangles mostly fewer.
        sides_.clear();
        sides_.reserve(faces_.size());
        std::vector<EdgeEntry>& triangleEdges = room_.triangleEdges;
        triangleEdges.clear();
        for (std::size_t f = 0; f < faces_.size(); ++f) {
            const FaceCorners& face = faces_[f];
            if (!face.usable) continue;
            const auto index = static_cast<std::int32_t>(f);
            if (face.n == 4) {
                // Made where it stays: a copy made on the stack first costs more than the rest.
                Side& side = sides_.emplace_back();
                side.face[0] = index;
                side.face[1] = -1;
                for (std::int32_t k = 0; k < 4; ++k) {
                    side.v[k] = face.v[k];
                    side.source[k] = {index, k};
                }
                side.preference = -1;
            } else {
                for (std::int32_t k = 0; k < 3; ++k) {
                    triangleEdges.push_back({EdgeKey(face.v[k], face.v[(k + 1) % 3]), 0, index, k});
                }
            }
        }
        EdgeIndex& triangles = room_.triangles;
        if (!triangleEdges.empty()) triangles.Build(triangleEdges, vertices_.size());
        // Each triangle with every later one that runs along one of its edges the other way.
        for (const EdgeEntry& edge : triangleEdges) {
            const FaceCorners& first = faces_[static_cast<std::size_t>(edge.side)];
            const std::int32_t from = first.v[edge.position];
            const std::int32_t to = first.v[(edge.position + 1) % 3];
            const std::uint64_t key = EdgeKey(to, from);
            const auto range = triangles.Group(key);
            for (auto it = range.first; it != range.second; ++it) {
                if (it->key != key || it->side <= edge.side) continue;
                Pair(edge.side, edge.position, it->side, it->position);
            }
        }
        // Quadrilaterals all have one preference; pairs of triangles come behind them.
        const bool pairs = !sides_.empty() && sides_.back().face[1] >= 0;
        index_.Build(sides_, vertices_.size(), pairs);
    }

    // Triangles a (its edge at position pa) and b (the same edge the other way at pb) as one
    // side, when they agree on the material, on what their lines carry, and on the UVs of the
    // two corners they share.
    void Pair(std::int32_t a, std::int32_t pa, std::int32_t b, std::int32_t pb) {
        const FaceCorners& first = faces_[static_cast<std::size_t>(a)];
        const FaceCorners& second = faces_[static_cast<std::size_t>(b)];
        if (first.material != second.material || first.kind != second.kind) return;
        const std::int32_t apex = second.v[(pb + 2) % 3];
        if (apex == first.v[0] || apex == first.v[1] || apex == first.v[2]) return;
        // first's corner pa stands where second's pb + 1 does, and the other way round.
        const std::int32_t shared[2][2] = {{pa, (pb + 1) % 3}, {(pa + 1) % 3, pb}};
        for (const auto& corners : shared) {
            if (first.u[corners[0]] != second.u[corners[1]] ||
                first.w[corners[0]] != second.w[corners[1]]) {
                return;
            }
        }
        Side side{{a, b}, {}, {}, 1};
        std::int32_t k = 0;
        for (std::int32_t c = 0; c < 3; ++c) {
            side.v[k] = first.v[c];
            side.source[k++] = {a, c};
            if (c == pa) {
                side.v[k] = apex;
                side.source[k++] = {b, (pb + 2) % 3};
            }
        }
        const auto at = [&](std::int32_t vertex) -> const Point& {
            return vertices_[static_cast<std::size_t>(vertex)];
        };
        side.preference = 1 + Bend(Normal(at(first.v[0]), at(first.v[1]), at(first.v[2])),
                                   Normal(at(second.v[0]), at(second.v[1]), at(second.v[2])));
        AddSide(side);
    }

    bool Chosen(const Side& side, int count) const {
        for (int i = 0; i < count; ++i) {
            const Side& other = sides_[static_cast<std::size_t>(chosen_[i])];
            for (const std::int32_t f : side.face) {
                if (f >= 0 && (f == other.face[0] || f == other.face[1])) return true;
            }
        }
        return false;
    }

    // The sides across the top's edges, from edge k on; then the bottom.
    bool Around(int k) {
        const std::int32_t* top = sides_[static_cast<std::size_t>(chosen_[0])].v;
        if (k == 4) return Bottom();
        const std::int32_t from = top[(k + 1) % 4];
        const std::int32_t to = top[k];
        const std::uint64_t key = EdgeKey(from, to);
        const auto range = index_.Group(key);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->key != key) continue;
            const Side& side = sides_[static_cast<std::size_t>(it->side)];
            const std::int32_t farTo = side.v[(it->position + 2) % 4];
            const std::int32_t farFrom = side.v[(it->position + 3) % 4];
            if (k > 0 && far_[k] != farTo) continue;
            if (k == 3 && far_[0] != farFrom) continue;
            if (Taken(side) || Chosen(side, k + 1)) continue;
            chosen_[k + 1] = it->side;
            const std::int32_t keptTo = far_[k];
            const std::int32_t keptFrom = far_[(k + 1) % 4];
            far_[k] = farTo;
            far_[(k + 1) % 4] = farFrom;
            if (Around(k + 1)) return true;
            far_[k] = keptTo;
            far_[(k + 1) % 4] = keptFrom;
        }
        return false;
    }

    bool Bottom() {
        const std::int32_t* top = sides_[static_cast<std::size_t>(chosen_[0])].v;
        const std::int32_t all[8] = {top[0],  top[1],  top[2],  top[3],
                                     far_[0], far_[1], far_[2], far_[3]};
        for (int i = 0; i < 8; ++i) {
            for (int j = i + 1; j < 8; ++j) {
                if (all[i] == all[j]) return false;
            }
        }
        const std::uint64_t key = EdgeKey(far_[1], far_[0]);
        const auto range = index_.Group(key);
        for (auto it = range.first; it != range.second; ++it) {
            if (it->key != key) continue;
            const Side& side = sides_[static_cast<std::size_t>(it->side)];
            if (side.v[(it->position + 2) % 4] != far_[3] ||
                side.v[(it->position + 3) % 4] != far_[2]) {
                continue;
            }
            if (Taken(side) || Chosen(side, 5)) continue;
            chosen_[5] = it->side;
            return true;
        }
        return false;
    }

    void TryBox(std::int32_t seed) {
        chosen_[0] = seed;
        for (std::int32_t& f : far_) f = -1;
        if (!Around(0)) return;
        const std::int32_t* top = sides_[static_cast<std::size_t>(seed)].v;
        FoundBox box{};
        // The first face lists corners 3, 2, 1, 0; corner k + 4 stands across the box from k.
        for (int k = 0; k < 4; ++k) {
            box.corner[3 - k] = top[k];
            box.corner[7 - k] = far_[k];
        }
        // The sides across the top's edges fill slots 4, 3, 2 and 5; the bottom slot 1.
        constexpr int kSlotOf[6] = {0, 4, 3, 2, 5, 1};
        box.triangles = false;
        box.firstFace = sides_[static_cast<std::size_t>(seed)].face[0];
        for (int i = 0; i < 6; ++i) {
            const Side& side = sides_[static_cast<std::size_t>(chosen_[i])];
            const int slot = kSlotOf[i];
            for (int j = 0; j < 4; ++j) {
                const std::int32_t vertex = box.corner[kBd1FaceCorners[slot][j]];
                for (int q = 0; q < 4; ++q) {
                    if (side.v[q] == vertex) box.source[slot][j] = side.source[q];
                }
            }
            for (const std::int32_t f : side.face) {
                if (f >= 0) used_[static_cast<std::size_t>(f)] = 1;
            }
            box.triangles = box.triangles || side.face[1] >= 0;
        }
        boxes_.push_back(box);
    }

    std::span<const FaceCorners> faces_;
    std::span<const Point> vertices_;
    std::vector<FoundBox>& boxes_;
    std::vector<std::uint8_t>& used_;
    BoxFinderRoom::Parts& room_;
    std::vector<Side>& sides_;
    EdgeIndex& index_;
    std::int32_t chosen_[6]{};
    std::int32_t far_[4]{};
};

}  // namespace

void FindBoxes(std::span<const FaceCorners> faces, std::span<const Point> vertices,
               std::vector<FoundBox>& boxes, std::vector<std::uint8_t>& used, BoxFinderRoom& room) {
    boxes.clear();
    boxes.reserve(faces.size() / 6);  // six faces at least make a box
    Finder(faces, vertices, boxes, used, room.parts()).Run();
}

}  // namespace bloktar::repair
