#include "inspect/svg.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

#include "inspect/inspection.hpp"

namespace bloktar::inspect {
namespace {

struct Vec3 {
    double x, y, z;
};
struct Point {
    double x, y;
};

Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The view: towards the viewer, and the screen's right and up, in the document's coordinates.
constexpr double kInvSqrt2 = 0.70710678118654752;  // 1 / sqrt(2)
constexpr double kInvSqrt3 = 0.57735026918962576;  // 1 / sqrt(3)
constexpr double kInvSqrt6 = 0.40824829046386302;  // 1 / sqrt(6)
constexpr Vec3 kTowardsViewer{kInvSqrt3, kInvSqrt3, kInvSqrt3};
constexpr Vec3 kScreenRight{kInvSqrt2, 0, -kInvSqrt2};
constexpr Vec3 kScreenUp{-kInvSqrt6, 2 * kInvSqrt6, -kInvSqrt6};
// Light from above, a little from the front and the side, so that the three visible directions
// of a box come out in three different shades: (0.3, 1, 0.6) / sqrt(1.45).
constexpr double kLightLength = 1.2041594578792296;
constexpr Vec3 kLight{0.3 / kLightLength, 1 / kLightLength, 0.6 / kLightLength};

constexpr double kMargin = 40;
constexpr const char* kProblemColour = "#e00000";

constexpr const auto& kPalette = kTexturePalette;
constexpr const auto& kUnknownTexture = kUnknownTextureColour;

std::array<Vec3, 8> Corners(const Bd1Block& block) {
    std::array<Vec3, 8> corners;
    for (std::size_t k = 0; k < 8; ++k) corners[k] = {-double{block.x[k]}, block.y[k], block.z[k]};
    return corners;
}

bool Finite(const std::array<Vec3, 8>& corners) {
    return std::all_of(corners.begin(), corners.end(), [](const Vec3& p) {
        return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
    });
}

Vec3 Centre(std::span<const Vec3> points) {
    Vec3 sum{0, 0, 0};
    for (const Vec3& p : points) sum = {sum.x + p.x, sum.y + p.y, sum.z + p.z};
    const double n = static_cast<double>(points.size());
    return {sum.x / n, sum.y / n, sum.z / n};
}

Point Project(Vec3 p) {
    return {Dot(p, kScreenRight), -Dot(p, kScreenUp)};
}

// Andrew's monotone chain; fewer than three points when they all lie on one line.
std::vector<Point> ConvexHull(std::vector<Point> points) {
    std::sort(points.begin(), points.end(),
              [](Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    auto cross = [](Point o, Point a, Point b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    std::vector<Point> hull;
    for (int pass = 0; pass < 2; ++pass) {
        const std::size_t start = hull.size();
        for (const Point& p : points) {
            while (hull.size() >= start + 2 && cross(hull[hull.size() - 2], hull.back(), p) <= 0) {
                hull.pop_back();
            }
            hull.push_back(p);
        }
        hull.pop_back();
        std::reverse(points.begin(), points.end());
    }
    return hull;
}

std::string Number(double value) {
    char digits[64];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 2);
    return std::string(digits, result.ptr);
}

std::string Colour(const std::array<int, 3>& base, double brightness) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string colour = "#";
    for (const int channel : base) {
        const int value = std::clamp(static_cast<int>(std::lround(channel * brightness)), 0, 255);
        colour += kHex[value / 16];
        colour += kHex[value % 16];
    }
    return colour;
}

// Places the projected drawing on the canvas.
struct Canvas {
    Point centre{0, 0};
    double scale = 1;

    Point Map(Point p) const {
        return {kSvgWidth / 2.0 + (p.x - centre.x) * scale,
                kSvgHeight / 2.0 + (p.y - centre.y) * scale};
    }
    std::string Points(std::span<const Point> points) const {
        std::string text;
        for (const Point& p : points) {
            const Point at = Map(p);
            if (!text.empty()) text += ' ';
            text += Number(at.x) + "," + Number(at.y);
        }
        return text;
    }
};

Canvas FitCanvas(const std::vector<Point>& points) {
    Canvas canvas;
    if (points.empty()) return canvas;
    Point low = points.front();
    Point high = points.front();
    for (const Point& p : points) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y)};
    }
    canvas.centre = {(low.x + high.x) / 2, (low.y + high.y) / 2};
    const double width = high.x - low.x;
    const double height = high.y - low.y;
    const double byWidth = width > 0 ? (kSvgWidth - 2 * kMargin) / width : HUGE_VAL;
    const double byHeight = height > 0 ? (kSvgHeight - 2 * kMargin) / height : HUGE_VAL;
    canvas.scale = std::min(byWidth, byHeight);
    if (!std::isfinite(canvas.scale)) canvas.scale = 1;
    return canvas;
}

