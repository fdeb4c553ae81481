#include "mqo/number_text.hpp"

#include <algorithm>
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
    int placesHint = 0;
    if (const std::size_t length = number_text_detail::FormatPlainReal(value, text, placesHint)) {
        return length;
    }
    return number_text_detail::FormatRealByDigits(value, text);
}

namespace number_text_detail {

std::size_t FormatPlainReal(float value, char (&text)[kRealTextCapacity], int& placesHint) {
    // The reader takes a decimal m / 10^k to the nearest double, then to the nearest float; for
    // an integer m below 2^53 and k up to 22 the nearest double is the quotient of the two exact
    // doubles, so a division tells whether a decimal reads back.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    constexpr int kMostPlaces = 9;
    const float magnitude = std::fabs(value);
    // Not a NaN or an infinity, and below 2^24: above, a float is an integer whose shortest
    // decimal may end in zeros that a plain integer shows.
    if (!(magnitude < 16777216.0f)) return 0;
    const double x = magnitude;
    auto readsBack = [magnitude](double m, int k) {
        return static_cast<float>(m / kPowers[k]) == magnitude;
    };
    // Half the gap to the next float up (the larger of the two gaps around it), widened by far
    // more than a rounding to double can move a decimal: a decimal further than that from x
    // (times 10^k, where the decimals are integers) surely rounds to another float, which a
    // multiplication tells before a division has to.
    const float above = std::bit_cast<float>(std::bit_cast<std::uint32_t>(magnitude) + 1);
    const double reach = static_cast<double>(above - magnitude) / 2 * 1.000001;
    auto mayReadBack = [reach](double distance, int k) { return distance <= reach * kPowers[k]; };
    // The search for the fewest places starts at the hint, where the places of the float before
    // mostly are, once the places below it are ruled out at once (the nearer neighbour of x at
    // one place fewer is beyond reach, and with it every decimal of fewer places); otherwise at
    // none.
    int places = placesHint > 0 && placesHint <= kMostPlaces ? placesHint : 0;
    if (places > 0) {
        const double under = x * kPowers[places - 1];
        const double fraction = under - static_cast<double>(static_cast<std::int64_t>(under));
        if (!(under < 1e15) || mayReadBack(std::min(fraction, 1 - fraction), places - 1)) {
            places = 0;
        }
    }
    double scaled = x * kPowers[places];
    if (!(scaled < 1e15)) return 0;
    // The fewest places k at which the decimal nearest x reads back; the products are exact (24
    // bits of the float times the at most 21 bits of 5^k) and below 10^15, so their nearest
    // integers are too. At each k passed over, both neighbours of x were ruled out, by the
    // nearer's distance alone or, where that did not do, one by one.
    double nearest;
    for (;;) {
        const double below = static_cast<double>(static_cast<std::int64_t>(scaled));
        const double fraction = scaled - below;
        nearest = fraction < 0.5 ? below : below + 1;
        if (mayReadBack(std::min(fraction, 1 - fraction), places)) {
            if (readsBack(nearest, places)) break;
            // Near a power of two the decimals that read back lie lopsided around x: the
            // farther neighbour might, which the general way would have to weigh.
            if (readsBack(nearest == below ? below + 1 : below, places)) return 0;
        }
        if (++places > kMostPlaces) return 0;
        scaled = x * kPowers[places];
        if (!(scaled < 1e15)) return 0;
    }
    // No decimal of fewer places reads back (one of fewer places is one of places - 1 too, and
    // the decimals that read back form an interval around x). Of this length, the nearest is the
    // only one, or x itself, which the general way, taking the nearest, writes too; a tie, or a
    // second one, is left to it.
    placesHint = places;
    const double distance = std::fabs(nearest - scaled);
    if (distance == 0.5) return 0;
    if (distance != 0 && mayReadBack(1 - distance, places) &&
        readsBack(nearest < scaled ? nearest + 1 : nearest - 1, places)) {
        return 0;
    }
    // Its digits, and whether plain notation is what the general way writes: the shorter of plain
    // and exponent notation, plain on a tie.
    const auto digits = static_cast<std::uint64_t>(nearest);  // below 10^15
    char number[24] = {};
    const auto written = std::to_chars(number, number + sizeof number, digits);
    const int count = static_cast<int>(written.ptr - number);
    int significant = count;
    if (places == 0) {
        while (significant > 1 && number[significant - 1] == '0') --significant;
    } else if (number[count - 1] == '0') {
        return 0;  // not reached: the decimal would have read back at fewer places
    }
    const int plainLength = places == 0 ? count : count > places ? count + 1 : places + 2;
    const int exponentLength = significant + (significant > 1 ? 1 : 0) + 4;  // d.ddde+xx
    if (plainLength > exponentLength) return 0;
    std::size_t at = 0;
    if (std::signbit(value)) text[at++] = '-';
    if (places == 0) {
        std::memcpy(text + at, number, static_cast<std::size_t>(count));
        at += static_cast<std::size_t>(count);
    } else if (count > places) {
        const auto whole = static_cast<std::size_t>(count - places);
        std::memcpy(text + at, number, whole);
        at += whole;
        text[at++] = '.';
        std::memcpy(text + at, number + whole, static_cast<std::size_t>(places));
        at += static_cast<std::size_t>(places);
    } else {
        text[at++] = '0';
        text[at++] = '.';
        for (int zero = count; zero < places; ++zero) text[at++] = '0';
        std::memcpy(text + at, number, static_cast<std::size_t>(count));
        at += static_cast<std::size_t>(count);
    }
    text[at] = '\0';
    return at;
}

std::size_t FormatRealByDigits(float value, char (&text)[kRealTextCapacity]) {
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

}  // namespace number_text_detail

RealTextCache::RealTextCache()
    : entries_(std::make_unique<Entry[]>(std::size_t{1} << kEntryBits)) {}

void RealTextCache::Fill(Entry& entry, float value) {
    char text[kRealTextCapacity];
    std::size_t length = number_text_detail::FormatPlainReal(value, text, placesHint_);
    if (length == 0) length = number_text_detail::FormatRealByDigits(value, text);
    if (length >= kTextRoom) {  // not reached: FormatDocumentReal's texts are at most 15 bytes
        entry.length = 0;
        return;
    }
    std::memcpy(entry.text, text, length);
    entry.length = static_cast<std::uint8_t>(length);
    entry.bits = std::bit_cast<std::uint32_t>(value);
}

}  // namespace bloktar
