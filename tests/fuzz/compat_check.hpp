// bloktar-compat's translation on bytes held in memory, and what must hold for any bytes: a
// document (or, for bytes that begin like a ZIP archive, the archive's document) is refused, left
// to the converter as it is, or given a Ver 1.0 form that every way of reading hands out alike.
//
// Shared by the libFuzzer target (compat_fuzzer.cpp) and the corpus test, which replays the
// committed seeds in every build.
#pragma once

#include <cstddef>
#include <string>

namespace fuzzing {

// Translates size bytes at data and checks the result. Returns the first broken invariant, or an
// empty string.
std::string TranslateAndCheck(const unsigned char* data, std::size_t size);

}  // namespace fuzzing
