// The document inside a .mqoz archive: a ZIP file whose first member named *.mqo is the document.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "compat/translation.hpp"

namespace bloktar::compat {

struct ArchiveMember {
    std::string name;       // as the archive holds it
    bool utf8Name = false;  // the archive marks the name as UTF-8
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

// Reads the whole of an open file; false on a read error or when memory runs out.
bool ReadWholeStream(std::FILE* file, std::vector<unsigned char>& bytes);

// Takes the first member whose name ends in ".mqo" (in any case) out of the ZIP archive's bytes,
// stored or deflated, and checks its CRC. Returns Fault::None or the archive's fault.
Fault ExtractDocumentMember(const unsigned char* archive, std::size_t size, ArchiveMember& member);

}  // namespace bloktar::compat
