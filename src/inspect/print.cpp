#include "inspect/print.hpp"

#include <charconv>
#include <cmath>

#include "inspect/inspect_text.hpp"
#include "run/bd1_fault.hpp"
#include "run/report.hpp"

namespace bloktar::inspect {
namespace {

void PrintQuoted(Console& console, std::string_view name) {
    console.Bytes("\"");
    console.Bytes(Printable(name));
    console.Bytes("\"");
}

void PrintTextureNames(const Bd1Header& header, Console& console) {
    console.Text(text::kTextureNames);
    bool any = false;
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        const std::string_view name = SlotName(header, slot);
        if (name.empty()) continue;
        any = true;
        console.Bytes("\t");
        PrintNumber(console, slot);
        console.Bytes("\t");
        console.Bytes(Printable(name));
        console.Bytes("\n");
    }
    if (!any) {
        console.Bytes("\t");
        console.Text(text::kNone);
        console.Bytes("\n");
    }
    console.Bytes("\n");
}

// A face slot's texture: its number, then its name, or why there is none.
void PrintTexture(const Bd1Header& header, std::int32_t texture, Console& console) {
    PrintNumber(console, texture);
    console.Bytes(" ");
    if (!TextureInRange(texture)) {
        console.Text(text::kOutOfRange);
        return;
    }
    const std::string_view name = SlotName(header, texture);
    if (name.empty()) {
        console.Text(text::kNoName);
    } else {
        console.Bytes(Printable(name));
    }
}

void PrintVertexList(const FaceReference& face, Console& console) {
    for (int k = 0; k < face.listed; ++k) {
        if (k > 0) console.Bytes(" ");
        PrintNumber(console, face.V[k]);
    }
}

// "面 3", or "\"tower\" の面 3" when the block's records come from several objects.
void PrintFace(const DocumentInspection& inspection, const BlockFindings& findings,
               const FaceReference& face, Console& console) {
    if (findings.straddles) {
        PrintQuoted(console, inspection.objects[face.object].name);
        console.Text(text::kOfObject);
    }
    console.Text(text::kFace);
    PrintNumber(console, face.number);
}

// A problem line that says how many of a block's vertices or faces are there.
void PrintMissing(const ConsoleText& before, int present, const ConsoleText& after,
                  Console& console) {
    console.Text(text::kProblemMark);
    console.Text(before);
    PrintNumber(console, present);
    console.Text(after);
    console.Bytes("\n");
}

void PrintProblems(const DocumentInspection& inspection, const BlockFindings& findings,
                   Console& console) {
    if (findings.straddles) {
        console.Text(text::kProblemMark);
        console.Text(text::kStraddles);
        console.Bytes("\n");
    }
    if (findings.verticesPresent < kBlockCorners) {
        PrintMissing(text::kVerticesMissing, findings.verticesPresent, text::kVerticesMissingEnd,
                     console);
    }
    if (findings.facesPresent < kBlockFaces) {
        PrintMissing(text::kFacesMissing, findings.facesPresent, text::kFacesMissingEnd, console);
    }
    if (findings.layout == kNoLayout) {
        console.Text(text::kProblemMark);
        console.Text(text::kUnrecognised);
        if (findings.firstFace && findings.firstFace->listed > 0) {
            console.Text(text::kFirstFace);
            PrintVertexList(*findings.firstFace, console);
            console.Bytes("))");
        }
        console.Bytes("\n");
    }
    for (const FaceReference& face : findings.outsideFaces) {
        console.Text(text::kProblemMark);
        PrintFace(inspection, findings, face, console);
        console.Text(text::kOutsideVertices);
        PrintVertexList(face, console);
        console.Bytes(")");
        if (findings.localFirstVertex) {
            console.Text(text::kBlockVertexRange);
            PrintNumber(console, *findings.localFirstVertex);
            console.Text(text::kRangeTo);
            PrintNumber(console, *findings.localFirstVertex + (kBlockCorners - 1));
        }
        console.Bytes("\n");
    }
    for (const FaceReference& face : findings.nonQuadrilaterals) {
        console.Text(text::kProblemMark);
        PrintFace(inspection, findings, face, console);
        console.Text(text::kNotQuadrilateral);
        PrintNumber(console, face.n);
        console.Bytes(")\n");
    }
    if (findings.textureOutOfRange) {
        console.Text(text::kProblemMark);
        console.Text(text::kTextureOutOfRange);
        console.Bytes("\n");
    }
}

void PrintBlockRow(const DocumentInspection& inspection, std::size_t block, Console& console) {
    const BlockFindings& findings = inspection.findings[block];
    console.Text(text::kBlock);
    PrintNumber(console, block);
    console.Bytes("\t");
    if (findings.objects.empty()) console.Bytes("-");
    for (std::size_t i = 0; i < findings.objects.size(); ++i) {
        if (i > 0) console.Bytes(" ");
        PrintQuoted(console, inspection.objects[findings.objects[i]].name);
    }
    console.Bytes("\t");
    console.Text(text::kLayout);
    if (findings.layout == kNoLayout) {
        console.Text(text::kNone);
    } else {
        PrintNumber(console, findings.layout);
    }
    console.Bytes("\n");

    console.Text(text::kFaceTextures);
    for (const std::int32_t texture : inspection.blocks[block].texture) {
        console.Bytes("\t");
        PrintTexture(inspection.header, texture, console);
    }
    console.Bytes("\n");
    PrintProblems(inspection, findings, console);
}

void PrintSummaryStart(std::size_t blocks, Console& console) {
    console.Text(bloktar::text::kReportRule);
    console.Text(text::kInspectionTitle);
    console.Text(bloktar::text::kReportRule);
    console.Text(bloktar::text::kBlockTotal);
    PrintNumber(console, blocks);
    console.Text(bloktar::text::kBlockTotalEnd);
}

void PrintProblemBlockCount(std::size_t count, Console& console) {
    console.Text(text::kProblemBlocks);
    PrintNumber(console, count);
    console.Bytes("\n");
}

}  // namespace

