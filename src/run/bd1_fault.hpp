// Why a BD1 file was refused, in the words every program that reads BD1 files prints.
#pragma once

#include "bd1/bd1_reader.hpp"
#include "run/console.hpp"

namespace bloktar {

// Prints the reader's fault with its numbers, ending the line; nothing for a file it accepted.
// The programs name a negative block count differently (the inspector as the file's, the
// reverse conversion as its header's), so negativeCount is the caller's words before the count.
void PrintBd1Fault(const Bd1Reading& reading, const ConsoleText& negativeCount, Console& console);

}  // namespace bloktar
