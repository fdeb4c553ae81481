// Numbers written as document text, so that the reader takes them back exactly.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace bloktar {

// Room for any text FormatDocumentReal writes, with a terminating zero.
inline constexpr std::size_t kRealTextCapacity = 32;

// Writes value as the shortest decimal that the reader (decimal to double, rounded to float32)
// turns back into exactly value, bit for bit, followed by a zero byte: negative zero as "-0",
// infinities as "1e39" and "-1e39" (the reader takes "inf" for 0). Among decimals of the
// shortest length the one nearest value is taken; the notation is plain or with an exponent,
// whichever is shorter, as std::to_chars writes it. A NaN has no such text: nothing is written
// and 0 returned. Otherwise returns the length.
std::size_t FormatDocumentReal(float value, char (&text)[kRealTextCapacity]);

namespace number_text_detail {
// FormatDocumentReal's quick way, for the floats a short decimal in plain notation stands for
// (coordinates and UV values as documents write them): the decimal of fewest places that reads
// back, written only where it is provably the text the general way writes. Returns 0, writing
// nothing, wherever it cannot tell; bloktar-realcheck compares it with the general way. The text
// does not depend on placesHint, where the search for the places starts; it is set to the places
// found, for the next float, which mostly has as many.
std::size_t FormatPlainReal(float value, char (&text)[kRealTextCapacity], int& placesHint);
// FormatDocumentReal's general way: std::to_chars' shortest text, or a search of the decimals
// of each length where that does not read back.
std::size_t FormatRealByDigits(float value, char (&text)[kRealTextCapacity]);
}  // namespace number_text_detail

// The texts of recently written floats, by their bits, for a writer of many: a box's corners
// share each coordinate with three others, and a model's UV values repeat. One per writer; not
// for sharing between threads.
class RealTextCache {
  public:
    RealTextCache();

    // How far a text's bytes may be read, whatever its length (at most 15): a writer may copy
    // this many at once and keep the text's length.
    static constexpr std::size_t kTextRoom = 16;

    // FormatDocumentReal's text of value; empty for a NaN.
    std::string_view Text(float value) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        Entry& entry = entries_[(bits * 2654435761u) >> (32 - kEntryBits)];
        if (entry.length == 0 || entry.bits != bits) Fill(entry, value);
        return {entry.text, entry.length};
    }

  private:
    struct Entry {
        std::uint32_t bits = 0;
        std::uint8_t length = 0;  // 0: empty, or a NaN's
        char text[kRealTextCapacity - 5];
    };
    static_assert(sizeof(Entry) == kRealTextCapacity);
    static_assert(sizeof(Entry::text) >= kTextRoom);
    static constexpr int kEntryBits = 12;
    void Fill(Entry& entry, float value);

    std::unique_ptr<Entry[]> entries_;
    int placesHint_ = 0;
};

// True when the reader, given text, stores exactly the bits of value.
bool ReadsBackAs(const char* text, float value);

}  // namespace bloktar
