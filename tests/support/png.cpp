#include "support/png.hpp"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace testing_support {
namespace {

std::uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return value;
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

}  // namespace

std::string DecodePng(const std::string& bytes, Image& image) {
    if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return "no PNG signature";
    std::string compressed;
    std::size_t channels = 0;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = BigEndian32(bytes, at);
        const std::string type = bytes.substr(at + 4, 4);
        if (at + 12 + length > bytes.size()) return "chunk " + type + " runs past the end";
        const std::size_t data = at + 8;
        if (type == "IHDR") {
            image.width = BigEndian32(bytes, data);
            image.height = BigEndian32(bytes, data + 4);
            const int depth = static_cast<std::uint8_t>(bytes[data + 8]);
            const int colour = static_cast<std::uint8_t>(bytes[data + 9]);
            const int interlace = static_cast<std::uint8_t>(bytes[data + 12]);
            if (depth != 8 || (colour != 2 && colour != 6) || interlace != 0) {
                return "not 8-bit RGB or RGBA without interlacing";
            }
            channels = colour == 2 ? 3 : 4;
        } else if (type == "IDAT") {
            compressed.append(bytes, data, length);
        } else if (type == "IEND") {
            break;
        }
        at += 12 + length;
    }
    if (channels == 0) return "no IHDR chunk";
    if (image.width == 0 || image.height == 0 || image.width > 10000 || image.height > 10000) {
        return "implausible size";
    }

    const std::size_t stride = image.width * channels;
    std::vector<std::uint8_t> raw((stride + 1) * image.height);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(compressed.data()),
                   static_cast<uLong>(compressed.size())) != Z_OK ||
        rawSize != raw.size()) {
        return "image data does not inflate to its size";
    }

    // Undo each row's filter, against the row above (zeros above the first).
    std::vector<std::uint8_t> previous(stride, 0);
    std::vector<std::uint8_t> row(stride);
    image.pixels.clear();
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* line = raw.data() + y * (stride + 1);
        const int filter = line[0];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= channels ? row[i - channels] : 0;
            const int b = previous[i];
            const int c = i >= channels ? previous[i - channels] : 0;
            int predictor = 0;
            switch (filter) {
                case 0:
                    predictor = 0;
                    break;
                case 1:
                    predictor = a;
                    break;
                case 2:
                    predictor = b;
                    break;
                case 3:
                    predictor = (a + b) / 2;
                    break;
                case 4:
                    predictor = Paeth(a, b, c);
                    break;
                default:
                    return "unknown row filter";
            }
            row[i] = static_cast<std::uint8_t>(line[1 + i] + predictor);
        }
        for (std::size_t x = 0; x < image.width; ++x) {
            image.pixels.push_back(
                {row[x * channels], row[x * channels + 1], row[x * channels + 2]});
        }
        previous = row;
    }
    return "";
}

}  // namespace testing_support
