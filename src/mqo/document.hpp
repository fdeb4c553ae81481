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

struct Document {
    // Exactly one source: an open file (read from its start) or bytes in memory.
    std::FILE* file = nullptr;
    const unsigned char* memory = nullptr;
    std::size_t memorySize = 0;
    std::size_t memoryOffset = 0;

    // Translated bytes (carriage returns removed, nothing from a Ctrl-Z on) waiting to be
    // delivered: buffer[begin, end).
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
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