std::string Printable(std::string_view bytes) {
    std::string shown(bytes);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
}

std::string FloatText(float value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, result.ptr);
}

void PrintDocumentInspection(const DocumentInspection& inspection, Console& console) {
    PrintTextureNames(inspection.header, console);
    std::size_t perLayout[4] = {};
    std::size_t unrecognised = 0;
    std::size_t withProblems = 0;
    for (std::size_t block = 0; block < inspection.blocks.size(); ++block) {
        PrintBlockRow(inspection, block, console);
        const BlockFindings& findings = inspection.findings[block];
        if (findings.layout == kNoLayout) {
            ++unrecognised;
        } else {
            ++perLayout[findings.layout];
        }
        if (HasProblem(findings)) ++withProblems;
    }
    if (!inspection.blocks.empty()) console.Bytes("\n");

    PrintSummaryStart(inspection.blocks.size(), console);
    for (int layout = 0; layout <= 4; ++layout) {
        console.Text(text::kLayout);
        if (layout < 4) {
            PrintNumber(console, layout);
        } else {
            console.Text(text::kNone);
        }
        console.Bytes("\t");
        PrintNumber(console, layout < 4 ? perLayout[layout] : unrecognised);
        console.Bytes("\n");
    }
    PrintProblemBlockCount(withProblems, console);
    // The checks the converter's report makes, in its words.
    PrintReportChecks(inspection.summary, console);
    console.Text(bloktar::text::kReportRule);
    if (withProblems > 0 && inspection.repairable >= 0) {
        console.Text(text::kRepairable);
        PrintNumber(console, inspection.repairable);
        console.Bytes("\n");
    }
}

void PrintBd1Fault(const Bd1Reading& reading, Console& console) {
    console.Text(text::kBd1Check);
    console.Text(bloktar::text::kFailed);
    bloktar::PrintBd1Fault(reading, text::kBd1NegativeCount, console);
}

void PrintBd1Inspection(const Bd1Reading& reading, Console& console) {
    PrintTextureNames(reading.header, console);
    std::size_t withProblems = 0;
    for (std::size_t i = 0; i < reading.blocks.size(); ++i) {
        const Bd1Block& block = reading.blocks[i];
        console.Text(text::kBlock);
        PrintNumber(console, i);
        console.Bytes("\n");
        for (int k = 0; k < kBlockCorners; ++k) {
            console.Text(text::kCorner);
            PrintNumber(console, k);
            console.Bytes("\t");
            console.Bytes(FloatText(block.x[k]));
            console.Bytes(" ");
            console.Bytes(FloatText(block.y[k]));
            console.Bytes(" ");
            console.Bytes(FloatText(block.z[k]));
            console.Bytes("\n");
        }
        for (int f = 0; f < kBlockFaces; ++f) {
            console.Bytes("\t");
            console.Text(text::kFace);
            PrintNumber(console, f);
            console.Text(text::kTexture);
            PrintTexture(reading.header, block.texture[f], console);
            console.Bytes("\tUV");
            for (int c = 0; c < kFaceCornerCount; ++c) {
                console.Bytes(" (");
                console.Bytes(FloatText(block.u[4 * f + c]));
                console.Bytes(", ");
                console.Bytes(FloatText(block.v[4 * f + c]));
                console.Bytes(")");
            }
            console.Bytes("\n");
        }
        if (!TexturesInRange(block)) {
            ++withProblems;
            console.Text(text::kProblemMark);
            console.Text(text::kTextureOutOfRange);
            console.Bytes("\n");
        }
        console.Bytes("\n");
    }
    PrintSummaryStart(reading.blocks.size(), console);
    PrintProblemBlockCount(withProblems, console);
    console.Text(bloktar::text::kReportRule);
}

}  // namespace bloktar::inspect
