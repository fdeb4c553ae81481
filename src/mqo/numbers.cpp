#include "mqo/numbers.hpp"

#include <charconv>
#include <cstdint>
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
