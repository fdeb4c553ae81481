// The whole conversion run on bytes held in memory, and what must hold for every document.
//
// Shared by the libFuzzer target (convert_fuzzer.cpp), which stops at the first broken
// invariant, and by the corpus test (corpus_test.cpp), which replays the committed seeds and
// findings in every build, clang or not.
#pragma once

#include <cstddef>
#include <string>

#include "run/conversion.hpp"

namespace fuzzing {

// The most bytes one array may take in a checked run. A document declaring huge counts then
// takes the converter's memory refusal instead of running into the fuzzer's malloc limit.
inline constexpr std::size_t kCheckedArrayBytes = std::size_t{64} * 1024 * 1024;

// Converts size bytes at data as a document (header check, survey, texture names, geometry,
// blocks, BD1 bytes and report, all in memory) and checks the result. Returns a description of
// the first broken invariant, or an empty string when every one holds.
std::string ConvertAndCheck(const unsigned char* data, std::size_t size);

// Checks what a conversion of the document at data with the checked limit gave: its result, its
// console text and its output. Returns the first broken invariant, or an empty string.
std::string CheckConversion(const unsigned char* data, std::size_t size,
                            const bloktar::ConversionResult& result, const std::string& printed,
                            const bloktar::MemoryBd1Output& output);

}  // namespace fuzzing
