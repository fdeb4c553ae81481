// bloktar-repair on a document's Ver 1.0 form held in memory, and what must hold for any bytes:
// either a refusal, or a repaired form in which the inspector finds no block with a problem and
// whose boxes and set-aside objects together hold every vertex and face of the visible objects.
//
// Shared by the libFuzzer target (repair_fuzzer.cpp) and the corpus test, which replays the
// committed seeds in every build.
#pragma once

#include <cstddef>
#include <string>

namespace fuzzing {

// Repairs size bytes at data; returns the first broken invariant, or an empty string.
std::string RepairAndCheck(const unsigned char* data, std::size_t size);

}  // namespace fuzzing
