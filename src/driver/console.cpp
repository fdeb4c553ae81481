#include "driver/console.hpp"

#include <charconv>

namespace bloktar {

void PrintInt(Console& console, std::int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    console.Bytes(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void StreamConsole::Text(const ConsoleText& text) {
    const std::string_view bytes = encoding_ == ConsoleEncoding::Utf8 ? text.utf8 : text.sjis;
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
    std::fflush(stream_);
}

void StreamConsole::Bytes(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
}

}  // namespace bloktar
