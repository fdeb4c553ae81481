#include "export/names.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace bloktar::exporter {

#ifdef _WIN32
std::string Utf8FromCp932(std::string_view bytes) {
    if (bytes.empty()) return {};
    // Bytes that do not decode become the system's default character.
    const int size = static_cast<int>(bytes.size());
    const int units = MultiByteToWideChar(932, 0, bytes.data(), size, nullptr, 0);
    if (units <= 0) return std::string(bytes.size(), '?');
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(932, 0, bytes.data(), size, wide.data(), units);
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string(bytes.size(), '?');
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, text.data(), length, nullptr, nullptr);
    return text;
}
#else
std::string Utf8FromCp932(std::string_view bytes) {
    std::string text;
    const iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // Without the converter, ASCII alone is certain.
        for (const char c : bytes) text += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        return text;
    }
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char buffer[256];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
        text.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: one byte as '?', then on.
            text += '?';
            ++in;
            --inLeft;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(converter);
    return text;
}
#endif

}  // namespace bloktar::exporter
