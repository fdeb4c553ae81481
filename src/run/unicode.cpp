#include "run/unicode.hpp"

namespace bloktar {

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

void AppendUtf8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool Utf8ToUtf16(std::string_view utf8, std::u16string& out) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < utf8.size();) {
        std::uint32_t code = 0;
        const std::size_t length = DecodeUtf8(bytes + i, utf8.size() - i, code);
        if (length == 0) {
            out.resize(start);
            return false;
        }
        if (code < 0x10000) {
            out += static_cast<char16_t>(code);
        } else {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
        i += length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string text;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        std::uint32_t code = utf16[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00u);
        } else if (code >= 0xD800 && code < 0xE000) {
            code = '?';
        }
        AppendUtf8(code, text);
    }
    return text;
}

std::string ValidUtf8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string text;
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t code = 0;
        const std::size_t length = DecodeUtf8(data + i, bytes.size() - i, code);
        if (length == 0) {
            text += '?';
            ++i;
        } else {
            text.append(bytes, i, length);
            i += length;
        }
    }
    return text;
}

std::string NativeToUtf8(const NativeString& native) {
#ifdef _WIN32
    return Utf16ToUtf8(std::u16string(native.begin(), native.end()));
#else
    return ValidUtf8(native);
#endif
}

}  // namespace bloktar
