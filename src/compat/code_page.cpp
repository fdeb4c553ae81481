#include "compat/code_page.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <limits>

namespace bloktar::compat {

std::size_t DecodeUtf8(const unsigned char* text, std::size_t size, std::uint32_t& codePoint) {
    if (size == 0) return 0;
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    std::uint32_t value;
    std::uint32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1Fu;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0Fu;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (size < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0u) != 0x80u) return 0;
        value = (value << 6) | (text[i] & 0x3Fu);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

#ifdef _WIN32

Cp932Encoder::Cp932Encoder() = default;
Cp932Encoder::~Cp932Encoder() = default;

bool Cp932Encoder::Append(const char* utf8, std::size_t size, std::string& out) {
    if (size == 0) return true;
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) return false;
    const int length = static_cast<int>(size);
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, wide.data(), units) !=
        units) {
        return false;
    }
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0,
                                          nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) return false;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(bytes));
    usedDefault = FALSE;
    if (WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), units, out.data() + start,
                            bytes, nullptr, &usedDefault) != bytes ||
        usedDefault) {
        out.resize(start);
        return false;
    }
    return true;
}

#else

namespace {
const auto kNoConverter = reinterpret_cast<iconv_t>(-1);
}  // namespace

Cp932Encoder::Cp932Encoder() {
    const iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter != kNoConverter) converter_ = converter;
}

Cp932Encoder::~Cp932Encoder() {
    if (converter_ != nullptr) iconv_close(static_cast<iconv_t>(converter_));
}

bool Cp932Encoder::Append(const char* utf8, std::size_t size, std::string& out) {
    if (size == 0) return true;
    if (converter_ == nullptr) return false;
    const auto converter = static_cast<iconv_t>(converter_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    const std::size_t start = out.size();
    // A UTF-8 character of k bytes never takes more than k bytes in code page 932.
    out.resize(start + size);
    char* in = const_cast<char*>(utf8);
    std::size_t inLeft = size;
    char* into = out.data() + start;
    std::size_t outLeft = size;
    // A count of irreversible conversions above zero means a character was given a look-alike,
    // which the Windows program's no-best-fit rule refuses too.
    if (iconv(converter, &in, &inLeft, &into, &outLeft) != 0 || inLeft != 0) {
        out.resize(start);
        return false;
    }
    out.resize(start + (size - outLeft));
    return true;
}

#endif

}  // namespace bloktar::compat
