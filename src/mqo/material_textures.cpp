#include <cstring>

#include "mqo/mqo.hpp"

namespace bloktar {
namespace {

constexpr int kFindHeaderLimit = 256;
constexpr int kMaterialLineLimit = 255;
constexpr std::size_t kNameBytes = kTextureSlotSize - 1;

// The characters that end a texture name, and that are passed over before one.
bool IsNameDelimiter(char c) {
    return c == '"' || c == ')' || c == '\n';
}

// Stores into row the first parenthesised quoted value of a material line (at most 30 bytes),
// or leaves row empty when the line has none.
void TakeTextureName(const char* line, char (&row)[kTextureSlotSize]) {
    const char* open = std::strstr(line, "(\"");
    if (open == nullptr) return;
    const char* name = open + 2;
    while (*name != '\0' && IsNameDelimiter(*name)) ++name;
    const char* end = name;
    while (*end != '\0' && !IsNameDelimiter(*end)) ++end;
    std::size_t length = static_cast<std::size_t>(end - name);
    if (length > kNameBytes) length = kNameBytes;
    std::memcpy(row, name, length);
    row[length] = '\0';
}

}  // namespace

void ReadMaterialTextures(Document& document, TextureNameTable& table, std::int32_t materialCount) {
    char rows[kTextureSlots][kTextureSlotSize] = {};
    const int count = materialCount > kTextureSlots ? kTextureSlots : materialCount;

    RewindDocument(document);
    bool headerFound = false;
    std::size_t length;
    while (const char* piece = NextDocumentPiece(document, kFindHeaderLimit, length)) {
        if (BeginsWith(piece, "Material ")) {
            headerFound = true;
            break;
        }
    }
    // One line per material follows the header, whatever it holds; at the end of the document
    // the remaining rows stay empty.
    for (int i = 0; headerFound && i < count; ++i) {
        const char* line = NextDocumentPiece(document, kMaterialLineLimit, length);
        if (line == nullptr) break;
        TakeTextureName(line, rows[i]);
    }
    for (int i = 0; i < count; ++i) {
        std::memcpy(table.names[i], rows[i], std::strlen(rows[i]) + 1);
    }
}

}  // namespace bloktar
