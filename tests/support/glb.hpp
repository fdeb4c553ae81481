// Reading a binary glTF file as bloktar-export writes it, with a JSON library of its own, to look
// at every vertex and triangle. The reader checks what every consumer relies on: the GLB header
// and chunks, buffer views inside the buffer, accessors inside their views, indices naming
// vertices that exist.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct GlbVertex {
    float position[3];
    float normal[3];
    float uv[2];
    std::uint32_t block;
};

struct GlbTriangle {
    std::uint32_t corner[3];
    std::size_t material;
};

struct GlbMaterial {
    std::string name;
    bool hasTextureNumber = false;  // extras.textureNumber is a number, not null
    int textureNumber = -1;
    int image = -1;              // the image of its base colour texture, or -1
    std::vector<double> colour;  // its base colour factor, when it has one
};

struct GlbImage {
    std::string name;
    std::string mimeType;
    std::string bytes;
};

struct GlbContent {
    std::string generator;
    std::string sceneName;
    std::vector<GlbVertex> vertices;
    std::vector<GlbTriangle> triangles;
    std::vector<GlbMaterial> materials;
    std::vector<GlbImage> images;
    float min[3] = {0, 0, 0};
    float max[3] = {0, 0, 0};
};

// Reads the whole file; returns an empty string, or what is wrong with it.
std::string ReadGlb(std::string_view bytes, GlbContent& content);

}  // namespace testing_support
