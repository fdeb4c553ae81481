// Writing ZIP archives for the tests, with zlib's deflate and our own few lines of headers.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ZipMember {
    std::string name;
    std::string bytes;
    bool deflated = true;
    bool cut = false;  // only the first half of the packed bytes, the sizes saying so
};

// A ZIP archive of the members, in order: local headers, then the central directory.
std::string ZipArchive(const std::vector<ZipMember>& members);

}  // namespace testing_support
