// bloktar-compat as a process: the converter's run on the Ver 1.0 form of a document saved by
// today's modeller, or the converter's own run on any other document.
#pragma once

#include <cstdio>

#include "run/platform.hpp"

namespace bloktar::compat {

// Runs bloktar-compat with the process's arguments, printing to out and pausing on in; returns
// the exit status.
int RunCompat(int argc, NativeChar** argv, std::FILE* in, std::FILE* out);

}  // namespace bloktar::compat
