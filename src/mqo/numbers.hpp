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

#include "mqo/simd.hpp"

// The quick readers divide in float and rely on the division being exactly IEEE's, correctly
// rounded (number_detail::kPlaces says why); a fast-math build would change their results.
#if defined(__FAST_MATH__) || defined(_M_FP_FAST)
#error "the document's numbers need exact IEEE arithmetic: build without fast-math"
#endif

namespace bloktar {

// How many bytes past the terminating zero of the text the quick readers may read, when the
// text ends within the number: the caller's bytes must be readable that far.
inline constexpr std::size_t kLongFloatReadAhead = 8;       // ScanLongFloatInPiece's quick way
inline constexpr std::size_t kFivePlacePairReadAhead = 15;  // ScanFivePlacePair: 16 at once
inline constexpr std::size_t kCompactFloatReadAhead = 15;   // ScanCompactFloatInPiece: 16 at once

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

// Powers of ten that a double holds exactly.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kLargestExactPower = 22;

// Bit i set where text[i] is no digit, for i from 0 to 15, which it reads.
inline unsigned NotDigitMask(const char* text) {
#ifdef BLOKTAR_USE_SSE2
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    // '0' to '9' become the ten lowest signed bytes.
    const __m128i moved = _mm_add_epi8(bytes, _mm_set1_epi8(0x80 - '0'));
    const __m128i digit = _mm_cmplt_epi8(moved, _mm_set1_epi8(-0x80 + 10));
    return static_cast<unsigned>(_mm_movemask_epi8(digit)) ^ 0xFFFFu;
#else
    unsigned mask = 0;
    for (unsigned half = 0; half < 2; ++half) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text + 8 * half, sizeof bytes);
        const std::uint64_t digits = bytes ^ 0x3030303030303030u;
        // Exact for every byte: with the top bits set apart no byte carries into the next.
        const std::uint64_t flags =
            (digits | ((digits & 0x7F7F7F7F7F7F7F7Fu) + 0x7676767676767676u)) & 0x8080808080808080u;
        // The eight flags gathered into the top byte, the first byte's flag lowest.
        mask |= static_cast<unsigned>(((flags >> 7) * 0x0102040810204080u) >> 56) << (8 * half);
    }
    return mask;
#endif
}

// The bytes 0 to n - 1 of 16 held in two little-endian words, set.
struct LaneMask {
    std::uint64_t low;
    std::uint64_t high;
};
inline constexpr auto kLanesBelow = [] {
    struct {
        LaneMask lanes[17];
    } table{};
    for (unsigned n = 0; n <= 16; ++n) {
        table.lanes[n].low = n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1;
        table.lanes[n].high = n <= 8    ? 0
                              : n >= 16 ? ~std::uint64_t{0}
                                        : (std::uint64_t{1} << (8 * (n - 8))) - 1;
    }
    return table;
}();
// The lanes 1 to n - 1.
inline constexpr auto kDigitLanes = [] {
    auto table = kLanesBelow;
    for (LaneMask& lanes : table.lanes) lanes.low &= ~std::uint64_t{0xFF};
    return table;
}();

}  // namespace number_detail

