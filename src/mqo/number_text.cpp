#include "mqo/number_text.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "mqo/numbers.hpp"

namespace bloktar {
namespace {

std::size_t Store(char (&text)[kRealTextCapacity], const char* from, std::size_t length) {
    std::memcpy(text, from, length);
    text[length] = '\0';
    return length;
}

// The decimal digits * 10^exponent in whichever of plain and exponent notation is shorter
// (plain on a tie), as std::to_chars chooses between them: "0.001", "1e-05", "1.5e+20", "100".
std::string Render(bool negative, const std::string& digits, int exponent) {
    const int count = static_cast<int>(digits.size());
    std::string plain = negative ? "-" : "";
    const int pointAt = count + exponent;  // digits before the point
    if (exponent >= 0) {
        plain += digits + std::string(static_cast<std::size_t>(exponent), '0');
    } else if (pointAt > 0) {
        plain += digits.substr(0, static_cast<std::size_t>(pointAt)) + "." +
                 digits.substr(static_cast<std::size_t>(pointAt));
    } else {
        plain += "0." + std::string(static_cast<std::size_t>(-pointAt), '0') + digits;
    }
    std::string scientific = negative ? "-" : "";
    scientific += digits.substr(0, 1);
    if (count > 1) scientific += "." + digits.substr(1);
    const int shown = pointAt - 1;
    char tail[16];
    std::snprintf(tail, sizeof tail, "e%c%02d", shown < 0 ? '-' : '+', shown < 0 ? -shown : shown);
    scientific += tail;
    return plain.size() <= scientific.size() ? plain : scientific;
}

}  // namespace

bool ReadsBackAs(const char* text, float value) {
    return std::bit_cast<std::uint32_t>(NarrowToFloat(ParseReal(text))) ==
           std::bit_cast<std::uint32_t>(value);
}

std::size_t FormatDocumentReal(float value, char (&text)[kRealTextCapacity]) {
    if (std::isnan(value)) return 0;
    if (std::isinf(value)) return Store(text, value < 0 ? "-1e39" : "1e39", value < 0 ? 5 : 4);

    // Nearly always the shortest text that reads back as the same float directly also reads back
    // through double.
    char shortest[kRealTextCapacity];
    const auto direct = std::to_chars(shortest, shortest + kRealTextCapacity - 1, value);
    *direct.ptr = '\0';
    if (ReadsBackAs(shortest, value)) {
        return Store(text, shortest, static_cast<std::size_t>(direct.ptr - shortest));
    }

    // Where rounding through double lands on a midpoint of two floats, look at the decimals of
    // each length in turn: the one nearest value and its two neighbours. Nine significant digits
    // always do.
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(static_cast<double>(value));
    for (int precision = 1; precision <= 9; ++precision) {
        char scientific[kRealTextCapacity];
        const auto written = std::to_chars(scientific, scientific + kRealTextCapacity - 1,
                                           magnitude, std::chars_format::scientific, precision - 1);
        *written.ptr = '\0';
        // d.ddde±x: the digits and the exponent of the last one.
        const char* e = std::strchr(scientific, 'e');
        std::string digits(scientific, 1);
        if (precision > 1)
            digits.append(scientific + 2, static_cast<std::size_t>(e - (scientific + 2)));
        const int exponent = std::atoi(e + 1) - (precision - 1);
        const std::uint64_t nearest = std::stoull(digits);
        for (const int step : {0, -1, 1}) {
            if (nearest == 0 && step < 0) continue;
            const std::uint64_t candidate =
                nearest + static_cast<std::uint64_t>(std::int64_t{step});
            std::string candidateDigits = std::to_string(candidate);
            int candidateExponent = exponent;
            if (candidateDigits.size() > static_cast<std::size_t>(precision)) {
                candidateDigits.pop_back();  // 999 + 1 = 1000: one digit more, the last a zero
                ++candidateExponent;
            }
            if (candidateDigits.size() < static_cast<std::size_t>(precision) && candidate != 0) {
                continue;  // 100 - 1 = 99: a shorter decimal, seen at an earlier length
            }
            while (candidateDigits.size() > 1 && candidateDigits.back() == '0') {
                candidateDigits.pop_back();
                ++candidateExponent;
            }
            const std::string rendered = Render(negative, candidateDigits, candidateExponent);
            if (rendered.size() < kRealTextCapacity && ReadsBackAs(rendered.c_str(), value)) {
                return Store(text, rendered.c_str(), rendered.size());
            }
        }
    }
    return 0;  // not reached: nine significant digits identify every float
}

}  // namespace bloktar