void DrawBox(const Bd1Block& block, const std::array<Vec3, 8>& corners, const Canvas& canvas,
             std::string& svg) {
    const Vec3 centre = Centre(corners);
    for (int f = 0; f < 6; ++f) {
        Vec3 face[4];
        for (int j = 0; j < 4; ++j)
            face[j] = corners[static_cast<std::size_t>(kBd1FaceCorners[f][j])];
        // Newell's normal, turned away from the box's centre whatever the winding.
        Vec3 normal{0, 0, 0};
        for (int j = 0; j < 4; ++j) {
            const Vec3 a = face[j];
            const Vec3 b = face[(j + 1) % 4];
            normal = {normal.x + (a.y - b.y) * (a.z + b.z), normal.y + (a.z - b.z) * (a.x + b.x),
                      normal.z + (a.x - b.x) * (a.y + b.y)};
        }
        const double length = std::sqrt(Dot(normal, normal));
        if (!(length > 0)) continue;
        normal = {normal.x / length, normal.y / length, normal.z / length};
        if (Dot(normal, Centre(face) - centre) < 0) normal = {-normal.x, -normal.y, -normal.z};
        if (Dot(normal, kTowardsViewer) <= 1e-9) continue;  // faces away: hidden by the box

        const std::int32_t texture = block.texture[f];
        const auto& base =
            TextureInRange(texture) ? kPalette[static_cast<std::size_t>(texture)] : kUnknownTexture;
        const double brightness = 0.35 + 0.65 * std::max(0.0, Dot(normal, kLight));
        Point projected[4];
        for (int j = 0; j < 4; ++j) projected[j] = Project(face[j]);
        svg += "<polygon points=\"" + canvas.Points(projected) + "\" fill=\"" +
               Colour(base, brightness) + "\"/>\n";
    }
}

}  // namespace

std::string DrawBlocksSvg(std::span<const Bd1Block> blocks, std::span<const BlockMark> marks) {
    struct Placed {
        std::size_t block;
        std::array<Vec3, 8> corners;
        std::vector<Point> hull;
        double depth;
    };
    std::vector<Placed> placed;
    std::vector<Point> allPoints;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const std::array<Vec3, 8> corners = Corners(blocks[i]);
        if (!Finite(corners)) continue;
        std::vector<Point> projected;
        for (const Vec3& p : corners) projected.push_back(Project(p));
        allPoints.insert(allPoints.end(), projected.begin(), projected.end());
        placed.push_back({i, corners, ConvexHull(projected), Dot(Centre(corners), kTowardsViewer)});
    }
    const Canvas canvas = FitCanvas(allPoints);
    // Farthest first; blocks at the same depth in document order.
    std::stable_sort(placed.begin(), placed.end(),
                     [](const Placed& a, const Placed& b) { return a.depth < b.depth; });

    const std::string width = std::to_string(kSvgWidth);
    const std::string height = std::to_string(kSvgHeight);
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height +
        "\">\n<title>bloktar-inspect</title>\n<rect width=\"" + width + "\" height=\"" + height +
        "\" fill=\"#ffffff\"/>\n";

    svg += "<g stroke=\"#333333\" stroke-width=\"0.8\" stroke-linejoin=\"round\">\n";
    for (const Placed& p : placed) {
        svg += "<g id=\"block-" + std::to_string(p.block) + "\">\n";
        if (marks[p.block].box) {
            DrawBox(blocks[p.block], p.corners, canvas, svg);
        } else if (p.hull.size() >= 3) {
            svg += "<polygon points=\"" + canvas.Points(p.hull) + "\" fill=\"#d8d8d8\"/>\n";
        }
        svg += "</g>\n";
    }
    svg += "</g>\n";

    // Outlines and numbers go on top, so that a broken block shows even behind others.
    std::string outlines;
    std::string labels;
    for (const Placed& p : placed) {
        if (!marks[p.block].problem) continue;
        Point low{HUGE_VAL, HUGE_VAL};
        Point high{-HUGE_VAL, -HUGE_VAL};
        for (const Point& point : p.hull) {
            const Point at = canvas.Map(point);
            low = {std::min(low.x, at.x), std::min(low.y, at.y)};
            high = {std::max(high.x, at.x), std::max(high.y, at.y)};
        }
        Point label{(low.x + high.x) / 2, (low.y + high.y) / 2};
        if (p.hull.size() >= 3) {
            outlines += "<polygon class=\"problem\" points=\"" + canvas.Points(p.hull) + "\"/>\n";
        } else {
            // All corners on one line or one point: a ring marks where the block sits, and the
            // number stands beside it.
            const Point at = canvas.Map(Project(Centre(p.corners)));
            outlines += "<circle class=\"problem\" cx=\"" + Number(at.x) + "\" cy=\"" +
                        Number(at.y) + "\" r=\"8\"/>\n";
            label = {at.x + 20, at.y};
        }
        labels += "<text x=\"" + Number(label.x) + "\" y=\"" + Number(label.y) + "\">" +
                  std::to_string(p.block) + "</text>\n";
    }
    svg += "<g fill=\"none\" stroke=\"" + std::string(kProblemColour) +
           "\" stroke-width=\"3\" stroke-linejoin=\"round\">\n" + outlines + "</g>\n";
    svg += "<g font-family=\"sans-serif\" font-size=\"22\" font-weight=\"bold\" fill=\"" +
           std::string(kProblemColour) +
           "\" stroke=\"#ffffff\" stroke-width=\"4\" paint-order=\"stroke\" "
           "text-anchor=\"middle\" dominant-baseline=\"central\">\n" +
           labels + "</g>\n</svg>\n";
    return svg;
}

}  // namespace bloktar::inspect
