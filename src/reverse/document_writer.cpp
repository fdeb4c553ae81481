#include "reverse/document_writer.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

#include "mqo/number_text.hpp"
#include "mqo/numbers.hpp"

namespace bloktar::reverse {
namespace {

constexpr std::string_view kEol = "\r\n";

constexpr std::string_view kHead =
    "Metasequoia Document\r\n"
    "Format Text Ver 1.0\r\n"
    "\r\n"
    "Scene {\r\n"
    "\tpos 0.0000 0.0000 1500.0000\r\n"
    "\tlookat 0.0000 0.0000 0.0000\r\n"
    "\thead -0.5236\r\n"
    "\tpich 0.5236\r\n"
    "\tortho 0\r\n"
    "\tzoom2 5.0000\r\n"
    "\tamb 0.250 0.250 0.250\r\n"
    "}\r\n";

// Every material has the same look; the name of material s is "tex" and s, which holds no "(",
// so the first parenthesis and quote on its line is the one of tex("...").
constexpr std::string_view kMaterialLook =
    "\" shader(3) col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) emi(0.000) spc(0.000) "
    "power(5.00)";

constexpr std::string_view kObjectHead =
    "Object \"blocks\" {\r\n"
    "\tdepth 0\r\n"
    "\tfolding 0\r\n"
    "\tscale 1.000000 1.000000 1.000000\r\n"
    "\trotation 0.000000 0.000000 0.000000\r\n"
    "\ttranslation 0.000000 0.000000 0.000000\r\n"
    "\tvisible 15\r\n"
    "\tlocking 0\r\n"
    "\tshading 1\r\n"
    "\tfacet 59.5\r\n"
    "\tcolor 0.898 0.498 0.698\r\n"
    "\tcolor_type 0\r\n";

// The texts of recently written floats: the corners of neighbouring boxes and the UV corners of
// a model repeat, and writing a float's text is the writer's costliest step.
class RealTexts {
  public:
    RealTexts() : entries_(std::make_unique<Entry[]>(kEntries)) {}

    // The document text of a float that is not NaN.
    std::string_view Text(float value) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        Entry& entry = entries_[(bits * 2654435761u) >> (32 - kEntryBits)];
        if (entry.length == 0 || entry.bits != bits) {
            char text[kRealTextCapacity] = {};
            const std::size_t length = ShortestText(value, text);
            std::memcpy(entry.text, text, length);
            entry.length = static_cast<unsigned char>(length);
            entry.bits = bits;
        }
        return {entry.text, entry.length};
    }

  private:
    // FormatDocumentReal's text, found sooner for most floats: where std::to_chars' shortest text
    // is a number the converter's quick reading takes (digits and a point in eight bytes), and
    // that reading gives back the float, it is the text FormatDocumentReal writes.
    static std::size_t ShortestText(float value, char (&text)[kRealTextCapacity]) {
        if (std::isfinite(value)) {
            const auto written = std::to_chars(text, text + kRealTextCapacity - 1, value);
            float read = 0;
            // text is zero-filled behind the number: the quick reading may look 16 bytes on.
            if (written.ec == std::errc() && ScanShortFloatInPiece(text, read) == written.ptr &&
                std::bit_cast<std::uint32_t>(read) == std::bit_cast<std::uint32_t>(value)) {
                return static_cast<std::size_t>(written.ptr - text);
            }
            std::memset(text, 0, sizeof text);
        }
        return FormatDocumentReal(value, text);
    }

    static constexpr int kEntryBits = 12;
    static constexpr std::size_t kEntries = std::size_t{1} << kEntryBits;
    struct Entry {
        std::uint32_t bits = 0;
        unsigned char length = 0;  // 0: empty
        char text[kRealTextCapacity - 5];
    };
    static_assert(sizeof(Entry) == kRealTextCapacity);
    std::unique_ptr<Entry[]> entries_;
};

// Appends to text through a pointer into room reserved ahead.
class Writer {
  public:
    explicit Writer(std::string& text) : text_(text) {}

