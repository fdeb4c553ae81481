// A BD1 file's header and records written out as a Metasequoia document that the converter turns
// back into the same file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "bd1/bd1.hpp"

namespace bloktar::reverse {

// What keeps a BD1 file's content out of a document.
enum class Obstacle {
    None,
    NotANumber,          // a coordinate is NaN: a document has no text for it
    UnwritableNameByte,  // a texture name holds '"', ')', a line end, a carriage return or Ctrl-Z
    UnterminatedName,    // a name slot of 31 bytes without a zero: the converter writes at most 30
};

// Which value of a record a NaN stands in.
enum class RecordField { X, Y, Z, U, V };

struct DocumentCheck {
    Obstacle obstacle = Obstacle::None;
    // NotANumber: the first NaN, as record, field and index within the field (x[0..7], u[0..23]).
    std::int32_t block = 0;
    RecordField field = RecordField::X;
    int index = 0;
    // UnwritableNameByte, UnterminatedName: the slot; UnwritableNameByte: the byte and its
    // position in the slot, from 0.
    int slot = 0;
    int position = 0;
    unsigned char byte = 0;

    // What the document does not carry, when it can be written: bit s set for a name slot with
    // bytes other than zero behind its terminating zero (the converter writes zeros there), and the
    // number of faces whose texture number is not 0 to 9, which names no material of the document.
    std::uint32_t slotsWithTrailingBytes = 0;
    std::int64_t facesWithoutSlot = 0;
};

// The name of a field as the messages show it: "x", "y", "z", "u", "v".
char FieldLetter(RecordField field);

// True for a byte that no texture name on a document's material line can hold.
bool IsUnwritableNameByte(unsigned char byte);

// Checks whether the header and records can become a document, and notes what it loses.
void CheckDocumentable(const Bd1Header& header, std::span<const Bd1Block> blocks,
                       DocumentCheck& check);

// Where a document goes, piece by piece, front to back.
class DocumentSink {
  public:
    // Takes the next piece; false when it cannot, which ends the writing.
    virtual bool Take(std::string_view piece) = 0;

  protected:
    ~DocumentSink() = default;
};

// Writes the document of a header and records that CheckDocumentable passed into sink, in pieces
// of a few hundred kilobytes: CR LF line ends, a Scene chunk, ten materials (one per name slot,
// with tex("name") where the slot has a name), one object with eight vertices (x mirrored back)
// and six quadrilaterals per block, every block in the corner order the records hold, then "Eof".
// Returns false as soon as the sink refuses a piece.
bool StreamBlocksDocument(const Bd1Header& header, std::span<const Bd1Block> blocks,
                          DocumentSink& sink);

// The same document as a whole text, replacing text.
void WriteBlocksDocument(const Bd1Header& header, std::span<const Bd1Block> blocks,
                         std::string& text);

}  // namespace bloktar::reverse
