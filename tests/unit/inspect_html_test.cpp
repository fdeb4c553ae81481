// The page's data: the block records as the page decodes them, the texture images it embeds and
// the text it carries inside its script element.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "inspect/html.hpp"
#include "support/expected.hpp"

using namespace bloktar;
using namespace bloktar::inspect;
using testing_support::Bd1Bytes;
using testing_support::ExpectedBlock;
using namespace std::string_literals;

namespace {

// Base64 decoding, written here apart from the program's encoder.
std::string FromBase64(const std::string& text) {
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') break;
        const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        bits = (bits << 6) | static_cast<unsigned>(std::strchr(digits, c) - digits);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes;
}

// The JSON string value of key in the page's data (no escapes expected in it).
std::string JsonValue(const std::string& page, const std::string& key) {
    const std::string mark = "\"" + key + "\":\"";
    const std::size_t start = page.find(mark);
    if (start == std::string::npos) return "<missing>";
    const std::size_t from = start + mark.size();
    return page.substr(from, page.find('"', from) - from);
}

Bd1Block Record(const ExpectedBlock& values) {
    Bd1Block block{};
    std::memcpy(&block, &values, sizeof values);
    block.flag = 1;
    return block;
}

}  // namespace

TEST(InspectorPage, BlockDataIsTheRecordsThenProblemFlagsThenLayouts) {
    // Three blocks of distinct values, one of them with a corner that is not finite (still
    // carried: the page leaves it undrawn but lists it).
    std::vector<ExpectedBlock> values(3);
    for (int b = 0; b < 3; ++b) {
        for (int k = 0; k < 8; ++k) {
            values[b].x[k] = -static_cast<float>(100 * b + k);
            values[b].y[k] = 0.5f * static_cast<float>(k);
            values[b].z[k] = static_cast<float>(b) - 0.25f;
        }
        for (int c = 0; c < 24; ++c) {
            values[b].u[c] = static_cast<float>(c) / 24;
            values[b].v[c] = 1 - static_cast<float>(c) / 24;
        }
        for (int f = 0; f < 6; ++f) values[b].texture[f] = b == 2 ? 12 : f;
    }
    values[1].y[3] = std::numeric_limits<float>::quiet_NaN();
    std::vector<Bd1Block> blocks;
    for (const ExpectedBlock& v : values) blocks.push_back(Record(v));

    PageModel model;
    model.problem = {0, 1, 1};
    model.layout = {2, kNoLayout, 0};
    const std::string file = Bd1Bytes({"a.bmp"}, 3, values);
    std::string expected;
    for (int b = 0; b < 3; ++b) expected += file.substr(312 + 316 * b, 312);
    expected += std::string("\x00\x01\x01", 3) + std::string("\x02\xff\x00", 3);
    EXPECT_EQ(BlockData(blocks, model), expected);

    // The page carries them base64-encoded; a BD1 file's page has no layouts.
    EXPECT_EQ(FromBase64(JsonValue(BuildInspectionPage(blocks, model), "blocks")), expected);
    model.layout.clear();
    expected.replace(expected.size() - 3, 3, "\xff\xff\xff");
    EXPECT_EQ(FromBase64(JsonValue(BuildInspectionPage(blocks, model), "blocks")), expected);
}

TEST(InspectorPage, Base64OfEveryTailLength) {
    const struct {
        std::string bytes, text;
    } cases[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe\x00"s, "//4A"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(Base64(bytes), text) << text;
}

TEST(InspectorPage, ImagesAreToldByTheirFirstBytes) {
    const struct {
        std::string bytes, type;
    } cases[] = {
        {"BM\x36\x00"s, "image/bmp"},
        {"\x89PNG\r\n\x1a\n....", "image/png"},
        {"\xff\xd8\xff\xe0", "image/jpeg"},
        {"GIF89a..", "image/gif"},
        {"GIF87a..", "image/gif"},
        {"RIFF\x10\x00\x00\x00WEBPVP8 "s, "image/webp"},
        {"RIFF\x10\x00\x00\x00WAVE"s, ""},
        {"not an image", ""},
        {"", ""},
    };
    for (const auto& [bytes, type] : cases) {
        EXPECT_EQ(ImageDataUri(bytes),
                  type.empty() ? "" : "data:" + type + ";base64," + Base64(bytes))
            << type;
    }
}

TEST(InspectorPage, TextCannotEndItsScriptElement) {
    // An object name and a texture name with markup and Shift_JIS bytes travel as base64; the
    // file name as escaped JSON text.
    PageModel model;
    model.title = "a</script><b>&\"\\.mqo";
    model.objectNames = {"</script>\x83\x75"};
    std::memcpy(model.header.textureNames[0], "<x>.bmp", 8);
    model.blockObjects = {{0}};
    const std::string page = BuildInspectionPage({}, model);
    EXPECT_NE(page.find(R"("title":"a\u003c/script\u003e\u003cb\u003e\u0026\"\\.mqo")"),
              std::string::npos);
    EXPECT_NE(page.find("\"objects\":[\"" + Base64("</script>\x83\x75") + "\"]"),
              std::string::npos);
    EXPECT_NE(page.find("{\"name\":\"" + Base64("<x>.bmp") + "\",\"image\":\"\"}"),
              std::string::npos);
    // The only closing script tags are the data's and the viewer's.
    std::size_t closings = 0;
    for (std::size_t at = page.find("</script"); at != std::string::npos;
         at = page.find("</script", at + 1)) {
        ++closings;
    }
    EXPECT_EQ(closings, 2u);
}