// ScanFloatInPiece for the numbers whose digits and point, behind an optional sign, fill at most
// 15 of the 16 bytes it reads at once (an integer 15 bytes, a point anywhere among the first 15),
// followed by an optional exponent of one or two digits that leaves the value within an exact
// power of ten of its digits. Returns null, storing nothing, for any other text, also one that
// starts with white space.
//
// The digits are closed up over the point into lanes 1 to stop - 1 of the 16 bytes, so that,
// taken as a 16-digit integer, they hold the number's digits times 10^(16 - stop): below 10^15,
// exact as a double. Whatever the point's place, that integer times 10^(whole - 15) is the value
// of the digits (whole: the digits before the point), and one multiplication or division by an
// exact power of ten rounds it correctly to double, as the general reader does; then to float.
// When the digits close up within the first eight lanes and no exponent follows, the first eight
// lanes alone, below 10^7, divided by 10^(7 - whole) in float give the same float, as
// number_detail::kPlaces explains.
inline const char* ScanCompactFloatInPiece(const char* text, float& value) {
    static_assert(std::endian::native == std::endian::little, "the first byte is the lowest");
    const char sign = *text;
    const bool negative = sign == '-';
    const char* p = text + ((negative || sign == '+') ? 1 : 0);
    // From the terminating zero on: 16 bytes loaded, the byte behind 16 digits looked at.
    static_assert(sizeof(std::uint64_t) * 2 - 1 == kCompactFloatReadAhead);
    const unsigned notDigit = number_detail::NotDigitMask(p) | 0x10000u;
    const auto whole = static_cast<unsigned>(std::countr_zero(notDigit));
    const char* end = p + whole;
    const bool point = *end == '.';
    unsigned stop = whole + 1;  // the closed-up digits end before this lane
    if (point) {
        stop = static_cast<unsigned>(std::countr_zero(notDigit & (notDigit - 1u)));
        end = p + stop;
    }
    // No digit; or digits that may go on beyond the 16 bytes.
    if (stop < 2 || stop + (point ? 1u : 0u) > 16) return nullptr;
    const bool exponentFollows = (*end | 0x20) == 'e';

#ifdef BLOKTAR_USE_SSE2
    // The same closing up in one register, then the 16 digits added up in 16- and 32-bit lanes:
    // pairs, groups of four, then the two halves of eight.
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i moved = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(&number_detail::kLanesBelow.lanes[whole + 1]));
    const __m128i kept =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(&number_detail::kDigitLanes.lanes[stop]));
    const __m128i closed =
        _mm_and_si128(_mm_sub_epi8(_mm_or_si128(_mm_and_si128(moved, _mm_slli_si128(bytes, 1)),
                                                _mm_andnot_si128(moved, bytes)),
                                   _mm_set1_epi8('0')),
                      kept);
    const __m128i zero = _mm_setzero_si128();
    const __m128i tens = _mm_setr_epi16(10, 1, 10, 1, 10, 1, 10, 1);
    const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(closed, zero), tens),
                                          _mm_madd_epi16(_mm_unpackhi_epi8(closed, zero), tens));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    const __m128i eights = _mm_madd_epi16(_mm_packs_epi32(fours, fours),
                                          _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
    const auto firstEight = static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights));
    if (stop <= 8 && !exponentFollows) {
        value = static_cast<float>(static_cast<std::int32_t>(firstEight)) /
                number_detail::kPlaces[negative ? 1 : 0][7 - whole];
        return end;
    }
    const auto lastEight = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
    const std::uint64_t digits = std::uint64_t{firstEight} * 100000000u + lastEight;
#else
    std::uint64_t low;
    std::memcpy(&low, p, sizeof low);
    // Lanes 1 to whole take the byte one lane before them, the others keep theirs; only lanes 1
    // to stop - 1 are kept, as digits 0 to 9.
    const number_detail::LaneMask moved = number_detail::kLanesBelow.lanes[whole + 1];
    const number_detail::LaneMask kept = number_detail::kDigitLanes.lanes[stop];
    const std::uint64_t digitsLow =
        ((((low << 8) & moved.low) | (low & ~moved.low)) ^ 0x3030303030303030u) & kept.low;
    if (stop <= 8 && !exponentFollows) {
        const auto mantissa = static_cast<std::int32_t>(number_detail::SumDigits(digitsLow));
        value = static_cast<float>(mantissa) / number_detail::kPlaces[negative ? 1 : 0][7 - whole];
        return end;
    }
    std::uint64_t high;
    std::memcpy(&high, p + 8, sizeof high);
    const std::uint64_t movedHigh = (high << 8) | (low >> 56);
    const std::uint64_t digitsHigh =
        (((movedHigh & moved.high) | (high & ~moved.high)) ^ 0x3030303030303030u) & kept.high;
    const std::uint64_t digits =
        number_detail::SumDigits(digitsLow) * 100000000u + number_detail::SumDigits(digitsHigh);

#endif

    int exponent = static_cast<int>(whole) - 15;
    if (exponentFollows) {
        const char* q = end + 1;
        const bool down = *q == '-';
        if (*q == '-' || *q == '+') ++q;
        if (IsDigit(*q)) {
            int written = *q++ - '0';
            if (IsDigit(*q)) written = written * 10 + (*q++ - '0');
            if (IsDigit(*q)) return nullptr;  // three digits or more: the general way
            exponent += down ? -written : written;
            end = q;
        }
        if (exponent < -number_detail::kLargestExactPower ||
            exponent > number_detail::kLargestExactPower) {
            return nullptr;
        }
    }
    const auto mantissa = static_cast<double>(static_cast<std::int64_t>(digits));
    const double magnitude = exponent < 0 ? mantissa / number_detail::kExactPowersOfTen[-exponent]
                                          : mantissa * number_detail::kExactPowersOfTen[exponent];
    // Below 10^37: within float range.
    const auto narrowed = static_cast<float>(magnitude);
    value = negative ? -narrowed : narrowed;
    return end;
}

