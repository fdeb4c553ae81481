#include "fuzz/reader_check.hpp"

#include <cstring>
#include <vector>

#include "fuzz/reference_reader.hpp"
#include "mqo/header_check.hpp"
#include "mqo/mqo.hpp"

namespace fuzzing {
namespace {

constexpr std::size_t kRecordCap = 65536;  // enough for any fuzzed document's real lines

template <typename Record>
std::string CompareRecords(const char* what, const std::vector<Record>& mine,
                           const std::vector<Record>& theirs) {
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (std::memcmp(&mine[i], &theirs[i], sizeof(Record)) != 0) {
            return std::string(what) + " record " + std::to_string(i) + " differs";
        }
    }
    return "";
}

}  // namespace

std::string CompareWithReference(const unsigned char* bytes, std::size_t size) {
    std::string difference =
        CompareWithReference(bytes, size, bloktar::LineScanners::EveryProcessor);
    if (difference.empty() && bloktar::WideLineScannersRunHere()) {
        difference = CompareWithReference(bytes, size, bloktar::LineScanners::WideVectors);
    }
    return difference;
}

std::string CompareWithReference(const unsigned char* bytes, std::size_t size,
                                 bloktar::LineScanners scanners) {
    const reference::ReadDocument expected = reference::Read(bytes, size, kRecordCap);

    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, bytes, size);
    if (bloktar::CheckDocumentHeader(document).Accepted() != expected.headerAccepted) {
        return "the header check differs";
    }
    if (!expected.headerAccepted) return "";

    bloktar::MqoSummary summary{};
    bloktar::SurveyDocument(document, summary);
    if (std::memcmp(&summary, &expected.summary, sizeof summary) != 0) return "the survey differs";

    bloktar::TextureNameTable textures{};
    bloktar::ReadMaterialTextures(document, textures, summary.materialCount);
    if (std::memcmp(&textures, &expected.textures, sizeof textures) != 0) {
        return "the texture names differ";
    }

    std::vector<bloktar::MQO_VERTEX> vertices(expected.vertices.size(), bloktar::MQO_VERTEX{});
    std::vector<bloktar::MQO_FACE> faces(expected.faces.size(), bloktar::MQO_FACE{});
    bloktar::ReadObjectGeometry(document, vertices, faces, nullptr, scanners);
    std::string difference = CompareRecords("vertex", vertices, expected.vertices);
    if (difference.empty()) difference = CompareRecords("face", faces, expected.faces);
    if (!difference.empty()) {
        return difference + (scanners == bloktar::LineScanners::WideVectors
                                 ? " (scanners for wide vectors)"
                                 : " (scanners for every processor)");
    }
    return "";
}

}  // namespace fuzzing
