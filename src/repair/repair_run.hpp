// bloktar-repair as a process: the document's Ver 1.0 form repaired beside it, or a refusal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "compat/prepared.hpp"
#include "repair/repair.hpp"
#include "repair/room_allocator.hpp"
#include "run/console.hpp"
#include "run/platform.hpp"

namespace bloktar::repair {

// The repaired document's name: the whole input path followed by ".repaired.mqo".
NativeString RepairedPathFor(const NativeChar* inputPath);

// The Ver 1.0 form of a document that PrepareDocument has looked at (and not refused): the
// file's own bytes, the archive member's, or the translation's. False on a read error.
bool ReadForm(std::FILE* file, compat::Preparation preparation, compat::PreparedDocument& prepared,
              std::string& form);

// The form's bytes as bloktar-repair holds them: in room the system need not clear first.
using FormBytes = std::vector<char, RoomAllocator<char>>;
bool ReadForm(std::FILE* file, compat::Preparation preparation, compat::PreparedDocument& prepared,
              FormBytes& form);

// What the run found in each object the converter reads: the boxes kept, those rewritten by
// cause, what was moved to a hidden object, or that it is left as it is.
void PrintObjects(const Repair& repair, Console& console);

// Runs the program with the process's arguments, printing to out and pausing on in; returns the
// exit status.
int RunRepair(int argc, NativeChar** argv, std::FILE* in, std::FILE* out);

}  // namespace bloktar::repair
