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
#include "run/platform.hpp"

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
    // A float's text from a RealTextCache, copied RealTextCache::kTextRoom bytes at once.
    void PutReal(std::string_view real) {
        Reserve(RealTextCache::kTextRoom);
        std::memcpy(text_.data() + used_, real.data(), RealTextCache::kTextRoom);
        used_ += real.size();
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

void WriteVertices(std::span<const Bd1Block> blocks, RealTextCache& reals, Writer& out) {
    out.Put("\tvertex ");
    out.Int(static_cast<std::int64_t>(blocks.size()) * 8);
    out.Put(" {\r\n");
    for (const Bd1Block& block : blocks) {
        for (int k = 0; k < 8; ++k) {
            out.Put("\t\t");
            // The converter mirrors x as it reads it.
            out.PutReal(reals.Text(-block.x[k]));
            out.Put(' ');
            out.PutReal(reals.Text(block.y[k]));
            out.Put(' ');
            out.PutReal(reals.Text(block.z[k]));
            out.Put(kEol);
        }
    }
    out.Put("\t}\r\n");
}

// The face lines of blocks, whose first vertex is first.
void WriteFaceLines(std::span<const Bd1Block> blocks, std::int64_t first, RealTextCache& reals,
                    Writer& out) {
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
                out.PutReal(reals.Text(block.u[4 * f + c]));
                out.Put(' ');
                out.PutReal(reals.Text(block.v[4 * f + c]));
            }
            out.Put(")\r\n");
        }
        first += 8;
    }
}

// The face lines of the later blocks, written on a second thread into a text of their own.
struct LaterFaces {
    std::span<const Bd1Block> blocks;
    std::int64_t first = 0;
    std::string text;

    static void Write(void* context) {
        auto& faces = *static_cast<LaterFaces*>(context);
        Writer out(faces.text);
        out.Reserve(faces.blocks.size() * 640);
        RealTextCache reals;
        WriteFaceLines(faces.blocks, faces.first, reals, out);
        out.Finish();
    }
};

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
    // The face lines of the later blocks, written on a second thread while this one writes the
    // rest: a share that keeps the two about equally busy, UV values taking longer to write than
    // the coordinates. Float texts are the writer's costliest step.
    LaterFaces later;
    const std::size_t split = blocks.size() < 1024 ? blocks.size() : blocks.size() * 2 / 5;
    later.blocks = blocks.subspan(split);
    later.first = static_cast<std::int64_t>(split) * 8;

    text.clear();
    Writer out(text);
    {
        WorkerThread worker;  // waits for the later faces as this scope ends
        if (!later.blocks.empty()) worker.Run(&LaterFaces::Write, &later);
        // About 0.9 KB per block for coordinates of a few digits, the later faces included.
        out.Reserve(4096 + blocks.size() * 900);
        RealTextCache reals;
        out.Put(kHead);
        WriteMaterials(header, out);
        out.Put(kObjectHead);
        WriteVertices(blocks, reals, out);
        out.Put("\tface ");
        out.Int(static_cast<std::int64_t>(blocks.size()) * 6);
        out.Put(" {\r\n");
        WriteFaceLines(blocks.first(split), 0, reals, out);
    }
    out.Put(later.text);
    out.Put("\t}\r\n");
    out.Put("}\r\nEof\r\n");
    out.Finish();
}

}  // namespace bloktar::reverse
