#include "compat/code_page.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <limits>

namespace bloktar::compat {

#ifdef _WIN32

Cp932Encoder::Cp932Encoder() = default;
Cp932Encoder::~Cp932Encoder() = default;

bool Cp932Encoder::Append(const char* utf8, std::size_t size, std::string& out) {
    if (size == 0) return true;
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() / 2)) return false;
    std::u16string utf16;
    if (!Utf8ToUtf16(std::string_view(utf8, size), utf16)) return false;
    const std::wstring wide(utf16.begin(), utf16.end());
    const int units = static_cast<int>(wide.size());
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
