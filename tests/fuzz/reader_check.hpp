// Compares the converter's reader with the plain reference reading of the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace fuzzing {

// Runs the header check, survey, texture names and geometry on the bytes with the converter's
// reader and with the reference; returns "" when every field agrees bit for bit, or where the
// first difference lies.
std::string CompareWithReference(const unsigned char* bytes, std::size_t size);

}  // namespace fuzzing