    // Makes room for at least size more bytes.
    void Reserve(std::size_t size) {
        if (text_.size() - used_ < size) text_.resize(used_ + std::max(size, text_.size()));
    }
    void Put(std::string_view bytes) {
        Reserve(bytes.size());
        std::memcpy(text_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    void Put(char c) {
        Reserve(1);
        text_[used_++] = c;
    }
    void Int(std::int64_t value) {
        Reserve(24);
        char* at = text_.data() + used_;
        used_ += static_cast<std::size_t>(std::to_chars(at, at + 24, value).ptr - at);
    }
    void Finish() { text_.resize(used_); }

  private:
    std::string& text_;
    std::size_t used_ = 0;
};

void WriteMaterials(const Bd1Header& header, Writer& out) {
    out.Put("Material 10 {\r\n");
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        out.Put("\t\"tex");
        out.Int(slot);
        out.Put(kMaterialLook);
        const char* name = header.textureNames[slot];
        const void* end = std::memchr(name, '\0', kTextureSlotSize);
        const auto length =
            end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name) : 0;
        if (length > 0) {
            out.Put(" tex(\"");
            out.Put(std::string_view(name, length));
            out.Put("\")");
        }
        out.Put(kEol);
    }
    out.Put("}\r\n");
}

void WriteVertices(std::span<const Bd1Block> blocks, RealTexts& reals, Writer& out) {
    out.Put("\tvertex ");
    out.Int(static_cast<std::int64_t>(blocks.size()) * 8);
    out.Put(" {\r\n");
    for (const Bd1Block& block : blocks) {
        for (int k = 0; k < 8; ++k) {
            out.Put("\t\t");
            // The converter mirrors x as it reads it.
            out.Put(reals.Text(-block.x[k]));
            out.Put(' ');
            out.Put(reals.Text(block.y[k]));
            out.Put(' ');
            out.Put(reals.Text(block.z[k]));
            out.Put(kEol);
        }
    }
    out.Put("\t}\r\n");
}

void WriteFaces(std::span<const Bd1Block> blocks, RealTexts& reals, Writer& out) {
    out.Put("\tface ");
    out.Int(static_cast<std::int64_t>(blocks.size()) * 6);
    out.Put(" {\r\n");
    std::int64_t first = 0;  // the block's first vertex
    for (const Bd1Block& block : blocks) {
        for (int f = 0; f < 6; ++f) {
            // Face 0 lists the corners 3, 2, 1, 0, so the converter takes the block as it stands.
            out.Put("\t\t4 V(");
            for (int c = 0; c < 4; ++c) {
                if (c > 0) out.Put(' ');
                out.Int(first + kBd1FaceCorners[f][c]);
            }
            out.Put(") M(");
            out.Int(block.texture[f]);
            out.Put(") UV(");
            for (int c = 0; c < 4; ++c) {
                if (c > 0) out.Put(' ');
                out.Put(reals.Text(block.u[4 * f + c]));
                out.Put(' ');
                out.Put(reals.Text(block.v[4 * f + c]));
            }
            out.Put(")\r\n");
        }
        first += 8;
    }
    out.Put("\t}\r\n");
}

// The first NaN among count floats, or -1.
int FirstNaN(const float* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (std::isnan(values[i])) return i;
    }
    return -1;
}

}  // namespace

char FieldLetter(RecordField field) {
    switch (field) {
        case RecordField::X:
            return 'x';
        case RecordField::Y:
            return 'y';
        case RecordField::Z:
            return 'z';
        case RecordField::U:
            return 'u';
        case RecordField::V:
            return 'v';
    }
    return '?';
}

bool IsUnwritableNameByte(unsigned char byte) {
    // The texture-name pass ends a name at '"', ')' and a newline; the reader drops carriage
    // returns and takes Ctrl-Z for the end of the document.
    return byte == '"' || byte == ')' || byte == '\n' || byte == '\r' || byte == 0x1a;
}

void CheckDocumentable(const Bd1Header& header, std::span<const Bd1Block> blocks,
                       DocumentCheck& check) {
    check = DocumentCheck{};
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const auto* name = reinterpret_cast<const unsigned char*>(header.textureNames[slot]);
        int length = 0;
        while (length < kTextureSlotSize && name[length] != 0) {
            if (IsUnwritableNameByte(name[length])) {
                check.obstacle = Obstacle::UnwritableNameByte;
                check.slot = slot;
                check.position = length;
                check.byte = name[length];
                return;
            }
            ++length;
        }
        if (length == kTextureSlotSize) {
            check.obstacle = Obstacle::UnterminatedName;
            check.slot = slot;
            return;
        }
        for (int i = length + 1; i < kTextureSlotSize; ++i) {
            if (name[i] != 0) check.slotsWithTrailingBytes |= 1u << slot;
        }
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const Bd1Block& block = blocks[b];
        const struct {
            RecordField field;
            const float* values;
            int count;
        } fields[] = {{RecordField::X, block.x, 8},
                      {RecordField::Y, block.y, 8},
                      {RecordField::Z, block.z, 8},
                      {RecordField::U, block.u, 24},
                      {RecordField::V, block.v, 24}};
        for (const auto& field : fields) {
            const int at = FirstNaN(field.values, field.count);
            if (at >= 0) {
                check.obstacle = Obstacle::NotANumber;
                check.block = static_cast<std::int32_t>(b);
                check.field = field.field;
                check.index = at;
                return;
            }
        }
        for (const std::int32_t texture : block.texture) {
            if (texture < 0 || texture >= kTextureSlots) ++check.facesWithoutSlot;
        }
    }
}

void WriteBlocksDocument(const Bd1Header& header, std::span<const Bd1Block> blocks,
                         std::string& text) {
    text.clear();
    Writer out(text);
    // About 1.3 KB per block for coordinates of a few digits.
    out.Reserve(4096 + blocks.size() * 1400);
    RealTexts reals;
    out.Put(kHead);
    WriteMaterials(header, out);
    out.Put(kObjectHead);
    WriteVertices(blocks, reals, out);
    WriteFaces(blocks, reals, out);
    out.Put("}\r\nEof\r\n");
    out.Finish();
}

}  // namespace bloktar::reverse
