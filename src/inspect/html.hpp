// The page that shows the blocks in three dimensions: one HTML file with everything inline (the
// viewer's code, the blocks, the inspector's findings, the texture images), which a browser
// opens from the disk and draws with WebGL2.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bd1/bd1.hpp"
#include "bd1/bd1_reader.hpp"
#include "inspect/inspection.hpp"
#include "run/platform.hpp"

namespace bloktar::inspect {

// Where a JSON string stands: in a file of its own, or inside a <script> element.
enum class JsonPlace { File, ScriptElement };

// Appends text (UTF-8) as a JSON string: quotes, backslashes and control characters escaped, and
// inside a <script> element '<', '>' and '&' too, so that nothing in it can end the element.
void AppendJsonString(std::string& out, std::string_view text, JsonPlace place);

// A piece of a line the inspector prints: the program's own text and numbers (UTF-8), or bytes
// taken from the document (Shift_JIS), which the page decodes itself.
struct PageSegment {
    bool documentBytes;
    std::string bytes;
};
using PageLine = std::vector<PageSegment>;

// Everything the page needs besides the block records.
struct PageModel {
    std::string title;  // UTF-8: the input's file name
    bool fromBd1 = false;
    Bd1Header header{};
    std::vector<unsigned char> problem;    // per block: 1 when the inspector finds a problem
    std::vector<int> layout;               // per block, 0 to 3 or kNoLayout (documents only)
    std::vector<std::string> objectNames;  // document bytes
    std::vector<std::vector<std::size_t>> blockObjects;    // per block (documents only)
    std::vector<std::vector<PageLine>> problemLines;       // per block, as the inspector words them
    std::vector<PageLine> summary;                         // the inspector's summary lines
    std::array<std::string, kTextureSlots> textureImages;  // data URIs, empty where none found
};

// Fills the model from an inspected document or a BD1 file read back, printing the inspection
// once more to take its lines. The texture images are left to FindTextureImages.
void DescribeDocument(const DocumentInspection& inspection, PageModel& model);
void DescribeBd1File(const Bd1Reading& reading, PageModel& model);

// The UTF-8 form of the last component of a path (bytes that are not UTF-8 shown as '?').
std::string FileNameText(const NativeChar* path);

// For each named texture slot, the image file of that name in the input's folder, as a data URI,
// when it is a regular file of at most kMaxTextureBytes in a format a browser decodes (BMP, PNG,
// JPEG, GIF, WebP, told by its first bytes). Slots without such a file stay empty.
inline constexpr std::size_t kMaxTextureBytes = 32u << 20;
void FindTextureImages(const NativeChar* input, const Bd1Header& header,
                       std::array<std::string, kTextureSlots>& images);

// The bytes of the file that a texture slot's name names, looked up as FindTextureImages looks
// it up: relative to the input's folder, a regular file of at most kMaxTextureBytes. False when
// there is no such file (or name is empty).
bool ReadTextureImage(const NativeChar* input, std::string_view name, std::string& bytes);

// "data:image/...;base64,..." for the bytes of an image file, or empty when its first bytes are
// no image format a browser decodes.
std::string ImageDataUri(std::string_view bytes);

std::string Base64(std::string_view bytes);

// The page's block data before base64: every record's first 312 bytes (corners, UVs and face
// textures, as the BD1 file holds them), then one byte per block of problem flags (1: a
// problem), then one signed byte per block with its layout (kNoLayout where none is known).
std::string BlockData(std::span<const Bd1Block> blocks, const PageModel& model);

// The whole page.
std::string BuildInspectionPage(std::span<const Bd1Block> blocks, const PageModel& model);

}  // namespace bloktar::inspect
