// The inspector's console output: one row per block, then a summary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "inspect/inspection.hpp"
#include "run/console.hpp"

namespace bloktar::inspect {

// Document bytes as the console gets them: control characters (which could move the cursor or
// end a line) become '?'; everything else, Shift_JIS included, passes unchanged.
std::string Printable(std::string_view bytes);

// A float as the shortest decimal that reads back to the same value ("-0", "0.5", "inf", "nan").
std::string FloatText(float value);

// The texture names, one row per block with what is wrong with it, and the summary with the
// converter's report checks.
void PrintDocumentInspection(const DocumentInspection& inspection, Console& console);

// Why a BD1 file is refused.
void PrintBd1Fault(const Bd1Reading& reading, Console& console);

// The texture names, every block's corners, face UVs and textures, and the summary.
void PrintBd1Inspection(const Bd1Reading& reading, Console& console);

}  // namespace bloktar::inspect
