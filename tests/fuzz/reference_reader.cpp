#include "fuzz/reference_reader.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace reference {
namespace {

using bloktar::MQO_FACE;
using bloktar::MQO_VERTEX;

// The document as fgets in text mode would read it: carriage returns dropped, Ctrl-Z ends it.
struct Source {
    const unsigned char* bytes;
    std::size_t size;
    std::size_t position = 0;
    bool ended = false;
};

bool ReadLine(char* buffer, int limit, Source& source) {
    int stored = 0;
    while (stored < limit - 1 && !source.ended && source.position < source.size) {
        const unsigned char c = source.bytes[source.position++];
        if (c == 0x1A) {
            source.ended = true;
            break;
        }
        if (c == '\r') continue;
        buffer[stored++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    if (stored == 0) return false;
    buffer[stored] = '\0';
    return true;
}

void Rewind(Source& source) {
    source.position = 0;
    source.ended = false;
}

bool StartsWith(const char* line, const char* prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

bool Space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool Digit(char c) {
    return c >= '0' && c <= '9';
}

std::int32_t Int(const char* p) {
    while (Space(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    std::uint32_t value = 0;
    for (; Digit(*p); ++p) value = value * 10u + static_cast<std::uint32_t>(*p - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

// The decimal text is cut out by the document's rules and converted by strtod, which rounds
// correctly; hexadecimal, infinity and NaN text never reach it.
double Real(const char* text) {
    const char* p = text;
    while (Space(*p)) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    bool digits = false;
    for (; Digit(*p); ++p) digits = true;
    if (*p == '.') {
        for (++p; Digit(*p); ++p) digits = true;
    }
    if (!digits) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (Digit(*q)) {
            while (Digit(*q)) ++q;
            p = q;
        }
    }
    const std::string number(start, p);
    return std::strtod(number.c_str(), nullptr);
}

float Narrow(double value) {
    if (std::fabs(value) >= 0x1.ffffffp127) {
        return value > 0 ? std::numeric_limits<float>::infinity()
                         : -std::numeric_limits<float>::infinity();
    }
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
    if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

void Survey(Source& source, bloktar::MqoSummary& summary) {
    char line[256];
    auto add = [](std::int32_t a, std::int32_t b) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) +
                                         static_cast<std::uint32_t>(b));
    };
    while (ReadLine(line, 256, source)) {
        if (StartsWith(line, "Material ")) {
            const std::int32_t n = Int(line + 9);
            summary.materialCount = n > 10 ? 10 : n;
        } else if (StartsWith(line, "Object ")) {
            summary.objectCount = add(summary.objectCount, 1);
            bool closed = false;
            while (!closed && ReadLine(line, 256, source)) {
                closed = line[0] == '}' || (StartsWith(line, "\tvisible ") && Int(line + 9) == 0);
                if (StartsWith(line, "\tvertex ")) {
                    summary.vertexTotal = add(summary.vertexTotal, Int(line + 8));
                } else if (StartsWith(line, "\tface ")) {
                    summary.faceTotal = add(summary.faceTotal, Int(line + 6));
                }
            }
            if (!closed) break;
        } else if (StartsWith(line, "Eof")) {
            break;
        }
    }
    summary.estimatedBlockCount = summary.vertexTotal / 8;
}

void Textures(Source& source, bloktar::TextureNameTable& table, std::int32_t count) {
    Rewind(source);
    char line[256];
    bool found = false;
    while (ReadLine(line, 256, source)) {
        if (StartsWith(line, "Material ")) {
            found = true;
            break;
        }
    }
    const int k = count > 10 ? 10 : count;
    for (int i = 0; found && i < k; ++i) {
        if (!ReadLine(line, 255, source)) continue;
        const char* open = std::strstr(line, "(\"");
        if (open == nullptr) continue;
        const char* name = open + 2 + std::strspn(open + 2, "\")\n");
        const std::size_t length = std::strcspn(name, "\")\n");
        std::memcpy(table.names[i], name, length < 30 ? length : 30);
    }
}

bool VertexLine(const char* line, MQO_VERTEX& v) {
    int stored = 0;
    for (const char* p = line; *p != '\0'; ++p) {
        if (*p != ' ' && !(*p == '\t' && p[1] == '\t')) continue;
        const float value = Narrow(Real(p + 1));
        if (stored == 0) v.x = -value;
        if (stored == 1) v.y = value;
        if (stored == 2) {
            v.z = value;
            return true;
        }
        ++stored;
    }
    return false;
}

void FaceLine(const char* line, MQO_FACE& f) {
    f.n = std::strlen(line) >= 2 ? Int(line + 2) : 0;
    if (const char* list = std::strstr(line, " V(")) {
        f.V[0] = Int(list + 3);
        int stored = 1;
        for (const char* p = list + 3; *p != '\0' && stored < 4; ++p) {
            if (*p != ' ') continue;
            f.V[stored++] = Int(p + 1);
            if (stored >= f.n) break;
        }
    }
    f.Dif[0] = f.V[0] % 8;
    for (int k = 1; k < 4; ++k) {
        f.Dif[k] = static_cast<std::int32_t>(static_cast<std::uint32_t>(f.V[k]) -
                                             static_cast<std::uint32_t>(f.V[k - 1]));
    }
    if (const char* m = std::strstr(line, " M(")) f.M = Int(m + 3);
    if (const char* list = std::strstr(line, " UV(")) {
        float values[8] = {};
        values[0] = Narrow(Real(list + 4));
        int count = 1;
        for (const char* p = list + 4; *p != '\0'; ++p) {
            if (*p != ' ') continue;
            values[count++] = Narrow(Real(p + 1));
            const int vs = count / 2;  // values hold u0 v0 u1 v1 ...
            if (count % 2 == 0 && (vs >= f.n || vs == 4)) break;
        }
        for (int j = 0; j < 4; ++j) {
            if (2 * j < count) f.u[j] = values[2 * j];
            if (2 * j + 1 < count) f.v[j] = values[2 * j + 1];
        }
    }
}

void Geometry(Source& source, std::vector<MQO_VERTEX>& vertices, std::vector<MQO_FACE>& faces) {
    Rewind(source);
    std::size_t nv = 0;
    std::size_t nf = 0;
    char line[256];
    while (ReadLine(line, 128, source)) {
        if (StartsWith(line, "Eof")) return;
        if (!StartsWith(line, "Object ")) continue;
        for (;;) {
            if (!ReadLine(line, 128, source)) return;
            if (line[0] == '}') break;
            if (StartsWith(line, "\tvisible ") && Int(line + 9) == 0) break;
            if (StartsWith(line, "\tvertex ")) {
                while (ReadLine(line, 128, source) && !StartsWith(line, "\t}")) {
                    if (nv < vertices.size() && VertexLine(line, vertices[nv])) ++nv;
                }
            } else if (StartsWith(line, "\tface ")) {
                while (ReadLine(line, 256, source) && !StartsWith(line, "\t}")) {
                    if (nf < faces.size()) FaceLine(line, faces[nf++]);
                }
            }
        }
    }
}

std::size_t Records(std::int32_t total, std::size_t cap) {
    if (total <= 0) return 0;
    const auto n = static_cast<std::size_t>(total);
    return n < cap ? n : cap;
}

}  // namespace

ReadDocument Read(const unsigned char* bytes, std::size_t size, std::size_t cap) {
    ReadDocument result;
    Source source{bytes, size};
    char line[128];
    result.headerAccepted =
        ReadLine(line, 128, source) && std::strcmp(line, "Metasequoia Document\n") == 0 &&
        ReadLine(line, 128, source) && std::strcmp(line, "Format Text Ver 1.0\n") == 0;
    if (!result.headerAccepted) return result;
    Survey(source, result.summary);
    result.vertices.assign(Records(result.summary.vertexTotal, cap), MQO_VERTEX{});
    result.faces.assign(Records(result.summary.faceTotal, cap), MQO_FACE{});
    Textures(source, result.textures, result.summary.materialCount);
    Geometry(source, result.vertices, result.faces);
    return result;
}

}  // namespace reference
