#include "support/glb.hpp"

#include <cstring>
#include <exception>
#include <nlohmann/json.hpp>

namespace testing_support {
namespace {

using nlohmann::json;

std::uint32_t U32(std::string_view bytes, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

struct Fault {
    std::string what;
};

void Require(bool condition, const std::string& what) {
    if (!condition) throw Fault{what};
}

std::size_t ComponentSize(int type) {
    switch (type) {
        case 5121:
            return 1;
        case 5123:
            return 2;
        case 5125:
        case 5126:
            return 4;
    }
    throw Fault{"component type " + std::to_string(type)};
}

std::size_t ComponentCount(const std::string& type) {
    if (type == "SCALAR") return 1;
    if (type == "VEC2") return 2;
    if (type == "VEC3") return 3;
    if (type == "VEC4") return 4;
    throw Fault{"accessor type " + type};
}

// An accessor's values as doubles, after checking that it lies inside its view and buffer.
std::vector<double> AccessorValues(const json& gltf, std::string_view bin, std::size_t index,
                                   std::size_t& components) {
    Require(index < gltf.at("accessors").size(), "accessor index out of range");
    const json& accessor = gltf["accessors"][index];
    const std::size_t count = accessor.at("count").get<std::size_t>();
    const int type = accessor.at("componentType").get<int>();
    const std::size_t size = ComponentSize(type);
    components = ComponentCount(accessor.at("type").get<std::string>());
    const std::size_t offset = accessor.value("byteOffset", std::size_t{0});
    const std::size_t viewIndex = accessor.at("bufferView").get<std::size_t>();
    Require(viewIndex < gltf.at("bufferViews").size(), "buffer view index out of range");
    const json& view = gltf["bufferViews"][viewIndex];
    const std::size_t viewOffset = view.value("byteOffset", std::size_t{0});
    const std::size_t viewLength = view.at("byteLength").get<std::size_t>();
    const std::size_t element = size * components;
    const std::size_t stride = view.value("byteStride", element);
    Require(count > 0, "accessor without elements");
    Require(offset % size == 0 && viewOffset % size == 0, "misaligned accessor");
    Require(offset + stride * (count - 1) + element <= viewLength, "accessor beyond its view");
    Require(viewOffset + viewLength <= bin.size(), "buffer view beyond the buffer");
    std::vector<double> values(count * components);
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t c = 0; c < components; ++c) {
            const char* at = bin.data() + viewOffset + offset + stride * i + size * c;
            double value = 0;
            if (type == 5126) {
                float f;
                std::memcpy(&f, at, 4);
                value = f;
            } else if (type == 5125) {
                std::uint32_t u;
                std::memcpy(&u, at, 4);
                value = u;
            } else if (type == 5123) {
                std::uint16_t u;
                std::memcpy(&u, at, 2);
                value = u;
            } else {
                value = static_cast<unsigned char>(*at);
            }
            values[i * components + c] = value;
        }
    }
    return values;
}

void Read(std::string_view bytes, GlbContent& content) {
    Require(bytes.size() >= 20, "shorter than the GLB header and a chunk header");
    Require(U32(bytes, 0) == 0x46546C67, "no glTF magic");
    Require(U32(bytes, 4) == 2, "GLB version is not 2");
    Require(U32(bytes, 8) == bytes.size(), "GLB length differs from the file's");
    const std::uint32_t jsonLength = U32(bytes, 12);
    Require(U32(bytes, 16) == 0x4E4F534A, "first chunk is not JSON");
    Require(jsonLength % 4 == 0 && 20 + std::size_t{jsonLength} <= bytes.size(),
            "JSON chunk length");
    const json gltf = json::parse(bytes.substr(20, jsonLength));
    std::string_view bin;
    const std::size_t binAt = 20 + std::size_t{jsonLength};
    if (binAt < bytes.size()) {
        Require(binAt + 8 <= bytes.size(), "cut BIN chunk header");
        const std::uint32_t binLength = U32(bytes, binAt);
        Require(U32(bytes, binAt + 4) == 0x004E4942, "second chunk is not BIN");
        Require(binLength % 4 == 0 && binAt + 8 + binLength == bytes.size(), "BIN chunk length");
        bin = bytes.substr(binAt + 8, binLength);
        Require(gltf.at("buffers").size() == 1 &&
                    gltf["buffers"][0].at("byteLength").get<std::size_t>() <= bin.size(),
                "buffer larger than the BIN chunk");
    } else {
        Require(!gltf.contains("buffers"), "buffers without a BIN chunk");
    }
    Require(gltf.at("asset").at("version") == "2.0", "asset version");
    content.generator = gltf["asset"].value("generator", "");
    const json& scene = gltf.at("scenes").at(gltf.value("scene", 0));
    content.sceneName = scene.value("name", "");

    if (gltf.contains("images")) {
        for (const json& image : gltf["images"]) {
            const json& view = gltf.at("bufferViews").at(image.at("bufferView").get<std::size_t>());
            const std::size_t offset = view.value("byteOffset", std::size_t{0});
            const std::size_t length = view.at("byteLength").get<std::size_t>();
            Require(offset + length <= bin.size(), "image beyond the buffer");
            content.images.push_back({image.value("name", ""), image.at("mimeType"),
                                      std::string(bin.substr(offset, length))});
        }
    }
    if (gltf.contains("materials")) {
        for (const json& material : gltf["materials"]) {
            GlbMaterial m;
            m.name = material.value("name", "");
            const json& pbr = material.at("pbrMetallicRoughness");
            if (pbr.contains("baseColorTexture")) {
                const std::size_t texture = pbr["baseColorTexture"].at("index");
                m.image = gltf.at("textures").at(texture).at("source").get<int>();
                Require(m.image >= 0 && static_cast<std::size_t>(m.image) < content.images.size(),
                        "texture source out of range");
            }
            if (pbr.contains("baseColorFactor")) {
                m.colour = pbr["baseColorFactor"].get<std::vector<double>>();
            }
            const json& number = material.at("extras").at("textureNumber");
            m.hasTextureNumber = number.is_number();
            if (m.hasTextureNumber) m.textureNumber = number.get<int>();
            content.materials.push_back(m);
        }
    }
    if (!gltf.contains("meshes")) return;
    Require(gltf["meshes"].size() == 1, "one mesh");
    std::size_t attributes[4] = {0, 0, 0, 0};
    bool first = true;
    for (const json& primitive : gltf["meshes"][0].at("primitives")) {
        Require(primitive.value("mode", 4) == 4, "not triangles");
        const json& a = primitive.at("attributes");
        const std::size_t these[4] = {a.at("POSITION"), a.at("NORMAL"), a.at("TEXCOORD_0"),
                                      a.at("_BLOCK")};
        if (first) {
            std::memcpy(attributes, these, sizeof these);
            std::size_t components = 0;
            const auto positions = AccessorValues(gltf, bin, these[0], components);
            Require(components == 3, "POSITION is not VEC3");
            const auto normals = AccessorValues(gltf, bin, these[1], components);
            Require(components == 3, "NORMAL is not VEC3");
            const auto uvs = AccessorValues(gltf, bin, these[2], components);
            Require(components == 2, "TEXCOORD_0 is not VEC2");
            const auto blocks = AccessorValues(gltf, bin, these[3], components);
            Require(components == 1, "_BLOCK is not SCALAR");
            const std::size_t count = positions.size() / 3;
            Require(
                normals.size() == count * 3 && uvs.size() == count * 2 && blocks.size() == count,
                "attribute counts differ");
            for (std::size_t v = 0; v < count; ++v) {
                GlbVertex vertex{};
                for (int c = 0; c < 3; ++c) {
                    vertex.position[c] = static_cast<float>(positions[v * 3 + c]);
                    vertex.normal[c] = static_cast<float>(normals[v * 3 + c]);
                }
                vertex.uv[0] = static_cast<float>(uvs[v * 2]);
                vertex.uv[1] = static_cast<float>(uvs[v * 2 + 1]);
                vertex.block = static_cast<std::uint32_t>(blocks[v]);
                content.vertices.push_back(vertex);
            }
            const json& accessor = gltf["accessors"][these[0]];
            for (int c = 0; c < 3; ++c) {
                content.min[c] = accessor.at("min")[c].get<float>();
                content.max[c] = accessor.at("max")[c].get<float>();
            }
            first = false;
        }
        Require(std::memcmp(attributes, these, sizeof these) == 0,
                "primitives with attributes of their own");
        const std::size_t material = primitive.at("material");
        Require(material < content.materials.size(), "material out of range");
        std::size_t components = 0;
        const auto indices = AccessorValues(gltf, bin, primitive.at("indices"), components);
        Require(components == 1 && indices.size() % 3 == 0, "indices are not triangles");
        for (std::size_t i = 0; i < indices.size(); i += 3) {
            GlbTriangle triangle{};
            for (int c = 0; c < 3; ++c) {
                Require(indices[i + c] < static_cast<double>(content.vertices.size()),
                        "index beyond the vertices");
                triangle.corner[c] = static_cast<std::uint32_t>(indices[i + c]);
            }
            triangle.material = material;
            content.triangles.push_back(triangle);
        }
    }
}

}  // namespace

std::string ReadGlb(std::string_view bytes, GlbContent& content) {
    content = GlbContent{};
    try {
        Read(bytes, content);
    } catch (const Fault& fault) {
        return fault.what;
    } catch (const std::exception& e) {
        return std::string("JSON: ") + e.what();
    }
    return {};
}

}  // namespace testing_support