#ifdef BLOKTAR_USE_AVX2
namespace number_detail {

// For a number whose digits stand in lanes 0 to end - 1 of 16 bytes, but for a point in lane
// point (point == end when there is none), the byte shuffle that gathers the digits into the
// last lanes, the last digit in lane 15, and zeros the lanes before them. Indexed [point][end].
struct alignas(16) DigitShuffle {
    std::int8_t lanes[16];
};
inline constexpr auto kRightAlignedDigits = [] {
    struct {
        DigitShuffle at[16][16];
    } table{};
    for (int point = 0; point < 16; ++point) {
        for (int end = point; end < 16; ++end) {
            DigitShuffle& shuffle = table.at[point][end];
            for (std::int8_t& lane : shuffle.lanes) lane = -128;  // a zero
            int lane = 15;
            for (int i = end - 1; i >= 0; --i) {
                if (i != point) shuffle.lanes[lane--] = static_cast<std::int8_t>(i);
            }
        }
    }
    return table;
}();

// Exact powers of ten up to 10^14, then the same negative, so that a negative number keeps its
// sign also when it is zero.
inline constexpr auto kSignedPowersOfTen = [] {
    struct {
        double powers[2][16];
    } table{};
    for (int k = 0; k < 16; ++k) {
        table.powers[0][k] = kExactPowersOfTen[k];
        table.powers[1][k] = -kExactPowersOfTen[k];
    }
    return table;
}();

}  // namespace number_detail

// ScanCompactFloatInPiece for processors with wide vectors: the same numbers, the same floats,
// the same bytes taken. A number without an exponent, whose digits and point fill at most 15 of
// the 16 bytes it reads, has its digits gathered by one shuffle into the last lanes and added up
// there, at most 15 digits, exact as a double: one division by an exact power of ten rounds the
// value correctly to double, as the general reader does; then to float. Everything else is for
// ScanCompactFloatInPiece.
BLOKTAR_AVX2_TARGET inline const char* ScanCompactFloatShuffled(const char* text, float& value) {
    const char sign = *text;
    const unsigned negative = sign == '-' ? 1u : 0u;
    const char* p = text + ((negative != 0 || sign == '+') ? 1 : 0);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i digits = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const auto isDigit = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(digits, _mm_set1_epi8(9)), digits)));
    const auto isPoint =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
    const unsigned notDigit = isDigit ^ 0x1FFFFu;  // bit 16: past the bytes read
    const auto whole = static_cast<unsigned>(std::countr_zero(notDigit));
    const unsigned point = (isPoint >> whole) & 1u;
    const unsigned end =
        point != 0 ? static_cast<unsigned>(std::countr_zero(notDigit & (notDigit - 1u))) : whole;
    // No digit, digits that may go on past the 15th byte, or an exponent.
    if (end - point == 0 || end > 15 || (p[end] | 0x20) == 'e') {
        return ScanCompactFloatInPiece(text, value);
    }
    const __m128i gathered =
        _mm_shuffle_epi8(digits, _mm_load_si128(reinterpret_cast<const __m128i*>(
                                     &number_detail::kRightAlignedDigits.at[whole][end])));
    // Pairs, groups of four, then the two halves of eight, the first half the higher digits.
    const __m128i pairs = _mm_maddubs_epi16(gathered, _mm_set1_epi16(0x010A));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));
    const __m128i eights =
        _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(0x00012710));
    const auto halves = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
    const std::uint64_t mantissa = (halves & 0xFFFFFFFFu) * 100000000u + (halves >> 32);
    const unsigned places = point != 0 ? end - whole - 1u : 0u;
    const double magnitude = static_cast<double>(static_cast<std::int64_t>(mantissa)) /
                             number_detail::kSignedPowersOfTen.powers[negative][places];
    value = static_cast<float>(magnitude);
    return p + end;
}
#endif

// Reads a decimal number as ScanReal does and rounds it on to float32 as NarrowToFloat does, from
// text that may be read 16 bytes past its terminating zero, such as a piece that
// NextDocumentPiece delivers.
inline const char* ScanFloatInPiece(const char* text, float& value) {
    if (const char* end = ScanCompactFloatInPiece(text, value)) return end;
    return number_detail::ScanLongFloatInPiece(text, value);
}

#ifdef BLOKTAR_USE_SSE2
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
