// Texts for the .glb file, which holds UTF-8 only: the document's names are Shift_JIS bytes.
#pragma once

#include <string>
#include <string_view>

namespace bloktar::exporter {

// The UTF-8 text of Shift_JIS (code page 932) bytes, through the system's own converter (glibc's
// iconv, the Windows API); a byte that does not decode becomes '?'.
std::string Utf8FromCp932(std::string_view bytes);

}  // namespace bloktar::exporter
