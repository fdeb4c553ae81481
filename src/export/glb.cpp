#include "export/glb.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "inspect/html.hpp"
#include "inspect/svg.hpp"

namespace bloktar::exporter {
namespace {

constexpr std::uint32_t kGlbMagic = 0x46546C67;   // "glTF"
constexpr std::uint32_t kJsonChunk = 0x4E4F534A;  // "JSON"
constexpr std::uint32_t kBinChunk = 0x004E4942;   // "BIN\0"
constexpr std::size_t kGlbHeaderSize = 12;
constexpr std::size_t kChunkHeaderSize = 8;

int MaterialKey(std::int32_t texture) {
    return texture >= 0 && texture < kTextureSlots ? texture : kNoSlotKey;
}

std::size_t Padded4(std::size_t size) {
    return (size + 3) & ~std::size_t{3};
}

void PutU32(char* at, std::uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

void AppendNumber(std::string& out, double value) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

void AppendNumber(std::string& out, std::uint64_t value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

// A JSON string of the JSON chunk.
void AppendString(std::string& out, std::string_view text) {
    inspect::AppendJsonString(out, text, inspect::JsonPlace::File);
}

struct Vec3 {
    double x, y, z;
};

Vec3 Minus(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

double Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The unit vector along v, or fallback when v has no length.
Vec3 Unit(Vec3 v, Vec3 fallback) {
    const double length = std::sqrt(Dot(v, v));
    if (!(length > 0) || !std::isfinite(length)) return fallback;
    return {v.x / length, v.y / length, v.z / length};
}

// Writes one block's 24 vertices at vertices and its 36 indices, face by face, at the index
// cursor of each face's material.
void WriteBlock(const Bd1Block& block, std::uint32_t blockNumber, char* vertices,
                std::array<char*, kMaterialKeys>& cursors) {
    Vec3 corners[kBlockCorners];
    Vec3 centre{0, 0, 0};
    for (int k = 0; k < kBlockCorners; ++k) {
        const auto p = GltfCorner(block, k);
        corners[k] = {p[0], p[1], p[2]};
        centre = {centre.x + p[0], centre.y + p[1], centre.z + p[2]};
    }
    centre = {centre.x / kBlockCorners, centre.y / kBlockCorners, centre.z / kBlockCorners};

    // Each face's normal by Newell's method over its corners in the record's order (the normal
    // of their counter-clockwise turn, its length twice the area), its centre, and how far the
    // normal points away from the box's centre.
    Vec3 normals[kBlockFaces];
    Vec3 faceCentres[kBlockFaces];
    double outwards[kBlockFaces];
    double volume = 0;
    for (int f = 0; f < kBlockFaces; ++f) {
        Vec3 n{0, 0, 0};
        Vec3 c{0, 0, 0};
        for (int i = 0; i < kFaceCornerCount; ++i) {
            const Vec3& a = corners[kBd1FaceCorners[f][i]];
            const Vec3& b = corners[kBd1FaceCorners[f][(i + 1) % kFaceCornerCount]];
            n.x += (a.y - b.y) * (a.z + b.z);
            n.y += (a.z - b.z) * (a.x + b.x);
            n.z += (a.x - b.x) * (a.y + b.y);
            c = {c.x + a.x / 4, c.y + a.y / 4, c.z + a.z / 4};
        }
        normals[f] = n;
        faceCentres[f] = c;
        outwards[f] = Dot(n, Minus(c, centre));
        volume += outwards[f];
    }

    const auto blockTag = static_cast<std::uint16_t>(blockNumber);
    const std::uint32_t first = blockNumber * kVerticesPerBlock;
    for (int f = 0; f < kBlockFaces; ++f) {
        // A face turned towards the box's centre is turned round. One that is neither (no area,
        // or in the plane of the centre) follows the box's volume; in a box without volume (a
        // flat one) it keeps the records' turn, which the converter's boxes have outwards.
        const double side = outwards[f] != 0 ? outwards[f] : volume;
        const bool reversed = side < 0;
        const Vec3 n = reversed ? Vec3{-normals[f].x, -normals[f].y, -normals[f].z} : normals[f];
        const Vec3 away = Unit(Minus(faceCentres[f], centre), Vec3{0, 1, 0});
        const Vec3 unit = Unit(n, away);
        const float normal[3] = {static_cast<float>(unit.x), static_cast<float>(unit.y),
                                 static_cast<float>(unit.z)};
        for (int i = 0; i < kFaceCornerCount; ++i) {
            const int k = kBd1FaceCorners[f][i];
            char* vertex =
                vertices + static_cast<std::size_t>(f * kFaceCornerCount + i) * kVertexStride;
            const float position[3] = {-block.x[k], block.y[k], block.z[k]};
            const float uv[2] = {block.u[f * 4 + i], block.v[f * 4 + i]};
            std::memcpy(vertex, position, sizeof position);
            std::memcpy(vertex + kNormalOffset, normal, sizeof normal);
            std::memcpy(vertex + kUvOffset, uv, sizeof uv);
            std::memcpy(vertex + kBlockOffset, &blockTag, sizeof blockTag);
            std::memset(vertex + kBlockOffset + 2, 0, 2);
        }
        const std::uint32_t v = first + static_cast<std::uint32_t>(f * kFaceCornerCount);
        const std::uint32_t forward[6] = {v, v + 1, v + 2, v, v + 2, v + 3};
        const std::uint32_t backward[6] = {v, v + 2, v + 1, v, v + 3, v + 2};
        char*& cursor = cursors[static_cast<std::size_t>(MaterialKey(block.texture[f]))];
        std::memcpy(cursor, reversed ? backward : forward, sizeof forward);
        cursor += sizeof forward;
    }
}

double LinearFromSrgb(int value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// An image put into the binary chunk.
struct EmbeddedImage {
    std::size_t slot;
    const std::string* bytes;
    const char* mimeType;
    std::size_t offset;  // within the binary chunk
};

struct Layout {
    std::size_t vertexBytes = 0;
    std::size_t indexBytes = 0;
    std::array<std::size_t, kMaterialKeys> indexOffset{};  // within the index view
    std::vector<EmbeddedImage> images;
    std::array<int, kTextureSlots> textureOf{};  // texture number per slot, or -1
    std::array<int, kTextureSlots> sourceOf{};   // its image (for a WebP, the fallback)
    std::array<int, kTextureSlots> webpOf{};     // a WebP's own image, or -1
    std::size_t binBytes = 0;
};

void AppendMinMax(std::string& json, std::span<const Bd1Block> blocks) {
    float low[3] = {0, 0, 0};
    float high[3] = {0, 0, 0};
    bool first = true;
    for (const Bd1Block& block : blocks) {
        for (int k = 0; k < kBlockCorners; ++k) {
            const auto p = GltfCorner(block, k);
            for (std::size_t a = 0; a < 3; ++a) {
                if (first || p[a] < low[a]) low[a] = p[a];
                if (first || p[a] > high[a]) high[a] = p[a];
            }
            first = false;
        }
    }
    // Each bound as the double of its float, exactly.
    json += ",\"min\":[";
    for (int a = 0; a < 3; ++a) {
        if (a > 0) json += ',';
        AppendNumber(json, static_cast<double>(low[a]));
    }
    json += "],\"max\":[";
    for (int a = 0; a < 3; ++a) {
        if (a > 0) json += ',';
        AppendNumber(json, static_cast<double>(high[a]));
    }
    json += ']';
}

std::string BuildJson(const GlbModel& model, const FaceCounts& faces, const Layout& layout) {
    const std::uint64_t vertexCount = model.blocks.size() * std::uint64_t{kVerticesPerBlock};
    std::string json = "{\"asset\":{\"version\":\"2.0\",\"generator\":";
    AppendString(json, model.generator);
    json += '}';
    for (const int webp : layout.webpOf) {
        if (webp < 0) continue;
        json += ",\"extensionsUsed\":[\"EXT_texture_webp\"]";
        break;
    }
    json += ",\"scene\":0,\"scenes\":[{\"name\":";
    AppendString(json, model.name);
    if (model.blocks.empty()) {
        json += "}]}";
        return json;
    }
    json += ",\"nodes\":[0]}],\"nodes\":[{\"name\":";
    AppendString(json, model.name);
    json += ",\"mesh\":0}],\"meshes\":[{\"name\":\"blocks\",\"primitives\":[";
    int material = 0;
    for (int key = 0; key < kMaterialKeys; ++key) {
        if (faces[static_cast<std::size_t>(key)] == 0) continue;
        if (material > 0) json += ',';
        json +=
            "{\"attributes\":{\"POSITION\":0,\"NORMAL\":1,\"TEXCOORD_0\":2,\"_BLOCK\":3},"
            "\"indices\":";
        AppendNumber(json, std::uint64_t{4} + static_cast<std::uint64_t>(material));
        json += ",\"material\":";
        AppendNumber(json, static_cast<std::uint64_t>(material));
        json += ",\"mode\":4}";
        ++material;
    }
    json += "]}],\"materials\":[";
    material = 0;
    for (int key = 0; key < kMaterialKeys; ++key) {
        if (faces[static_cast<std::size_t>(key)] == 0) continue;
        if (material++ > 0) json += ',';
        json += "{\"name\":";
        const auto slot = static_cast<std::size_t>(key);
        const bool textured = key != kNoSlotKey && layout.textureOf[slot] >= 0;
        if (key == kNoSlotKey) {
            AppendString(json, "no texture slot");
        } else if (model.slotNames[slot].empty()) {
            AppendString(json, "texture " + std::to_string(key));
        } else {
            AppendString(json, model.slotNames[slot]);
        }
        json += ",\"pbrMetallicRoughness\":{";
        if (textured) {
            json += "\"baseColorTexture\":{\"index\":";
            AppendNumber(json, static_cast<std::uint64_t>(layout.textureOf[slot]));
            json += '}';
        } else {
            const auto colour = FlatColour(key);
            json += "\"baseColorFactor\":[";
            for (const double c : colour) {
                AppendNumber(json, c);
                json += ',';
            }
            json += "1]";
        }
        json += ",\"metallicFactor\":0,\"roughnessFactor\":1},\"extras\":{\"textureNumber\":";
        if (key == kNoSlotKey) {
            json += "null,\"noSlot\":true";
        } else {
            AppendNumber(json, static_cast<std::uint64_t>(key));
            if (!textured) {
                // Why the slot has no image: the first kinds of ImageKind.
                static constexpr const char* kWhy[] = {"no name", "missing", "unreadable"};
                json += ",\"image\":";
                AppendString(json, kWhy[static_cast<int>(model.images[slot].kind)]);
            }
        }
        json += "}}";
    }
    json += ']';
    if (!layout.images.empty()) {
        json +=
            ",\"samplers\":[{\"magFilter\":9729,\"minFilter\":9987,\"wrapS\":10497,"
            "\"wrapT\":10497}],\"textures\":[";
        bool first = true;
        for (std::size_t slot = 0; slot < kTextureSlots; ++slot) {
            if (layout.textureOf[slot] < 0) continue;
            if (!first) json += ',';
            first = false;
            json += "{\"sampler\":0,\"source\":";
            AppendNumber(json, static_cast<std::uint64_t>(layout.sourceOf[slot]));
            if (layout.webpOf[slot] >= 0) {
                json += ",\"extensions\":{\"EXT_texture_webp\":{\"source\":";
                AppendNumber(json, static_cast<std::uint64_t>(layout.webpOf[slot]));
                json += "}}";
            }
            json += '}';
        }
        json += "],\"images\":[";
        for (std::size_t i = 0; i < layout.images.size(); ++i) {
            const EmbeddedImage& image = layout.images[i];
            if (i > 0) json += ',';
            json += "{\"name\":";
            AppendString(json, model.slotNames[image.slot]);
            json += ",\"mimeType\":";
            AppendString(json, image.mimeType);
            json += ",\"bufferView\":";
            AppendNumber(json, std::uint64_t{2} + i);
            json += '}';
        }
        json += ']';
    }
    json +=
        ",\"accessors\":[{\"bufferView\":0,\"byteOffset\":0,\"componentType\":5126,"
        "\"count\":";
    AppendNumber(json, vertexCount);
    json += ",\"type\":\"VEC3\"";
    AppendMinMax(json, model.blocks);
    json += "},{\"bufferView\":0,\"byteOffset\":12,\"componentType\":5126,\"count\":";
    AppendNumber(json, vertexCount);
    json +=
        ",\"type\":\"VEC3\"},{\"bufferView\":0,\"byteOffset\":24,\"componentType\":5126,"
        "\"count\":";
    AppendNumber(json, vertexCount);
    json +=
        ",\"type\":\"VEC2\"},{\"bufferView\":0,\"byteOffset\":32,\"componentType\":5123,"
        "\"count\":";
    AppendNumber(json, vertexCount);
    json += ",\"type\":\"SCALAR\"}";
    for (int key = 0; key < kMaterialKeys; ++key) {
        const auto k = static_cast<std::size_t>(key);
        if (faces[k] == 0) continue;
        json += ",{\"bufferView\":1,\"byteOffset\":";
        AppendNumber(json, static_cast<std::uint64_t>(layout.indexOffset[k]));
        json += ",\"componentType\":5125,\"count\":";
        AppendNumber(json, std::uint64_t{faces[k]} * 6);
        json += ",\"type\":\"SCALAR\"}";
    }
    json += "],\"bufferViews\":[{\"buffer\":0,\"byteOffset\":0,\"byteLength\":";
    AppendNumber(json, static_cast<std::uint64_t>(layout.vertexBytes));
    json += ",\"byteStride\":36,\"target\":34962},{\"buffer\":0,\"byteOffset\":";
    AppendNumber(json, static_cast<std::uint64_t>(layout.vertexBytes));
    json += ",\"byteLength\":";
    AppendNumber(json, static_cast<std::uint64_t>(layout.indexBytes));
    json += ",\"target\":34963}";
    for (const EmbeddedImage& image : layout.images) {
        json += ",{\"buffer\":0,\"byteOffset\":";
        AppendNumber(json, static_cast<std::uint64_t>(image.offset));
        json += ",\"byteLength\":";
        AppendNumber(json, static_cast<std::uint64_t>(image.bytes->size()));
        json += '}';
    }
    json += "],\"buffers\":[{\"byteLength\":";
    AppendNumber(json, static_cast<std::uint64_t>(layout.binBytes));
    json += "}]}";
    return json;
}

}  // namespace

FaceCounts CountFacesByMaterial(std::span<const Bd1Block> blocks) {
    FaceCounts counts{};
    for (const Bd1Block& block : blocks) {
        for (const std::int32_t texture : block.texture) {
            ++counts[static_cast<std::size_t>(MaterialKey(texture))];
        }
    }
    return counts;
}

NonFinite FindNonFinite(std::span<const Bd1Block> blocks) {
    NonFinite found;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const Bd1Block& block = blocks[b];
        const struct {
            char name;
            const float* values;
            int count;
        } fields[] = {{'x', block.x, 8},
                      {'y', block.y, 8},
                      {'z', block.z, 8},
                      {'u', block.u, 24},
                      {'v', block.v, 24}};
        for (const auto& field : fields) {
            for (int i = 0; i < field.count; ++i) {
                const float value = field.values[i];
                if (std::isfinite(value)) continue;
                found.block = static_cast<std::int32_t>(b);
                found.field = field.name;
                found.index = i;
                found.nan = std::isnan(value);
                return found;
            }
        }
    }
    return found;
}

std::array<double, 3> FlatColour(int key) {
    const std::array<int, 3>& srgb = key >= 0 && key < kTextureSlots
                                         ? inspect::kTexturePalette[static_cast<std::size_t>(key)]
                                         : inspect::kUnknownTextureColour;
    return {LinearFromSrgb(srgb[0]), LinearFromSrgb(srgb[1]), LinearFromSrgb(srgb[2])};
}

GlbFile BuildGlb(const GlbModel& model) {
    const std::size_t blockCount = model.blocks.size();
    const FaceCounts faces = CountFacesByMaterial(model.blocks);

    Layout layout;
    layout.vertexBytes = blockCount * kVerticesPerBlock * kVertexStride;
    std::size_t offset = 0;
    for (int key = 0; key < kMaterialKeys; ++key) {
        const auto k = static_cast<std::size_t>(key);
        layout.indexOffset[k] = offset;
        offset += std::size_t{faces[k]} * 6 * sizeof(std::uint32_t);
    }
    layout.indexBytes = offset;
    std::size_t bin = layout.vertexBytes + layout.indexBytes;
    int textures = 0;
    for (std::size_t slot = 0; slot < kTextureSlots; ++slot) {
        layout.textureOf[slot] = layout.sourceOf[slot] = layout.webpOf[slot] = -1;
        const SlotImage& image = model.images[slot];
        if (blockCount == 0 || faces[slot] == 0 || !IsEmbedded(image.kind)) continue;
        layout.textureOf[slot] = textures++;
        const auto add = [&](const std::string& bytes, const char* mimeType) {
            layout.images.push_back({slot, &bytes, mimeType, bin});
            bin += Padded4(bytes.size());
            return static_cast<int>(layout.images.size() - 1);
        };
        if (image.kind == ImageKind::WebP) {
            layout.sourceOf[slot] = add(image.fallback, "image/png");
            layout.webpOf[slot] = add(image.bytes, "image/webp");
        } else {
            layout.sourceOf[slot] =
                add(image.bytes, image.kind == ImageKind::Jpeg ? "image/jpeg" : "image/png");
        }
    }
    layout.binBytes = blockCount == 0 ? 0 : bin;

    std::string json = BuildJson(model, faces, layout);
    json.resize(Padded4(json.size()), ' ');
    const std::size_t binChunk = layout.binBytes == 0 ? 0 : kChunkHeaderSize + layout.binBytes;
    GlbFile file;
    file.size = kGlbHeaderSize + kChunkHeaderSize + json.size() + binChunk;
    file.bytes = ObtainRoom(file.size);
    char* out = file.bytes.get();
    PutU32(out, kGlbMagic);
    PutU32(out + 4, 2);
    PutU32(out + 8, static_cast<std::uint32_t>(file.size));
    PutU32(out + 12, static_cast<std::uint32_t>(json.size()));
    PutU32(out + 16, kJsonChunk);
    std::memcpy(out + 20, json.data(), json.size());
    if (binChunk == 0) return file;

    char* chunk = out + 20 + json.size();
    PutU32(chunk, static_cast<std::uint32_t>(layout.binBytes));
    PutU32(chunk + 4, kBinChunk);
    char* data = chunk + kChunkHeaderSize;
    std::array<char*, kMaterialKeys> cursors{};
    for (int key = 0; key < kMaterialKeys; ++key) {
        const auto k = static_cast<std::size_t>(key);
        cursors[k] = data + layout.vertexBytes + layout.indexOffset[k];
    }
    for (std::size_t b = 0; b < blockCount; ++b) {
        WriteBlock(model.blocks[b], static_cast<std::uint32_t>(b),
                   data + b * kVerticesPerBlock * kVertexStride, cursors);
    }
    for (const EmbeddedImage& image : layout.images) {
        const std::string& bytes = *image.bytes;
        std::memcpy(data + image.offset, bytes.data(), bytes.size());
        std::memset(data + image.offset + bytes.size(), 0, Padded4(bytes.size()) - bytes.size());
    }
    return file;
}

}  // namespace bloktar::exporter
