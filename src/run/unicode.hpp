// UTF-8 and UTF-16, the one place that reads and writes either: the platform's wide file names
// and console, the re-encoding of newer documents' text and the page's file name all use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "run/platform.hpp"

namespace bloktar {

// The length of the well-formed UTF-8 character at text (1 to 4) and its code point, or 0 when
// the bytes there are not one (a stray continuation byte, an over-long form, a surrogate, a code
// point beyond U+10FFFF, a sequence cut short by the end of size).
std::size_t DecodeUtf8(const unsigned char* text, std::size_t size, std::uint32_t& codePoint);

// Appends the UTF-8 form of a code point (at most U+10FFFF, not a surrogate).
void AppendUtf8(std::uint32_t codePoint, std::string& out);

// The UTF-16 form of well-formed UTF-8 text; false, with out as it was, for any other bytes.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& out);

// The UTF-8 form of UTF-16 text; a surrogate without its partner becomes '?'.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Well-formed UTF-8 characters as they are, any other byte as '?'.
std::string ValidUtf8(std::string_view bytes);

// A file name (or any native string) in UTF-8, for showing it: UTF-16 on Windows converted, bytes
// on POSIX systems taken as UTF-8; what is neither becomes '?'.
std::string NativeToUtf8(const NativeString& native);

}  // namespace bloktar
