# Writes OUTPUT, a header that holds the page template HTML and the viewer's code JS as string
# constants (bloktar::inspect::web::kViewerHtml and kViewerJs), byte for byte.
# Usage: cmake -DHTML=viewer.html -DJS=viewer.js -DOUTPUT=viewer_page.hpp -P embed.cmake
function(string_literal path variable)
    file(READ "${path}" hex HEX)
    # Lines of 64 bytes (128 hex digits), each its own literal.
    string(REPEAT "." 128 line)
    string(REGEX REPLACE "(${line})" "\\1\"\n    \"" hex "${hex}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
    set(${variable} "    \"${escaped}\"" PARENT_SCOPE)
endfunction()

string_literal("${HTML}" html)
string_literal("${JS}" js)
file(WRITE "${OUTPUT}.tmp"
"// Generated from src/inspect/web/viewer.html and viewer.js by embed.cmake; do not edit.
#pragma once

#include <string_view>

namespace bloktar::inspect::web {

inline constexpr std::string_view kViewerHtml =
${html};

inline constexpr std::string_view kViewerJs =
${js};

}  // namespace bloktar::inspect::web
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
