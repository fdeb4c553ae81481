// bloktar-export: a BD1 file, or a document in any form bloktar-compat takes, as one binary
// glTF 2.0 file beside it.
#pragma once

#include <cstdio>
#include <vector>

#include "bd1/bd1.hpp"
#include "export/glb.hpp"
#include "run/console.hpp"
#include "run/platform.hpp"

namespace bloktar::exporter {

// How a run ended; only Written exits with status 0.
enum class ExportOutcome {
    Written,
    InputNotOpened,   // no argument, an over-long path, not a readable regular file
    InputNotRead,     // a read error
    NotBd1,           // the BD1 reader refuses the file
    DocumentRefused,  // the translation or the converter's pipeline refuses the document
    NotFinite,        // a NaN or an infinity among the corners or UVs
    NotWritten,       // the .glb file could not be written
};

int ExitStatusFor(ExportOutcome outcome);

// The output's name: the whole input path followed by ".glb".
NativeString GlbPathFor(const NativeChar* inputPath);

// The model to export: the BD1 header and records, read from a BD1 file or converted from a
// document exactly as the converter converts it.
struct ExportInput {
    Bd1Header header{};
    std::vector<Bd1Block> blocks;
};

// From the block count on: prints the count, refuses a value glTF cannot carry, looks up the
// texture images of the slots in use beside input (with input null, none is found), prints the
// materials and images, and builds the .glb file. Returns Written when file holds it.
ExportOutcome BuildExport(const ExportInput& model, const NativeChar* input, Console& console,
                          GlbFile& file);

// Runs the program with the process's arguments, printing to out and pausing on in; returns the
// exit status.
int RunExport(int argc, NativeChar** argv, std::FILE* in, std::FILE* out);

}  // namespace bloktar::exporter
