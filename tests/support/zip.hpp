// Writing ZIP archives for the tests, with zlib's deflate and our own few lines of headers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

struct ZipMember {
    std::string name;
    std::string bytes;
    bool deflated = true;
    bool cut = false;             // only the first half of the packed bytes, the sizes saying so
    std::string packed = {};      // when not empty, the packed bytes, as they are, of bytes
    std::int64_t sizeChange = 0;  // added to the size of bytes that the archive gives
    std::uint32_t crcChange = 0;  // XORed into the CRC of bytes that the archive gives
};

// zlib's raw deflate stream of the bytes, at its best compression.
std::string Deflate(const std::string& bytes);

// A ZIP archive of the members, in order: local headers, then the central directory.
std::string ZipArchive(const std::vector<ZipMember>& members);

}  // namespace testing_support
