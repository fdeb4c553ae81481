// bloktar-mqogen: writes documents for the converter's tests and benchmark.
//
//   bloktar-mqogen blocks N OUTPUT [EXPECTED] [--objects K] [--numbers SHAPE] [--scrambled]
//   bloktar-mqogen unused SIZE OUTPUT [EXPECTED]
//
// "blocks" writes N boxes as the modeller writes them: CR LF line ends, a Scene and a Material
// chunk, a hidden guide object, then the boxes spread over K visible objects (by default 8, or
// as many as keep every object at 512 boxes or fewer), box i written in vertex order i % 4 of the
// four the converter recognises. SHAPE says how the numbers are written:
//   usual     (the default) coordinates from -300 to 350 with four decimals, UVs with five;
//   wide      coordinates from -99999.9999 to 99999.9999 with four decimals, UVs with five, as
//             the modeller writes a map measured in the thousands;
//   shortest  each coordinate and UV a float written in its shortest form, as newer writers do:
//             up to nine significant digits ("-28.1565781", "0.00158474996"), integers without a
//             point ("100"), small UVs with an exponent ("4.7e-05").
//
// --scrambled writes the same boxes with every visible object's vertex lines and face lines
// shuffled within it and each face listed from another corner, as a document the converter
// misreads throughout; it takes no EXPECTED.
//
// "unused" writes a document of about SIZE bytes (a number, optionally followed by K, M or G for
// binary units) made mostly of thumbnail lines that no pass of the converter uses, with one box.
//
// EXPECTED, when given, receives the BD1 file that the converter must write for the document:
// every box in the BD1 order, worked out here from the boxes' geometry alone.
//
// The output is the same on every run and machine: the numbers come from a fixed-seed generator.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// splitmix64: small, fast and the same everywhere.
struct Random {
    std::uint64_t state = 0x0B10C7A20000017ull;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A number in [low, high].
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<std::int64_t>(Next() % span);
    }
};

// A corner of the unit cube.
struct Position {
    int x, y, z;
    bool operator==(const Position&) const = default;
};

