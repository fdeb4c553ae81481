// Where the program's console text goes.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "run/console_text.hpp"

namespace bloktar {

// How the program's own texts reach the console. Document bytes and numbers are never
// converted.
enum class ConsoleEncoding { ShiftJis, Utf8 };

// True when the locale named for character handling uses UTF-8. The first of LC_ALL, LC_CTYPE
// and LANG that is set and not empty names the locale, as the C library takes it; its character
// set is the part after the dot ("ja_JP.UTF-8", "C.utf8"), up to a "@" modifier, or the whole
// name when it has no dot ("UTF-8"). Null stands for a variable that is not set.
bool LocaleUsesUtf8(const char* lcAll, const char* lcCtype, const char* lang);

// The program's texts are shown in UTF-8 only on a terminal whose locale uses UTF-8; a file, a
// pipe or a terminal in any other locale gets the Shift_JIS bytes.
ConsoleEncoding ChooseConsoleEncoding(bool isTerminal, bool localeUsesUtf8);

class Console {
  public:
    virtual ~Console() = default;
    // One of the program's own texts.
    virtual void Text(const ConsoleText& text) = 0;
    // Bytes passed through as they are: numbers, and text taken from the document.
    virtual void Bytes(std::string_view bytes) = 0;
    // While collecting, the texts of a report printed all at once are shown together when the
    // collecting ends, instead of one by one.
    virtual void Collect(bool /*collecting*/) {}
};

// The closing pause: skips white space, then reads one word of any length, or stops at the end
// of input.
void WaitForWord(std::FILE* input);

// Prints value as a signed decimal number.
void PrintInt(Console& console, std::int32_t value);

// Prints any integer as a decimal number.
template <typename Number>
void PrintNumber(Console& console, Number value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    console.Bytes(std::string_view(digits, static_cast<std::size_t>(written.ptr - digits)));
}

// Collects everything printed, with the program's texts in Shift_JIS.
class MemoryConsole final : public Console {
  public:
    void Text(const ConsoleText& text) override { printed.append(text.sjis); }
    void Bytes(std::string_view bytes) override { printed.append(bytes); }

    std::string printed;
};

// Prints to a stdio stream, flushing after each of the program's texts so that every stage
// label shows before the stage runs. Write errors are ignored: there is nowhere to report them.
class StreamConsole final : public Console {
  public:
    StreamConsole(std::FILE* stream, ConsoleEncoding encoding)
        : stream_(stream), encoding_(encoding) {}
    void Text(const ConsoleText& text) override;
    void Bytes(std::string_view bytes) override;
    void Collect(bool collecting) override;

  private:
    std::FILE* stream_;
    ConsoleEncoding encoding_;
    bool collecting_ = false;
};

}  // namespace bloktar
