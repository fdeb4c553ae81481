#include "mqo/numbers.hpp"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace bloktar {
namespace {

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;
constexpr std::uint64_t kLargestExactMantissa = std::uint64_t{1} << 53;
constexpr int kMantissaDigits = 19;  // decimal digits that always fit in 64 bits
constexpr std::int64_t kExponentCap = 1000000;

constexpr std::uint64_t kIntegerPowersOfTen[] = {1,     10,     100,     1000,
                                                 10000, 100000, 1000000, 10000000};

// Reads the digits at text, eight bytes at once: returns how many of the eight bytes are digits
// before the first that is not (8 when all are) and stores the value of those digits. Reads
// text[0] to text[7] whatever they hold.
unsigned ReadEightDigits(const char* text, std::uint64_t& value) {
    std::uint64_t bytes;
    // Loaded at the terminating zero at the latest, they reach this far past it.
    static_assert(sizeof bytes - 1 <= kLongFloatReadAhead);
    std::memcpy(&bytes, text, sizeof bytes);
    const std::uint64_t digits = bytes ^ 0x3030303030303030u;
    const std::uint64_t notDigit = (digits | (digits + 0x7676767676767676u)) & 0x8080808080808080u;
    const unsigned count =
        notDigit == 0 ? 8u : static_cast<unsigned>(std::countr_zero(notDigit)) / 8u;
    value = count == 0 ? 0 : number_detail::SumDigits(digits << (64u - 8u * count));
    return count;
}

const char* SkipSpace(const char* p) {
    while (IsDocumentSpace(*p)) ++p;
    return p;
}

}  // namespace

const char* ScanInt(const char* text, std::int32_t& value) {
    const char* p = SkipSpace(text);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (!IsDigit(*p)) {
        value = 0;
        return text;
    }
    std::uint32_t magnitude = 0;
    while (IsDigit(*p)) {
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(*p - '0');
        ++p;
    }
    if (negative) magnitude = 0u - magnitude;
    value = static_cast<std::int32_t>(magnitude);
    return p;
}

const char* ScanReal(const char* text, double& value) {
    const char* p = SkipSpace(text);
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* numberStart = p;

    // The first 19 significant digits go into mantissa; exponent counts the decimal places.
    std::uint64_t mantissa = 0;
    int significant = 0;
    std::int64_t exponent = 0;
    bool inexact = false;  // a nonzero digit did not fit into mantissa
    bool anyDigit = false;
    for (; IsDigit(*p); ++p) {
        anyDigit = true;
        if (significant < kMantissaDigits) {
            mantissa = mantissa * 10u + static_cast<std::uint64_t>(*p - '0');
            if (mantissa != 0) ++significant;
        } else {
            inexact |= *p != '0';
            ++exponent;
        }
    }
    if (*p == '.') {
        ++p;
        for (; IsDigit(*p); ++p) {
            anyDigit = true;
            if (significant < kMantissaDigits) {
                mantissa = mantissa * 10u + static_cast<std::uint64_t>(*p - '0');
                if (mantissa != 0) ++significant;
                --exponent;
            } else {
                inexact |= *p != '0';
            }
        }
    }
    if (!anyDigit) {
        value = 0.0;
        return text;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        const bool exponentNegative = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            std::int64_t written = 0;
            for (; IsDigit(*q); ++q) {
                if (written < kExponentCap) written = written * 10 + (*q - '0');
            }
            exponent += exponentNegative ? -written : written;
            p = q;
        }
    }

    double magnitude;
    if (mantissa == 0) {
        magnitude = 0.0;
    } else if (!inexact && mantissa <= kLargestExactMantissa && exponent >= -kLargestExactPower &&
               exponent <= kLargestExactPower) {
        // Both operands are exact, so one multiplication or division rounds correctly.
        const double m = static_cast<double>(mantissa);
        magnitude =
            exponent >= 0 ? m * kExactPowersOfTen[exponent] : m / kExactPowersOfTen[-exponent];
    } else {
        const auto result = std::from_chars(numberStart, p, magnitude, std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            // Out of double range: too large when the leading digit stands at 10^0 or above.
            const bool tooLarge = significant - 1 + exponent >= 0;
            magnitude = tooLarge ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (result.ec != std::errc{} || result.ptr != p) {
            magnitude = 0.0;  // cannot happen for the text scanned above
        }
    }
    value = negative ? -magnitude : magnitude;
    return p;
}

namespace number_detail {

const char* ScanLongFloatInPiece(const char* text, float& value) {
    // At most seven digits on each side of the point, eight at a time.
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::uint64_t whole;
    const unsigned wholeDigits = ReadEightDigits(p, whole);
    if (wholeDigits < 8) {
        const char* end = p + wholeDigits;
        std::uint64_t fraction = 0;
        unsigned fractionDigits = 0;
        if (*end == '.') {
            fractionDigits = ReadEightDigits(end + 1, fraction);
            end += 1 + fractionDigits;
        }
        if (fractionDigits < 8 && wholeDigits + fractionDigits > 0 && *end != 'e' && *end != 'E') {
            // At most 14 digits: exact as a double, so the one division rounds correctly.
            const auto mantissa =
                static_cast<double>(whole * kIntegerPowersOfTen[fractionDigits] + fraction);
            const auto magnitude = static_cast<float>(mantissa / kExactPowersOfTen[fractionDigits]);
            value = negative ? -magnitude : magnitude;
            return end;
        }
    }
    // Everything else the general way.
    double wide;
    const char* end = ScanReal(text, wide);
    value = NarrowToFloat(wide);
    return end;
}

}  // namespace number_detail

float NarrowToFloat(double value) {
    // From FLT_MAX plus half of its last unit on, round-to-nearest gives infinity.
    constexpr double kRoundsToInfinity = 0x1.ffffffp127;
    constexpr double kLargest = std::numeric_limits<float>::max();
    if (value >= kRoundsToInfinity) return std::numeric_limits<float>::infinity();
    if (value <= -kRoundsToInfinity) return -std::numeric_limits<float>::infinity();
    if (value > kLargest) return std::numeric_limits<float>::max();
    if (value < -kLargest) return std::numeric_limits<float>::lowest();
    return static_cast<float>(value);
}

}  // namespace bloktar
