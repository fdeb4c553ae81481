// Compares the converter's reader with the plain reference reading of the same bytes.
#pragma once

#include <cstddef>
#include <string>

#include "mqo/mqo.hpp"

namespace fuzzing {

// Runs the header check, survey, texture names and geometry on the bytes with the converter's
// reader and with the reference; returns "" when every field agrees bit for bit, or where the
// first difference lies.
// The geometry is read with the scanners for every processor and, where they run here
// (bloktar::WideLineScannersRunHere), with those for wide vectors.
std::string CompareWithReference(const unsigned char* bytes, std::size_t size);

// The same with the one set of scanners given.
std::string CompareWithReference(const unsigned char* bytes, std::size_t size,
                                 bloktar::LineScanners scanners);

}  // namespace fuzzing
