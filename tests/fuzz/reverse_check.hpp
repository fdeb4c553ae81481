// bloktar-reverse on bytes held in memory, and what must hold for any bytes: either a refusal, or
// a document that the converter turns back into the same file.
//
// Shared by the libFuzzer target (reverse_fuzzer.cpp) and the corpus test, which replays the
// committed seeds in every build.
#pragma once

#include <cstddef>
#include <string>

namespace fuzzing {

// Reads size bytes at data as a BD1 file and writes its document; a refusal must be one the bytes
// call for, and a document must convert, in memory, into the bytes with every byte behind a
// name's terminating zero made zero. Returns the first broken invariant, or an empty string.
std::string ReverseAndCheck(const unsigned char* data, std::size_t size);

}  // namespace fuzzing
