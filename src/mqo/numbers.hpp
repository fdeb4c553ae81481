// Integers and decimal numbers as the document writes them.
//
// Both readers pass over leading white space (tab to carriage return, and space), take one
// optional sign and read as far as the text continues the number; text that does not start a
// number reads as 0. They never depend on the C library's locale.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mqo/sse2.hpp"

// The quick readers divide in float and rely on the division being exactly IEEE's, correctly
// rounded (number_detail::kPlaces says why); a fast-math build would change their results.
#if defined(__FAST_MATH__) || defined(_M_FP_FAST)
#error "the document's numbers need exact IEEE arithmetic: build without fast-math"
#endif

namespace bloktar {

// How many bytes past the terminating zero of the text the quick readers may read, when the
// text ends within the number: the caller's bytes must be readable that far.
inline constexpr std::size_t kShortFloatReadAhead = 8;      // ScanShortFloatInPiece: eight at once
inline constexpr std::size_t kLongFloatReadAhead = 8;       // ScanLongFloatInPiece's quick way
inline constexpr std::size_t kFivePlacePairReadAhead = 15;  // ScanFivePlacePair: 16 at once

inline bool IsDocumentSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a decimal integer from text, wrapping in 32-bit two's complement. Returns the cursor
// behind the last byte of the number (text itself when no digit was found).
const char* ScanInt(const char* text, std::int32_t& value);

// Reads a decimal number (digits with at most one point, an optional exponent) rounded
// correctly to double. Returns the cursor behind the number (text itself when there was no
// digit, and then value is +0).
const char* ScanReal(const char* text, double& value);

namespace number_detail {

// Powers of ten that a float holds exactly, for the decimal places of a short number; the
// second row negative, so that a negative number keeps its sign also when it is zero.
inline constexpr float kPlaces[2][8] = {{1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f},
                                        {-1e0f, -1e1f, -1e2f, -1e3f, -1e4f, -1e5f, -1e6f, -1e7f}};

// Why one division in float does for a short number: a mantissa m below 2^24 and 10^k for k up
// to 7 are exact floats, so the division rounds m / 10^k to float correctly. Rounding it to
// double first could only give another float where the double lands exactly on a midpoint of
// two floats that the quotient itself is not: but m / 10^k is either such a midpoint or, being a
// fraction with denominator 10^k times a power of two, more than 2^-47 of its size away from
// every midpoint, further than rounding to double can move it.

// Adds up the digits (0 to 9) that stand in the top count bytes of digits, the first at the
// lowest of them; the lower bytes must be zero. At most eight digits, added up pairwise.
inline std::uint64_t SumDigits(std::uint64_t digits) {
    digits = digits * 10u + (digits >> 8);
    return (((digits & 0x000000FF000000FFu) * 0x000F424000000064u) +
            (((digits >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u)) >>
           32;
}

// ScanFloatInPiece for the numbers that do not fit into eight bytes after the sign.
const char* ScanLongFloatInPiece(const char* text, float& value);

}  // namespace number_detail

// ScanFloatInPiece for the short numbers alone, those whose digits and point, behind an optional
// sign, fill at most eight bytes, which it reads from the eight bytes at once. Returns null,
// storing nothing, for any other text, also one that starts with white space.
inline const char* ScanShortFloatInPiece(const char* text, float& value) {
    static_assert(std::endian::native == std::endian::little, "the first byte is the lowest");
    const char sign = *text;
    const bool negative = sign == '-';
    const char* p = text + ((negative || sign == '+') ? 1 : 0);
    std::uint64_t bytes;
    // From the terminating zero on: eight bytes loaded, the ninth looked at behind a point.
    static_assert(sizeof bytes == kShortFloatReadAhead);
    std::memcpy(&bytes, p, sizeof bytes);
    // Digit bytes become 0 to 9; every other byte gets its top bit set in notDigit. Only a byte
    // from 0x80 up can carry into the next byte, and it is no digit itself, so the first flagged
    // byte is always the first that is no digit, and after a point the next flagged byte too.
    const std::uint64_t digits = bytes ^ 0x3030303030303030u;
    const std::uint64_t notDigit = (digits | (digits + 0x7676767676767676u)) & 0x8080808080808080u;
    if (notDigit != 0) {
        const auto first = static_cast<unsigned>(std::countr_zero(notDigit)) / 8u;
        unsigned count = first;
        unsigned places = 0;
        std::uint64_t packed = digits;
        const char* end = p + first;
        bool fits = true;
        if (*end == '.') {
            const std::uint64_t later =
                notDigit & (notDigit - 1u);  // the flag of the point cleared
            const unsigned stop =
                later != 0 ? static_cast<unsigned>(std::countr_zero(later)) / 8u : 8u;
            fits = later != 0 || !IsDigit(p[8]);
            // The digits behind the point close up over it.
            const std::uint64_t before = (std::uint64_t{1} << (8u * first)) - 1u;
            packed = (digits & before) | ((digits >> 8) & ~before);
            count = stop - 1u;
            places = stop - first - 1u;
            end = p + stop;
        }
        if (fits && count != 0 && (*end | 0x20) != 'e') {
            // At most seven digits: a mantissa below 2^24, read as kPlaces explains.
            const auto mantissa =
                static_cast<std::int32_t>(number_detail::SumDigits(packed << (64u - 8u * count)));
            value = static_cast<float>(mantissa) / number_detail::kPlaces[negative ? 1 : 0][places];
            return end;
        }
    }
    return nullptr;
}

// Reads a decimal number as ScanReal does and rounds it on to float32 as NarrowToFloat does, from
// text that may be read 16 bytes past its terminating zero, such as a piece that
// NextDocumentPiece delivers.
inline const char* ScanFloatInPiece(const char* text, float& value) {
    if (const char* end = ScanShortFloatInPiece(text, value)) return end;
    return number_detail::ScanLongFloatInPiece(text, value);
}

#ifdef BLOKTAR_SSE2
// Reads two numbers of the shape UV coordinates are written in, a digit, a point and five digits,
// separated by one space ("0.25000 1.00000"), from the 16 bytes at text, which must be readable:
// exactly as ScanFloatInPiece reads each of them when the byte behind the second (the 16th) is
// neither a digit nor an exponent's letter, which is for the caller to see. Returns false,
// storing nothing, when the first 15 bytes have any other shape.
inline bool ScanFivePlacePair(const char* text, float& first, float& second) {
    static_assert(sizeof(__m128i) - 1 == kFivePlacePairReadAhead);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i places =
        _mm_setr_epi8(-1, 0, -1, -1, -1, -1, -1, 0, -1, 0, -1, -1, -1, -1, -1, 0);
    const __m128i marks = _mm_setr_epi8(0, -1, 0, 0, 0, 0, 0, -1, 0, -1, 0, 0, 0, 0, 0, 0);
    const __m128i digits = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digits, _mm_set1_epi8(9)), digits);
    const __m128i isMark =
        _mm_cmpeq_epi8(bytes, _mm_setr_epi8(0, '.', 0, 0, 0, 0, 0, ' ', 0, '.', 0, 0, 0, 0, 0, 0));
    const __m128i fits = _mm_or_si128(_mm_and_si128(isDigit, places), _mm_and_si128(isMark, marks));
    if ((_mm_movemask_epi8(fits) & 0x7FFF) != 0x7FFF) return false;
    // The six digits of each number added up in 16-bit lanes: pairs, then groups of three, then
    // the whole; the mantissas stay below 2^24, so dividing by 10^5 in float does, as
    // number_detail::kPlaces explains.
    const __m128i clean = _mm_and_si128(digits, places);
    const __m128i zero = _mm_setzero_si128();
    const __m128i pairWeights = _mm_setr_epi16(1, 0, 10, 1, 10, 1, 1, 0);
    const __m128i pairs =
        _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(clean, zero), pairWeights),
                        _mm_madd_epi16(_mm_unpackhi_epi8(clean, zero), pairWeights));
    const __m128i triples = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 10, 1, 100, 1, 10, 1));
    const __m128i mantissas = _mm_madd_epi16(_mm_packs_epi32(triples, triples),
                                             _mm_setr_epi16(1000, 1, 1000, 1, 1000, 1, 1000, 1));
    const __m128 values = _mm_div_ps(_mm_cvtepi32_ps(mantissas), _mm_set1_ps(1e5f));
    first = _mm_cvtss_f32(values);
    second = _mm_cvtss_f32(_mm_shuffle_ps(values, values, 1));
    return true;
}
#endif

inline std::int32_t ParseInt(const char* text) {
    std::int32_t value;
    ScanInt(text, value);
    return value;
}

inline double ParseReal(const char* text) {
    double value;
    ScanReal(text, value);
    return value;
}

// Rounds a double to the nearest float32; values beyond float range become infinities.
float NarrowToFloat(double value);

// 32-bit two's-complement arithmetic that wraps instead of overflowing.
inline std::int32_t WrappingAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t WrappingSubtract(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

}  // namespace bloktar
