// Integers and decimal numbers as the document writes them.
//
// Both readers pass over leading white space (tab to carriage return, and space), take one
// optional sign and read as far as the text continues the number; text that does not start a
// number reads as 0. They never depend on the C library's locale.
#pragma once

#include <cstdint>

namespace bloktar {

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
