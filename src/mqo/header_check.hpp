// The first check on an opened document: its two header lines.
#pragma once

#include "driver/console.hpp"
#include "mqo/document.hpp"

namespace bloktar {

// Reads the document's first two lines (limit 128). Returns true when they are exactly the
// document header, leaving the document at its third line. Otherwise prints why on the console
// and returns false; the run then ends with status 1 and without the closing pause.
bool CheckDocumentHeader(Document& document, Console& console);

}  // namespace bloktar