// The BD1 order: corners 0 to 3 on top (y = 1) going (0,0) (1,0) (1,1) (0,1) in (x, z), corners
// 4 to 7 below them; face slot 0 the top, 1 the bottom, 2 to 5 the sides, each face's corners
// listed in the order of its UV corners.
constexpr Position kBd1Corner[8] = {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1},
                                    {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
constexpr int kBd1Face[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

// How the modeller writes a box in each of the four recognised orders: where each of its eight
// vertices stands, and each face's vertices in the document's order. The same boxes stand in
// examples/sample.mqo.
struct BoxOrder {
    Position vertex[8];
    int face[6][4];
};
constexpr BoxOrder kBoxOrders[4] = {
    {{{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}},
     {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}}},
    {{{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}, {0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}},
     {{3, 0, 1, 2}, {4, 7, 6, 5}, {0, 4, 5, 1}, {1, 5, 6, 2}, {2, 6, 7, 3}, {3, 7, 4, 0}}},
    {{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {1, 0, 1}, {1, 1, 1}, {0, 0, 1}, {0, 1, 1}},
     {{0, 1, 3, 2}, {2, 3, 5, 4}, {4, 5, 7, 6}, {6, 7, 1, 0}, {6, 0, 2, 4}, {1, 7, 5, 3}}},
    {{{0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {1, 1, 1}, {1, 0, 0}, {1, 1, 0}},
     {{0, 2, 3, 1}, {2, 4, 5, 3}, {4, 6, 7, 5}, {6, 0, 1, 7}, {6, 4, 2, 0}, {1, 3, 5, 7}}},
};

// For one order: which BD1 face slot each document face is, and which UV corner of that slot
// each of its corners carries, found by where the corners stand.
struct OrderMap {
    int slot[6];
    int uvCorner[6][4];
};

bool MapOrder(const BoxOrder& order, OrderMap& map) {
    bool slotTaken[6] = {};
    for (int g = 0; g < 6; ++g) {
        map.slot[g] = -1;
        for (int f = 0; f < 6 && map.slot[g] < 0; ++f) {
            int found = 0;
            for (int r = 0; r < 4; ++r) {
                const Position at = order.vertex[order.face[g][r]];
                for (int j = 0; j < 4; ++j) {
                    if (kBd1Corner[kBd1Face[f][j]] == at) {
                        map.uvCorner[g][r] = j;
                        ++found;
                    }
                }
            }
            if (found == 4) map.slot[g] = f;
        }
        if (map.slot[g] < 0 || slotTaken[map.slot[g]]) return false;
        slotTaken[map.slot[g]] = true;
    }
    return true;
}

// A number of units of 10^-decimals as the modeller prints it: "-123.4567", "0.50000".
std::string Fixed(std::int64_t units, int decimals) {
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const std::uint64_t magnitude =
        units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
    std::string text = units < 0 ? "-" : "";
    text += std::to_string(magnitude / static_cast<std::uint64_t>(scale));
    std::string fraction = std::to_string(magnitude % static_cast<std::uint64_t>(scale));
    text += '.';
    text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
    text += fraction;
    return text;
}

// The float32 that the decimal text denotes, rounded to double and then to float.
float FloatOf(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return static_cast<float>(value);
}

constexpr int kMaterials = 4;
constexpr int kCoordinateDecimals = 4;
constexpr int kUvDecimals = 5;

enum class NumberShape { Usual, Wide, Shortest };

// The shortest text that reads back as value, as std::to_chars gives it.
std::string Shortest(float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// A coordinate in units of 10^-4, divided by scale, as a float in its shortest form; now and then
// a whole number.
std::string ShortestCoordinate(Random& random, std::int64_t units, double scale) {
    double value = static_cast<double>(units) / 1e4 / scale;
    if (random.Between(0, 7) == 0) value = static_cast<double>(units / 10000);
    return Shortest(static_cast<float>(value));
}

// A UV in [0, 1] as a float in its shortest form: now and then 0, 1, or a value so small that
// its shortest form takes an exponent.
std::string ShortestUv(Random& random) {
    switch (random.Between(0, 31)) {
        case 0:
            return Shortest(0.0f);
        case 1:
            return Shortest(1.0f);
        case 2:
            return Shortest(static_cast<float>(static_cast<double>(random.Between(1, 99)) * 1e-6));
        default:
            return Shortest(static_cast<float>(static_cast<double>(random.Between(0, 1 << 30)) /
                                               static_cast<double>(1 << 30)));
    }
}

// One box: the coordinate text of its low and high side on each axis, a material per BD1 face
// slot and the UV text of each slot's four corners.
struct Box {
    std::string axis[3][2];
    int material[6];
    std::string u[6][4];
    std::string v[6][4];
};

constexpr double kScales[] = {1, 10, 100, 1000};

Box MakeBox(Random& random, NumberShape shape) {
    Box box;
    for (int a = 0; a < 3; ++a) {
        const bool usual = shape == NumberShape::Usual;
        const std::int64_t low =
            usual ? random.Between(-3000000, 3000000) : random.Between(-999999999, 994999999);
        const std::int64_t size = random.Between(10000, usual ? 500000 : 5000000);
        // Shortest forms of every length: boxes from a few units to thousands across.
        const double scale = shape == NumberShape::Shortest ? kScales[random.Between(0, 3)] : 1;
        for (int side = 0; side < 2; ++side) {
            const std::int64_t units = side == 0 ? low : low + size;
            box.axis[a][side] = shape == NumberShape::Shortest
                                    ? ShortestCoordinate(random, units, scale)
                                    : Fixed(units, kCoordinateDecimals);
        }
    }
    for (int f = 0; f < 6; ++f) {
        box.material[f] = static_cast<int>(random.Between(0, kMaterials - 1));
        for (int j = 0; j < 4; ++j) {
            if (shape == NumberShape::Shortest) {
                box.u[f][j] = ShortestUv(random);
                box.v[f][j] = ShortestUv(random);
            } else {
                box.u[f][j] = Fixed(random.Between(0, 100000), kUvDecimals);
                box.v[f][j] = Fixed(random.Between(0, 100000), kUvDecimals);
            }
        }
    }
    return box;
}

// Everything written goes through here, in large pieces.
class Output {
  public:
    explicit Output(std::FILE* file) : file_(file) { text_.reserve(kFlushSize + 4096); }
    Output& operator<<(std::string_view text) {
        text_.append(text);
        if (text_.size() >= kFlushSize) Flush();
        return *this;
    }
    Output& operator<<(long long value) { return *this << std::string_view(std::to_string(value)); }
    void Flush() {
        if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size()) {
            failed_ = true;
        }
        text_.clear();
    }
    bool Failed() const { return failed_; }

  private:
    static constexpr std::size_t kFlushSize = 1 << 20;
    std::FILE* file_;
    std::string text_;
    bool failed_ = false;
};

constexpr std::string_view kEol = "\r\n";

void WriteHead(Output& out) {
    out << "Metasequoia Document" << kEol << "Format Text Ver 1.0" << kEol << kEol;
    out << "Scene {" << kEol << "\tpos 0.0000 0.0000 1500.0000" << kEol
        << "\tlookat 0.0000 0.0000 0.0000" << kEol << "\thead -0.5236" << kEol << "\tpich 0.5236"
        << kEol << "\tortho 0" << kEol << "\tzoom2 5.0000" << kEol << "\tamb 0.250 0.250 0.250"
        << kEol << "}" << kEol;
}

void WriteMaterials(Output& out) {
    out << "Material " << kMaterials << " {" << kEol;
    for (int m = 0; m < kMaterials; ++m) {
        out << "\t\"mat" << m << "\" col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) "
            << "emi(0.000) spc(0.000) power(5.00) tex(\"tex" << m << ".bmp\")" << kEol;
    }
    out << "}" << kEol;
}

void WriteObjectHead(Output& out, const std::string& name, bool visible) {
    out << "Object \"" << name << "\" {" << kEol << "\tdepth 0" << kEol << "\tfolding 0" << kEol
        << "\tscale 1.000000 1.000000 1.000000" << kEol << "\trotation 0.000000 0.000000 0.000000"
        << kEol << "\ttranslation 0.000000 0.000000 0.000000" << kEol << "\tvisible "
        << (visible ? "15" : "0") << kEol << "\tlocking 0" << kEol << "\tshading 1" << kEol
        << "\tfacet 59.5" << kEol << "\tcolor 0.898 0.498 0.698" << kEol << "\tcolor_type 0"
        << kEol;
}

// Shuffles items with the generator (Fisher-Yates).
template <typename T>
void Shuffle(std::vector<T>& items, Random& random) {
    for (std::size_t i = items.size(); i > 1; --i) {
        const auto j =
            static_cast<std::size_t>(random.Between(0, static_cast<std::int64_t>(i) - 1));
        std::swap(items[i - 1], items[j]);
    }
}

// Writes the boxes as one object, each in the order its number says. With scramble, the
// object's vertex lines and face lines are shuffled within it, and each face is listed from a
// corner of its own choosing.
void WriteObject(Output& out, const std::string& name, bool visible, const std::vector<Box>& boxes,
                 const std::vector<int>& orders, const OrderMap (&maps)[4],
                 Random* scramble = nullptr) {
    WriteObjectHead(out, name, visible);
    std::vector<std::string> vertexLines;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        const BoxOrder& order = kBoxOrders[orders[b]];
        for (const Position& at : order.vertex) {
            vertexLines.push_back("\t\t" + boxes[b].axis[0][at.x] + " " + boxes[b].axis[1][at.y] +
                                  " " + boxes[b].axis[2][at.z]);
        }
    }
    std::vector<long long> place(vertexLines.size());
    for (std::size_t k = 0; k < place.size(); ++k) place[k] = static_cast<long long>(k);
    if (scramble != nullptr) Shuffle(place, *scramble);
    std::vector<std::size_t> lineAt(place.size());
    for (std::size_t k = 0; k < place.size(); ++k) lineAt[static_cast<std::size_t>(place[k])] = k;
    out << "\tvertex " << static_cast<long long>(boxes.size() * 8) << " {" << kEol;
    for (const std::size_t k : lineAt) out << vertexLines[k] << kEol;
    out << "\t}" << kEol;
    std::vector<std::string> faceLines;
    for (std::size_t b = 0; b < boxes.size(); ++b) {
        const BoxOrder& order = kBoxOrders[orders[b]];
        const OrderMap& map = maps[orders[b]];
        const auto base = b * 8;
        for (int g = 0; g < 6; ++g) {
            const int slot = map.slot[g];
            const int start = scramble != nullptr ? static_cast<int>(scramble->Between(0, 3)) : 0;
            std::string line = "\t\t4 V(";
            for (int i = 0; i < 4; ++i) {
                const int r = (start + i) % 4;
                line += (i > 0 ? " " : "") +
                        std::to_string(place[base + static_cast<std::size_t>(order.face[g][r])]);
            }
            line += ") M(" + std::to_string(boxes[b].material[slot]) + ") UV(";
            for (int i = 0; i < 4; ++i) {
                const int j = map.uvCorner[g][(start + i) % 4];
                line += (i > 0 ? " " : "") + boxes[b].u[slot][j] + " " + boxes[b].v[slot][j];
            }
            faceLines.push_back(line + ")");
        }
    }
    if (scramble != nullptr) Shuffle(faceLines, *scramble);
    out << "\tface " << static_cast<long long>(boxes.size() * 6) << " {" << kEol;
    for (const std::string& line : faceLines) out << line << kEol;
    out << "\t}" << kEol << "}" << kEol;
}

template <typename T>
void Append(std::string& bytes, T value) {
    char raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);  // the BD1 file is little-endian, like this machine
    bytes.append(raw, sizeof value);
}

