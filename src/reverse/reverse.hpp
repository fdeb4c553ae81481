// bloktar-reverse: a BD1 file back to a Metasequoia document, as a process and in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "bd1/bd1_reader.hpp"
#include "reverse/document_writer.hpp"
#include "run/console.hpp"
#include "run/platform.hpp"

namespace bloktar::reverse {

// How a run ended; only Written exits with status 0.
enum class ReverseOutcome {
    Written,
    InputNotOpened,   // no argument, an over-long path, not a readable regular file
    InputNotRead,     // a read error
    NotBd1,           // the file cannot be a BD1 file (Bd1Reading::fault says why)
    NotDocumentable,  // its content cannot stand in a document (DocumentCheck::obstacle)
    NotWritten,       // the document could not be written
};

int ExitStatusFor(ReverseOutcome outcome);

// The document's name: the whole BD1 path followed by ".mqo".
NativeString DocumentPathFor(const NativeChar* bd1Path);

// What ReverseBd1Bytes found and made.
struct Reversal {
    Bd1Reading reading;
    DocumentCheck check;
    std::string document;  // valid when the outcome is Written
};

// Takes a BD1 file of length bytes (bytes holds them, or its first kBd1MaxLength) apart and
// writes its document, printing the stages from the file check to the document, and the reason
// for a refusal. Returns Written when reversal.document holds the document.
ReverseOutcome ReverseBd1Bytes(std::span<const unsigned char> bytes, std::uint64_t length,
                               Console& console, Reversal& reversal);

// Prints what the document does not carry (nothing when it carries everything).
void PrintWarnings(const DocumentCheck& check, Console& console);

// Runs the program with the process's arguments, printing to out and pausing on in; returns the
// exit status.
int RunReverse(int argc, NativeChar** argv, std::FILE* in, std::FILE* out);

}  // namespace bloktar::reverse
