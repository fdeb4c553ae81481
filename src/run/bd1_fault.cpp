#include "run/bd1_fault.hpp"

#include <charconv>
#include <cstdint>
#include <string_view>

namespace bloktar {
void PrintBd1Fault(const Bd1Reading& reading, const ConsoleText& negativeCount, Console& console) {
    switch (reading.fault) {
        case Bd1Fault::None:
            return;
        case Bd1Fault::TooShort:
            console.Text(text::kBd1TooShort);
            PrintNumber(console, reading.length);
            console.Text(text::kBd1Bytes);
            break;
        case Bd1Fault::NegativeCount:
            console.Text(negativeCount);
            PrintNumber(console, reading.blockCount);
            break;
        case Bd1Fault::LengthMismatch:
            console.Text(text::kBd1LengthMismatch);
            PrintNumber(console, reading.length);
            console.Text(text::kBd1Bytes);
            console.Text(text::kBd1ExpectedLength);
            PrintNumber(console, reading.blockCount);
            console.Text(text::kBd1ExpectedLengthThen);
            PrintNumber(console, sizeof(Bd1Header) + sizeof(Bd1Block) * static_cast<std::uint64_t>(
                                                                            reading.blockCount));
            console.Text(text::kBd1Bytes);
            console.Bytes(")");
            break;
        case Bd1Fault::FlagNotOne:
            console.Text(text::kBd1Block);
            PrintNumber(console, reading.faultyBlock);
            console.Text(text::kBd1FlagNotOne);
            PrintNumber(console, reading.faultyFlag);
            break;
    }
    console.Text(text::kNewline);
}

}  // namespace bloktar
