#include "fuzz/repair_check.hpp"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "driver/console.hpp"
#include "inspect/inspection.hpp"
#include "mqo/document.hpp"
#include "repair/document_lines.hpp"
#include "repair/repair.hpp"

namespace fuzzing {
namespace {

using bloktar::repair::DocumentLines;

// The vertex lines (as the converter reads them) of each object, by name.
std::map<std::string, std::vector<std::string>> VertexLinesByObject(const DocumentLines& cut) {
    std::map<std::string, std::vector<std::string>> lines;
    for (const auto& object : cut.objects) {
        auto& texts = lines[object.name];
        for (const std::size_t line : object.vertexLines) {
            texts.emplace_back(cut.lines[line].content);
        }
    }
    return lines;
}

}  // namespace

std::string RepairAndCheck(const unsigned char* data, std::size_t size) {
    const std::string_view form(reinterpret_cast<const char*>(data), size);
    bloktar::repair::Repair repair;
    const auto outcome = bloktar::repair::RepairForm(form, repair);
    if (outcome != bloktar::repair::RepairOutcome::Repaired) return "";

    // Every block of the repaired form whole and read right (a material beyond the ten texture
    // slots is the box's own), where no object was left as it is.
    const bool allRepaired = std::none_of(repair.objects.begin(), repair.objects.end(),
                                          [](const auto& object) { return object.leftAsIs; });
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, repair.document.data(), repair.document.size());
    bloktar::MemoryConsole quiet;
    bloktar::inspect::DocumentInspection inspection;
    if (bloktar::inspect::InspectDocument(document, quiet, inspection) !=
        bloktar::inspect::DocumentOutcome::Inspected) {
        return "the repaired form is not inspected";
    }
    if (allRepaired) {
        for (std::size_t b = 0; b < inspection.findings.size(); ++b) {
            bloktar::inspect::BlockFindings findings = inspection.findings[b];
            findings.textureOutOfRange = false;
            if (bloktar::inspect::HasProblem(findings)) {
                return "block " + std::to_string(b) + " of the repaired form has a problem";
            }
        }
    }

    // Every face of a repaired object is in a box or moved; every vertex line is in the object
    // or in its hidden object.
    DocumentLines before;
    DocumentLines after;
    bloktar::repair::CutDocument(form, before);
    // The hidden objects' lines read as those of visible ones.
    std::string shown = repair.document;
    for (const std::string end : {"\r\n", "\n"}) {
        const std::string hidden = "_aside\" {" + end + "\tvisible 0";
        for (std::size_t at = shown.find(hidden); at != std::string::npos;
             at = shown.find(hidden, at + 1)) {
            shown[at + hidden.size() - 1] = '1';
        }
    }
    bloktar::repair::CutDocument(shown, after);
    auto kept = VertexLinesByObject(after);
    std::size_t index = 0;
    for (const auto& object : before.objects) {
        if (object.hidden && !object.loadedBeforeHidden) continue;
        const auto& report = repair.objects[index++];
        if (report.leftAsIs) continue;
        if (report.facesInBoxes + report.asideFaces !=
            static_cast<std::int64_t>(object.faceLines.size())) {
            return "object " + object.name + " lost a face";
        }
        std::vector<std::string> held = kept[object.name];
        const auto& aside = kept[report.asideName];
        held.insert(held.end(), aside.begin(), aside.end());
        std::sort(held.begin(), held.end());
        // A line moved to the hidden object may stand behind two tabs there.
        for (const std::size_t line : object.vertexLines) {
            const std::string text(before.lines[line].content);
            if (!std::binary_search(held.begin(), held.end(), text) &&
                !std::binary_search(held.begin(), held.end(), "\t\t" + text)) {
                return "object " + object.name + " lost a vertex";
            }
        }
    }
    return "";
}

}  // namespace fuzzing
