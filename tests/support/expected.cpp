#include "support/expected.hpp"

#include "run/version.hpp"

#include <iconv.h>

#include <cstring>
#include <stdexcept>

namespace testing_support {
namespace {

std::string Convert(std::string_view from, const char* fromCode, const char* toCode) {
    iconv_t converter = iconv_open(toCode, fromCode);
    if (converter == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string in(from);
    std::string out(in.size() * 4 + 16, '\0');
    char* inPointer = in.data();
    std::size_t inLeft = in.size();
    char* outPointer = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
        throw std::runtime_error("text does not convert");
    }
    out.resize(out.size() - outLeft);
    return out;
}

template <typename T>
std::string LittleEndian(T value) {
    unsigned char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);  // the test machines are little-endian
    return std::string(reinterpret_cast<const char*>(bytes), sizeof value);
}

}  // namespace

std::string Sjis(std::string_view utf8) {
    return Convert(utf8, "UTF-8", "CP932");
}
std::string Utf8FromSjis(std::string_view sjis) {
    return Convert(sjis, "CP932", "UTF-8");
}

std::string F32(float value) {
    return LittleEndian(value);
}
std::string I32(std::int32_t value) {
    return LittleEndian(value);
}

std::string Bd1Bytes(const std::vector<std::string>& names, std::int16_t count,
                     const std::vector<ExpectedBlock>& blocks) {
    std::string bytes;
    for (std::size_t slot = 0; slot < 10; ++slot) {
        std::string field = slot < names.size() ? names[slot] : std::string();
        if (field.size() > 30) throw std::runtime_error("name too long for a slot");
        field.resize(31, '\0');
        bytes += field;
    }
    bytes += LittleEndian(count);
    for (const ExpectedBlock& block : blocks) {
        for (float value : block.x) bytes += F32(value);
        for (float value : block.y) bytes += F32(value);
        for (float value : block.z) bytes += F32(value);
        for (float value : block.u) bytes += F32(value);
        for (float value : block.v) bytes += F32(value);
        for (std::int32_t value : block.texture) bytes += I32(value);
        bytes += I32(1);
    }
    return bytes;
}

std::string Banner(const std::string& program) {
    const std::string rule(47, '=');
    return rule + "\n" + program + " Ver" BLOKTAR_VERSION " \n" + rule + "\n" + "\n";
}

std::string BannerAndLoad() {
    return Banner() + Sjis("ファイルロード\t完了\n");
}

}  // namespace testing_support