// The BD1 file for the visible boxes: the material texture names, the count, then each box with
// corner k at kBd1Corner[k] (x mirrored) and slot f's material and UV corners.
bool WriteExpected(const char* path, const std::vector<Box>& boxes) {
    std::string bytes;
    for (int slot = 0; slot < 10; ++slot) {
        std::string name = slot < kMaterials ? "tex" + std::to_string(slot) + ".bmp" : "";
        name.resize(31, '\0');
        bytes += name;
    }
    Append(bytes, static_cast<std::int16_t>(boxes.size()));
    for (const Box& box : boxes) {
        for (int a = 0; a < 3; ++a) {
            for (const Position& at : kBd1Corner) {
                const int side = a == 0 ? at.x : a == 1 ? at.y : at.z;
                const float value = FloatOf(box.axis[a][side]);
                Append(bytes, a == 0 ? -value : value);
            }
        }
        for (int f = 0; f < 6; ++f) {
            for (int j = 0; j < 4; ++j) Append(bytes, FloatOf(box.u[f][j]));
        }
        for (int f = 0; f < 6; ++f) {
            for (int j = 0; j < 4; ++j) Append(bytes, FloatOf(box.v[f][j]));
        }
        for (int f = 0; f < 6; ++f) Append(bytes, static_cast<std::int32_t>(box.material[f]));
        Append(bytes, std::int32_t{1});
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool ParseCount(std::string_view text, long long& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc{} || value < 0) return false;
    std::string_view rest(result.ptr,
                          static_cast<std::size_t>(text.data() + text.size() - result.ptr));
    const long long units = rest == "K"   ? 1LL << 10
                            : rest == "M" ? 1LL << 20
                            : rest == "G" ? 1LL << 30
                                          : 1;
    if (rest.size() > 1 || (rest.size() == 1 && units == 1)) return false;
    value *= units;
    return true;
}

int Usage() {
    std::fputs(
        "usage: bloktar-mqogen blocks N OUTPUT [EXPECTED] [--objects K] "
        "[--numbers usual|wide|shortest] [--scrambled]\n"
        "       bloktar-mqogen unused SIZE OUTPUT [EXPECTED]\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    long long objects = 0;  // chosen from the box count
    NumberShape shape = NumberShape::Usual;
    bool scrambled = false;
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] == "--scrambled") {
            scrambled = true;
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (i + 1 >= args.size()) break;
        if (args[i] == "--objects") {
            if (!ParseCount(args[i + 1], objects) || objects < 1) return Usage();
        } else if (args[i] == "--numbers") {
            const std::string_view name = args[i + 1];
            if (name == "usual") {
                shape = NumberShape::Usual;
            } else if (name == "wide") {
                shape = NumberShape::Wide;
            } else if (name == "shortest") {
                shape = NumberShape::Shortest;
            } else {
                return Usage();
            }
        } else {
            ++i;
            continue;
        }
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    }
    long long amount = 0;
    if (args.size() < 3 || args.size() > 4 || (args[0] != "blocks" && args[0] != "unused") ||
        !ParseCount(args[1], amount)) {
        return Usage();
    }
    const bool unusedLines = args[0] == "unused";
    if (!unusedLines && amount > 32767) return Usage();
    if (scrambled && (unusedLines || args.size() == 4)) return Usage();
    // Its own generator, so that the boxes are those of the document written without it.
    Random shuffler;
    shuffler.state ^= 0x5C4A3B1Eull;

    OrderMap maps[4];
    for (int L = 0; L < 4; ++L) {
        if (!MapOrder(kBoxOrders[L], maps[L])) {
            std::fputs("bloktar-mqogen: a box order does not describe a box\n", stderr);
            return 1;
        }
    }

    std::FILE* file = std::fopen(std::string(args[2]).c_str(), "wb");
    if (file == nullptr) {
        std::perror("bloktar-mqogen");
        return 1;
    }
    Output out(file);
    Random random;
    WriteHead(out);

    std::vector<Box> visibleBoxes;
    if (unusedLines) {
        // 768 hex digits a line: 128 pixels of three bytes, as a thumbnail stores them.
        constexpr std::size_t kHexDigits = 768;
        const long long lines = amount / static_cast<long long>(kHexDigits + 3);
        out << "Thumbnail 128 128 24 rgb raw " << lines * 384 << " {" << kEol;
        std::string line(kHexDigits + 3, '\t');
        line[kHexDigits + 1] = '\r';
        line[kHexDigits + 2] = '\n';
        for (long long i = 0; i < lines; ++i) {
            for (std::size_t d = 0; d < kHexDigits; d += 16) {
                std::uint64_t bits = random.Next();
                for (std::size_t k = 0; k < 16; ++k, bits >>= 4) {
                    line[1 + d + k] = "0123456789ABCDEF"[bits & 15];
                }
            }
            out << line;
        }
        out << "}" << kEol;
        WriteMaterials(out);
        visibleBoxes.push_back(MakeBox(random, shape));
        WriteObject(out, "box", true, visibleBoxes, {0}, maps);
    } else {
        WriteMaterials(out);
        const std::vector<Box> guide{MakeBox(random, shape)};
        WriteObject(out, "guide", false, guide, {0}, maps);
        const long long count = amount;
        if (objects == 0) objects = std::max(8LL, (count + 511) / 512);
        if (objects > count) objects = count > 0 ? count : 1;
        long long next = 0;
        for (long long o = 0; o < objects; ++o) {
            const long long inObject = count / objects + (o < count % objects ? 1 : 0);
            std::vector<Box> boxes;
            std::vector<int> orders;
            for (long long b = 0; b < inObject; ++b, ++next) {
                boxes.push_back(MakeBox(random, shape));
                orders.push_back(static_cast<int>(next % 4));
            }
            WriteObject(out, "part" + std::to_string(o), true, boxes, orders, maps,
                        scrambled ? &shuffler : nullptr);
            visibleBoxes.insert(visibleBoxes.end(), boxes.begin(), boxes.end());
        }
    }
    out << "Eof" << kEol;
    out.Flush();
    const bool closed = std::fclose(file) == 0;
    if (out.Failed() || !closed) {
        std::fputs("bloktar-mqogen: the document could not be written\n", stderr);
        return 1;
    }
    if (args.size() == 4 && !WriteExpected(std::string(args[3]).c_str(), visibleBoxes)) {
        std::fputs("bloktar-mqogen: the expected BD1 file could not be written\n", stderr);
        return 1;
    }
    return 0;
}
