// Reading a BD1 file back: its header and records, and the refusals of a file that cannot be one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

#include "bd1/bd1.hpp"

namespace bloktar {

// The longest BD1 file there can be: the header and 32767 records.
inline constexpr std::uint64_t kBd1MaxLength =
    sizeof(Bd1Header) + sizeof(Bd1Block) * std::uint64_t{kBd1MaxBlocks};

enum class Bd1Fault {
    None,
    TooShort,        // shorter than the header
    NegativeCount,   // the header's block count is negative
    LengthMismatch,  // the length is not 312 + 316 x blockCount
    FlagNotOne,      // a record's flag is not 1
};

struct Bd1Reading {
    Bd1Fault fault = Bd1Fault::None;
    std::uint64_t length = 0;      // bytes in the file
    std::int32_t blockCount = 0;   // the header's count
    std::int32_t faultyBlock = 0;  // FlagNotOne: the first record whose flag is not 1
    std::int32_t faultyFlag = 0;   // and its flag
    Bd1Header header{};            // valid when fault is None
    std::vector<Bd1Block> blocks;  // valid when fault is None
};

// Takes apart a BD1 file of length bytes, of which bytes holds the first (all of them, for any
// file that can be valid: at most kBd1MaxLength), into its header and records, or says why it
// cannot be a BD1 file.
void ReadBd1FileBytes(std::span<const unsigned char> bytes, std::uint64_t length,
                      Bd1Reading& reading);

// Reads a whole open file and takes it apart as ReadBd1FileBytes does, the records read straight
// into the reading. Returns false on a read error.
bool ReadBd1File(std::FILE* file, Bd1Reading& reading);

// The bytes of a name slot up to its first zero (all 31 when it has none).
std::string_view SlotName(const Bd1Header& header, int slot);

}  // namespace bloktar
