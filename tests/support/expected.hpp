// Expected bytes, built independently of the program's own code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The Shift_JIS (code page 932) bytes of a UTF-8 text, converted by the C library's iconv.
std::string Sjis(std::string_view utf8);
// The UTF-8 text of Shift_JIS bytes.
std::string Utf8FromSjis(std::string_view sjis);

// One BD1 block record's values in file order.
struct ExpectedBlock {
    float x[8], y[8], z[8];
    float u[24], v[24];
    std::int32_t texture[6];
};

// A BD1 file: ten 31-byte name slots, the 16-bit count, then each block and its flag 1.
std::string Bd1Bytes(const std::vector<std::string>& names, std::int16_t count,
                     const std::vector<ExpectedBlock>& blocks);

// Little-endian bytes of single values.
std::string F32(float value);
std::string I32(std::int32_t value);

// A program's banner and the empty line behind it (the converter's unless named); its version is
// the project's.
std::string Banner(const std::string& program = "BLOKTAR");

// The console output up to and including the file-load stage of an opened document.
std::string BannerAndLoad();

}  // namespace testing_support
