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

// The most bytes one block's vertex lines or face lines take, with room for a float text's
// kTextRoom bytes copied at once: a vertex line is at most 2 + 3 * 15 + 2 + 2 bytes, a face line
// at most 6 + 4 * 20 + 3 + 4 + 11 + 5 + 8 * 15 + 7 + 3.
constexpr std::size_t kBlockRoom = 8 * 51 + 6 * 239 + RealTextCache::kTextRoom;

// Writes into room of its own. With a sink, whatever is written goes to the sink whenever less
// than kBlockRoom bytes are left; without, the room must hold everything written.
class Writer {
  public:
    Writer(char* room, std::size_t size, DocumentSink* sink)
        : begin_(room), at_(room), end_(room + size), sink_(sink) {}

    // Makes sure that a block's lines fit; called before each block's.
    void MakeRoom() {
        if (static_cast<std::size_t>(end_ - at_) < kBlockRoom) Flush();
    }
    // Hands what is written to the sink; false once the sink has refused a piece.
    bool Flush() {
        if (sink_ != nullptr && at_ != begin_) {
            ok_ = ok_ && sink_->Take(Written());
            at_ = begin_;
        }
        return ok_;
    }
    // Bytes of any length, outside a block's lines: those that do not fit go to the sink as
    // they are.
    void PutPiece(std::string_view bytes) {
        if (static_cast<std::size_t>(end_ - at_) < bytes.size() + kBlockRoom && sink_ != nullptr) {
            Flush();
            if (bytes.size() > static_cast<std::size_t>(end_ - at_) / 2) {
                ok_ = ok_ && sink_->Take(bytes);
                return;
            }
        }
        std::memcpy(at_, bytes.data(), bytes.size());
        at_ += bytes.size();
    }
    // The writes below stay within the room MakeRoom made.
    void Put(std::string_view bytes) {
        std::memcpy(at_, bytes.data(), bytes.size());
        at_ += bytes.size();
    }
    // A float's text from a RealTextCache, copied RealTextCache::kTextRoom bytes at once.
    void PutReal(std::string_view real) {
        std::memcpy(at_, real.data(), RealTextCache::kTextRoom);
        at_ += real.size();
    }
    void Put(char c) { *at_++ = c; }
    void Int(std::int64_t value) { at_ = std::to_chars(at_, at_ + 20, value).ptr; }

    std::string_view Written() const { return {begin_, static_cast<std::size_t>(at_ - begin_)}; }

  private:
    char* begin_;
    char* at_;
    char* end_;
    DocumentSink* sink_;
    bool ok_ = true;
};

void WriteMaterials(const Bd1Header& header, Writer& out) {
    out.PutPiece("Material 10 {\r\n");
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        out.MakeRoom();  // a material line takes at most about 160 bytes
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
    out.PutPiece("}\r\n");
}

void WriteVertices(std::span<const Bd1Block> blocks, RealTextCache& reals, Writer& out) {
    out.MakeRoom();
    out.Put("\tvertex ");
    out.Int(static_cast<std::int64_t>(blocks.size()) * 8);
    out.Put(" {\r\n");
    for (const Bd1Block& block : blocks) {
        out.MakeRoom();
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
    out.PutPiece("\t}\r\n");
}

// The face lines of blocks, whose first vertex is first.
void WriteFaceLines(std::span<const Bd1Block> blocks, std::int64_t first, RealTextCache& reals,
                    Writer& out) {
    for (const Bd1Block& block : blocks) {
        out.MakeRoom();
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

// The face lines of the later blocks, written on a second thread into room of their own; it
// publishes how many bytes are ready after each run of blocks, so that the first thread can hand
// them on while the rest are written.
struct LaterFaces {
    std::span<const Bd1Block> blocks;
    std::int64_t first = 0;
    std::unique_ptr<char[]> room;
    WorkerThread* worker = nullptr;

    static void Write(void* context) {
        auto& faces = *static_cast<LaterFaces*>(context);
        Writer out(faces.room.get(), faces.blocks.size() * kBlockRoom, nullptr);
        RealTextCache reals;
        constexpr std::size_t kRun = 1024;
        for (std::size_t at = 0; at < faces.blocks.size(); at += kRun) {
            const auto run = faces.blocks.subspan(at, std::min(kRun, faces.blocks.size() - at));
            WriteFaceLines(run, faces.first + static_cast<std::int64_t>(at) * 8, reals, out);
            faces.worker->Publish(out.Written().size(), at + kRun >= faces.blocks.size());
        }
    }
};

// A sink that appends to a text.
class TextSink final : public DocumentSink {
  public:
    explicit TextSink(std::string& text) : text_(text) {}
    bool Take(std::string_view piece) override {
        text_.append(piece);
        return true;
    }

  private:
    std::string& text_;
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

bool StreamBlocksDocument(const Bd1Header& header, std::span<const Bd1Block> blocks,
                          DocumentSink& sink) {
    // The face lines of the later blocks, written on a second thread while this one writes the
    // rest: a share that keeps the two about equally busy, UV values taking longer to write than
    // the coordinates. Float texts are the writer's costliest step. The second thread's room is
    // only reserved: its pages come as they are written.
    LaterFaces later;
    const std::size_t split = blocks.size() < 1024 ? blocks.size() : blocks.size() * 2 / 5;
    later.blocks = blocks.subspan(split);
    later.first = static_cast<std::int64_t>(split) * 8;

    // The rest goes to the sink through a buffer that stays in the processor's cache.
    constexpr std::size_t kBufferSize = std::size_t{256} << 10;
    const Room buffer = ObtainRoom(kBufferSize);
    Writer out(buffer.get(), kBufferSize, &sink);
    WorkerThread worker;  // waits for the later faces as it ends
    if (!later.blocks.empty()) {
        later.room.reset(new char[later.blocks.size() * kBlockRoom]);
        later.worker = &worker;
        worker.Run(&LaterFaces::Write, &later);
    }
    RealTextCache reals;
    out.PutPiece(kHead);
    WriteMaterials(header, out);
    out.PutPiece(kObjectHead);
    WriteVertices(blocks, reals, out);
    out.MakeRoom();
    out.Put("\tface ");
    out.Int(static_cast<std::int64_t>(blocks.size()) * 6);
    out.Put(" {\r\n");
    WriteFaceLines(blocks.first(split), 0, reals, out);
    // The later faces, as they become ready.
    if (!later.blocks.empty()) {
        std::size_t seen = 0;
        for (bool final = false; !final;) {
            const std::size_t ready = worker.WaitBeyond(seen, final);
            out.PutPiece(std::string_view(later.room.get() + seen, ready - seen));
            seen = ready;
        }
    }
    out.PutPiece("\t}\r\n}\r\nEof\r\n");
    return out.Flush();
}

void WriteBlocksDocument(const Bd1Header& header, std::span<const Bd1Block> blocks,
                         std::string& text) {
    text.clear();
    TextSink sink(text);
    StreamBlocksDocument(header, blocks, sink);
}

}  // namespace bloktar::reverse
