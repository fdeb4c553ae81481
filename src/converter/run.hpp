// The converter as a process: banner, command line, document, conversion, closing pause.
#pragma once

#include <cstdio>

#include "run/platform.hpp"

namespace bloktar {

// Runs the converter with the process's arguments, printing to out and pausing on in; returns
// the exit status.
int RunConverter(int argc, NativeChar** argv, std::FILE* in, std::FILE* out);

}  // namespace bloktar
