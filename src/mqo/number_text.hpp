// Numbers written as document text, so that the reader takes them back exactly.
#pragma once

#include <cstddef>

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

// True when the reader, given text, stores exactly the bits of value.
bool ReadsBackAs(const char* text, float value);

}  // namespace bloktar
