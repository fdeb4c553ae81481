// The texture images of an exported model: what a slot's file is, and the bytes that go into the
// .glb for it. PNG and JPEG files go in as they are; BMP, TGA and GIF files are decoded and
// written again as PNG (by stb_image and stb_image_write); a WebP file goes in as it is, for the
// tools that take glTF's WebP extension, beside a one-pixel PNG of the slot's flat colour for
// the others.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace bloktar::exporter {

enum class ImageKind {
    NoName,      // the slot names no file
    Missing,     // no regular file of at most 32 MB by that name beside the input
    Unreadable,  // a file that is no image this program can read, or a broken one
    Png,         // embedded as it is
    WebP,        // embedded as it is, with a flat colour for tools without WebP
    Jpeg,        // embedded as it is
    FromBmp,     // converted to PNG
    FromTga,     // converted to PNG
    FromGif,     // its first frame converted to PNG
};

inline bool IsEmbedded(ImageKind kind) {
    return kind >= ImageKind::Png;
}

struct SlotImage {
    ImageKind kind = ImageKind::NoName;
    std::string bytes;     // the PNG, JPEG or WebP bytes to embed, when IsEmbedded(kind)
    std::string fallback;  // WebP: a one-pixel PNG of the slot's flat colour
};

// A PNG file of one pixel of the colour (sRGB, 0 to 255).
std::string OnePixelPng(const std::array<int, 3>& colour);

// True when the bytes begin like a WebP file whose first image chunk gives its size (the
// program has no WebP decoder: a file whose header is whole is taken as it is).
bool WebPHeaderWhole(std::string_view file);

// The largest image taken, in pixels per side and in all; a larger one counts as unreadable.
inline constexpr int kMaxImageSide = 16384;
inline constexpr long long kMaxImagePixels = 1LL << 26;

// Makes the slot's image from the bytes of its file, named name (whose ending tells a TGA file,
// which has no signature of its own).
void PrepareSlotImage(std::string_view name, std::string_view file, SlotImage& image);

// True when name ends in ".tga", in any case.
bool NamesTga(std::string_view name);

}  // namespace bloktar::exporter
