// The open document and its line input.
//
// A document is read as text: every carriage return is dropped, a Ctrl-Z byte ends it, and a
// read with limit L delivers at most L - 1 characters, stopping after a newline, like fgets.
// The same reader serves a file and a block of memory, so the whole conversion can run on
// bytes held in memory (tests, fuzzing, the inspector).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace bloktar {

// Readable bytes that every piece delivered in place has behind its terminating zero, so that
// the number readers may load a few bytes at a time without looking for the end first.
inline constexpr std::size_t kPieceReadAhead = 16;

struct Document {
    // Exactly one source: an open file (read from its start) or bytes in memory.
    std::FILE* file = nullptr;
    const unsigned char* memory = nullptr;
    std::size_t memorySize = 0;
    std::size_t memoryOffset = 0;

    // Bytes of the source waiting to be delivered, as read, nothing from a Ctrl-Z on:
    // buffer[begin, end). Carriage returns are removed as the pieces are taken out; each piece
    // is delivered in place, zero-terminated. The buffer holds capacity bytes of the source, then
    // room for a terminating zero and kPieceReadAhead bytes, which are never filled from it.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    // The last piece's terminating zero stands on buffer[begin]; heldByte is what it replaced.
    bool holding = false;
    char heldByte = 0;
    // Set by the end of the source, a read error or a Ctrl-Z; cleared only by a rewind.
    bool sourceEnded = false;
};

// Prepares a document over an open file, positioned at its first byte. The document does not
// own the file.
void OpenFileDocument(Document& document, std::FILE* file);

// Prepares a document over bytes in memory; the bytes must outlive the document.
void OpenMemoryDocument(Document& document, const void* bytes, std::size_t size);

// Reads the next line, or the next piece of a long line, into buffer (which holds at least
// limit bytes; limit is at least 2): at most limit - 1 characters, the newline included when it
// comes first, then a zero byte. Returns false at the end of the document (nothing stored).
bool ReadDocumentLine(char* buffer, int limit, Document& document);

// Reads the next line or piece exactly like ReadDocumentLine, but leaves it in the document's
// buffer: returns it zero-terminated there, with its length (which counts any zero bytes in it),
// or null at the end of the document. The piece stays valid until the next read or rewind, and
// kPieceReadAhead bytes past its terminating zero may be read.
const char* NextDocumentPiece(Document& document, int limit, std::size_t& length);

// Goes back to the document's first byte; a Ctrl-Z or an end seen before no longer counts.
void RewindDocument(Document& document);

// True when the zero-terminated text starts with the whole of prefix.
template <std::size_t N>
inline bool BeginsWith(const char* text, const char (&prefix)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

}  // namespace bloktar
