#include "fuzz/repair_check.hpp"

#include "fuzz/conversion_check.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "inspect/inspection.hpp"
#include "mqo/document.hpp"
#include "repair/document_lines.hpp"
#include "repair/repair.hpp"
#include "run/console.hpp"

namespace fuzzing {
namespace {

using bloktar::repair::DocumentLines;

// A name for a message: control bytes shown as '?'.
std::string Shown(std::string name) {
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    }
    return name;
}

}  // namespace

std::string RepairAndCheck(const unsigned char* data, std::size_t size) {
    const std::string_view form(reinterpret_cast<const char*>(data), size);
    bloktar::repair::Repair repair;
    const auto outcome = bloktar::repair::RepairForm(form, repair, kCheckedArrayBytes);
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
            // Only an object's own line: a moved line may hold the same bytes.
            const std::size_t lineStart = shown.rfind('\n', at) + 1;
            if (shown.compare(lineStart, 7, "Object ") == 0) shown[at + hidden.size() - 1] = '1';
        }
    }
    bloktar::repair::CutDocument(shown, after);
    // The objects of the repaired form stand in the order of the original's, each hidden object
    // of moved geometry right behind its own.
    std::size_t next = 0;
    std::size_t index = 0;
    const auto linesOf = [&](std::size_t at) {
        std::vector<std::string> texts;
        if (at >= after.objects.size()) return texts;
        for (const std::size_t line : after.objects[at].vertexLines) {
            texts.emplace_back(after.Content(after.lines[line]));
        }
        return texts;
    };
    for (const auto& object : before.objects) {
        const std::size_t own = next++;
        if (object.hidden && !object.loadedBeforeHidden) continue;
        const auto& report = repair.objects[index++];
        if (report.leftAsIs) continue;
        std::vector<std::string> held = linesOf(own);
        if (!report.asideName.empty()) {
            const std::vector<std::string> aside = linesOf(next++);
            held.insert(held.end(), aside.begin(), aside.end());
        }
        if (report.facesInBoxes + report.asideFaces !=
            static_cast<std::int64_t>(object.faceLines.size())) {
            return "object " + Shown(object.name) + " lost a face";
        }
        std::sort(held.begin(), held.end());
        // A line moved to the hidden object may stand behind two tabs there. A piece of a longer
        // line, or one that two tabs make longer than a read, comes back in other pieces.
        for (const std::size_t line : object.vertexLines) {
            const std::string text(before.Content(before.lines[line]));
            if (!before.lines[line].Newline() || text.size() + 3 > 127) continue;
            if (!std::binary_search(held.begin(), held.end(), text) &&
                !std::binary_search(held.begin(), held.end(), "\t\t" + text)) {
                return "object " + Shown(object.name) + " lost a vertex";
            }
        }
    }
    return "";
}

}  // namespace fuzzing
