// A second, deliberately plain reading of a document (one byte at a time, numbers through the C
// library), against which the converter's own reader is compared byte for byte.
#pragma once

#include <cstddef>
#include <vector>

#include "mqo/mqo.hpp"

namespace reference {

struct ReadDocument {
    bool headerAccepted = false;
    bloktar::MqoSummary summary{};
    bloktar::TextureNameTable textures{};
    std::vector<bloktar::MQO_VERTEX> vertices;
    std::vector<bloktar::MQO_FACE> faces;
};

// Reads the document the way the converter's passes do: header check, survey, texture names,
// geometry. The arrays get min(max(0, total), cap) records.
ReadDocument Read(const unsigned char* bytes, std::size_t size, std::size_t cap);

}  // namespace reference
