// bloktar-export on bytes held in memory, and what must hold for any bytes taken as a BD1 file:
// either the BD1 reader's refusal, or the refusal of a value glTF cannot carry, or a .glb that
// the tests' own reader finds whole and consistent and that holds every block.
//
// Shared by the libFuzzer target (export_fuzzer.cpp) and the corpus test, which replays the
// committed seeds in every build.
#pragma once

#include <cstddef>
#include <string>

namespace fuzzing {

// Reads size bytes at data as a BD1 file and builds its .glb in memory (no texture is looked
// up). Returns the first broken invariant, or an empty string.
std::string ExportAndCheck(const unsigned char* data, std::size_t size);

}  // namespace fuzzing
