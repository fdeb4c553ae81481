#include "export/images.hpp"

#include <climits>
#include <cstdint>
#include <memory>

#include "export/stb.hpp"

namespace bloktar::exporter {
namespace {

struct PixelsFree {
    void operator()(unsigned char* pixels) const { stbi_image_free(pixels); }
};

bool FitsInt(std::string_view bytes) {
    return bytes.size() <= static_cast<std::size_t>(INT_MAX);
}

const unsigned char* Data(std::string_view bytes) {
    return reinterpret_cast<const unsigned char*>(bytes.data());
}

// The image's size when its header says it is one stb_image reads, within the limits.
bool SizeWithinLimits(std::string_view file) {
    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(Data(file), static_cast<int>(file.size()), &width, &height,
                               &channels)) {
        return false;
    }
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           static_cast<long long>(width) * height <= kMaxImagePixels;
}

// Decodes the whole image; with png, writes it again as PNG into png.
bool Decode(std::string_view file, std::string* png) {
    if (!FitsInt(file) || !SizeWithinLimits(file)) return false;
    int width = 0, height = 0, channels = 0;
    const std::unique_ptr<unsigned char, PixelsFree> pixels(stbi_load_from_memory(
        Data(file), static_cast<int>(file.size()), &width, &height, &channels, 0));
    if (pixels == nullptr) return false;
    if (png == nullptr) return true;
    png->clear();
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                                   static_cast<std::size_t>(size));
    };
    return stbi_write_png_to_func(append, png, width, height, channels, pixels.get(),
                                  width * channels) != 0;
}

}  // namespace

std::string OnePixelPng(const std::array<int, 3>& colour) {
    const unsigned char pixel[3] = {static_cast<unsigned char>(colour[0]),
                                    static_cast<unsigned char>(colour[1]),
                                    static_cast<unsigned char>(colour[2])};
    std::string png;
    const auto append = [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                                   static_cast<std::size_t>(size));
    };
    stbi_write_png_to_func(append, &png, 1, 1, 3, pixel, 3);
    return png;
}

bool WebPHeaderWhole(std::string_view file) {
    // "RIFF", the size of what follows, "WEBP", then the first chunk: its tag and size.
    if (file.size() < 30 || !file.starts_with("RIFF") || file.substr(8, 4) != "WEBP") return false;
    const auto byte = [&](std::size_t at) {
        return std::uint32_t{static_cast<unsigned char>(file[at])};
    };
    const std::uint32_t riffSize = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
    if (riffSize < 22 || riffSize > file.size() - 8) return false;
    const std::string_view tag = file.substr(12, 4);
    if (tag == "VP8 ") {
        // A key frame's tag (3 bytes), its start code, then the 14-bit width and height.
        return byte(23) == 0x9D && byte(24) == 0x01 && byte(25) == 0x2A &&
               ((byte(26) | byte(27) << 8) & 0x3FFF) != 0 &&
               ((byte(28) | byte(29) << 8) & 0x3FFF) != 0;
    }
    if (tag == "VP8L") return byte(20) == 0x2F;
    return tag == "VP8X";
}

bool NamesTga(std::string_view name) {
    if (name.size() < 4) return false;
    const std::string_view ending = name.substr(name.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) {
        char c = ending[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != ".tga"[i]) return false;
    }
    return true;
}

void PrepareSlotImage(std::string_view name, std::string_view file, SlotImage& image) {
    image.bytes.clear();
    ImageKind kind = ImageKind::Unreadable;
    if (file.starts_with("\x89PNG\r\n\x1a\n")) {
        kind = ImageKind::Png;
    } else if (file.starts_with("\xFF\xD8\xFF")) {
        kind = ImageKind::Jpeg;
    } else if (file.starts_with("BM")) {
        kind = ImageKind::FromBmp;
    } else if (file.starts_with("GIF87a") || file.starts_with("GIF89a")) {
        kind = ImageKind::FromGif;
    } else if (file.size() >= 12 && file.starts_with("RIFF") && file.substr(8, 4) == "WEBP") {
        image.kind = WebPHeaderWhole(file) ? ImageKind::WebP : ImageKind::Unreadable;
        if (image.kind == ImageKind::WebP) image.bytes.assign(file);
        return;
    } else if (NamesTga(name)) {
        kind = ImageKind::FromTga;
    }
    bool readable = false;
    if (kind == ImageKind::Png || kind == ImageKind::Jpeg) {
        // Embedded as they are, once the whole image has been seen to decode.
        readable = Decode(file, nullptr);
        if (readable) image.bytes.assign(file);
    } else if (kind != ImageKind::Unreadable) {
        readable = Decode(file, &image.bytes);
    }
    image.kind = readable ? kind : ImageKind::Unreadable;
    if (!readable) image.bytes.clear();
}

}  // namespace bloktar::exporter
