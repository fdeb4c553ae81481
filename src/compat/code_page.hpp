// Re-encoding document text from UTF-8 into code page 932 (Shift_JIS), through the system's own
// converter: glibc's iconv on Linux, the Windows API on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "run/unicode.hpp"  // DecodeUtf8, for the translation

namespace bloktar::compat {

class Cp932Encoder {
  public:
    Cp932Encoder();
    ~Cp932Encoder();
    Cp932Encoder(const Cp932Encoder&) = delete;
    Cp932Encoder& operator=(const Cp932Encoder&) = delete;

    // Appends the code page 932 bytes of the well-formed UTF-8 text to out. Returns false, with
    // out as it was, when a character has no code page 932 form (no best fit is taken) or the
    // converter is not available.
    bool Append(const char* utf8, std::size_t size, std::string& out);

  private:
    void* converter_ = nullptr;  // the iconv descriptor on POSIX systems
};

}  // namespace bloktar::compat
