// Reading the PNG files that a browser renders: 8-bit RGB or RGBA, not interlaced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct Rgb {
    std::uint8_t r, g, b;
};

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<Rgb> pixels;  // row by row, alpha dropped
};

// Decodes bytes into image; returns an empty string, or what is wrong with the file.
std::string DecodePng(const std::string& bytes, Image& image);

}  // namespace testing_support
