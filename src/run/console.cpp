#include "run/console.hpp"

#include <charconv>

namespace bloktar {
namespace {

bool IsSet(const char* variable) {
    return variable != nullptr && *variable != '\0';
}

bool IsPauseSpace(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

void WaitForWord(std::FILE* input) {
    int c = std::getc(input);
    while (c != EOF && IsPauseSpace(c)) c = std::getc(input);
    while (c != EOF && !IsPauseSpace(c)) c = std::getc(input);
}

bool LocaleUsesUtf8(const char* lcAll, const char* lcCtype, const char* lang) {
    const char* name = IsSet(lcAll) ? lcAll : IsSet(lcCtype) ? lcCtype : IsSet(lang) ? lang : "";
    std::string_view locale(name);
    locale = locale.substr(0, locale.find('@'));
    const std::size_t dot = locale.find('.');
    const std::string_view codeset =
        dot == std::string_view::npos ? locale : locale.substr(dot + 1);
    // Spelled "UTF-8", "utf8", "UTF8" and so on: compare without case, hyphens or underscores.
    std::string folded;
    for (const char c : codeset) {
        if (c != '-' && c != '_') folded += LowerAscii(c);
    }
    return folded == "utf8";
}

ConsoleEncoding ChooseConsoleEncoding(bool isTerminal, bool localeUsesUtf8) {
    return isTerminal && localeUsesUtf8 ? ConsoleEncoding::Utf8 : ConsoleEncoding::ShiftJis;
}

void PrintInt(Console& console, std::int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    console.Bytes(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

void StreamConsole::Text(const ConsoleText& text) {
    const std::string_view bytes = encoding_ == ConsoleEncoding::Utf8 ? text.utf8 : text.sjis;
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
    if (!collecting_) std::fflush(stream_);
}

void StreamConsole::Collect(bool collecting) {
    collecting_ = collecting;
    if (!collecting) std::fflush(stream_);
}

void StreamConsole::Bytes(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
}

}  // namespace bloktar
