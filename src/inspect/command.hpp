// bloktar-inspect as a process: its command line, what it reads and prints, its exit status.
#pragma once

#include <cstdio>

#include "run/platform.hpp"

namespace bloktar::inspect {

inline constexpr int kStatusClean = 0;       // every block whole, recognised, textures in range
inline constexpr int kStatusUnreadable = 1;  // wrong arguments, or the file cannot be read
inline constexpr int kStatusProblems = 2;    // some block has a problem

enum class ArgumentError {
    None,
    UnknownOption,
    MissingFile,
    TooManyArguments,
    SvgNeedsPath,
    HtmlNeedsPath
};

struct InspectorArguments {
    bool help = false;
    const NativeChar* input = nullptr;
    const NativeChar* svg = nullptr;   // where to write the picture, if anywhere
    const NativeChar* html = nullptr;  // where to write the page, if anywhere
    ArgumentError error = ArgumentError::None;
    const NativeChar* offending = nullptr;  // the argument the error is about
};

// Reads "[--svg OUT.svg | --svg=OUT.svg] [--html OUT.html | --html=OUT.html] FILE" in any order,
// "--help" (or "-h") anywhere, and
// "--" before a file whose name starts with '-'.
InspectorArguments ParseInspectorArguments(int argc, NativeChar** argv);

// True when path names a BD1 file: it ends in ".bd1", in any case. Any other file is read as a
// document.
bool NamesBd1File(const NativeChar* path);

// Runs the inspector with the process's arguments, printing to out; returns the exit status.
int RunInspector(int argc, NativeChar** argv, std::FILE* out);

}  // namespace bloktar::inspect
