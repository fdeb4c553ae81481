#include "fuzz/export_check.hpp"

#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "bd1/bd1_reader.hpp"
#include "export/export_run.hpp"
#include "run/console.hpp"
#include "support/glb.hpp"

namespace fuzzing {
namespace {

bool AnyNonFinite(const std::vector<bloktar::Bd1Block>& blocks) {
    for (const bloktar::Bd1Block& block : blocks) {
        const float* values[] = {block.x, block.y, block.z};
        for (const float* field : values) {
            for (int k = 0; k < 8; ++k) {
                if (!std::isfinite(field[k])) return true;
            }
        }
        for (int i = 0; i < 24; ++i) {
            if (!std::isfinite(block.u[i]) || !std::isfinite(block.v[i])) return true;
        }
    }
    return false;
}

}  // namespace

std::string ExportAndCheck(const unsigned char* data, std::size_t size) {
    using namespace bloktar;
    Bd1Reading reading;
    ReadBd1FileBytes(std::span<const unsigned char>(data, size), size, reading);
    if (reading.fault != Bd1Fault::None) return {};

    exporter::ExportInput model;
    model.header = reading.header;
    model.blocks = reading.blocks;
    MemoryConsole console;
    exporter::GlbFile file;
    const exporter::ExportOutcome outcome = exporter::BuildExport(model, nullptr, console, file);
    const bool nonFinite = AnyNonFinite(model.blocks);
    if (outcome == exporter::ExportOutcome::NotFinite) {
        if (!nonFinite) return "refused a model whose every value is finite";
        if (file.size != 0) return "a refusal left bytes behind";
        return {};
    }
    if (outcome != exporter::ExportOutcome::Written) return "neither written nor refused";
    if (nonFinite) return "wrote a model holding a NaN or an infinity";
    if (!console.printed.ends_with("glTF\x8d\xec\x90\xac\t\x8a\xae\x97\xb9\n")) {
        return "the console does not end with the build's completion";
    }

    testing_support::GlbContent glb;
    const std::string fault =
        testing_support::ReadGlb(std::string_view(file.bytes.get(), file.size), glb);
    if (!fault.empty()) return "the .glb does not read back: " + fault;
    const std::size_t blocks = model.blocks.size();
    if (glb.vertices.size() != blocks * 24) return "not 24 vertices per block";
    if (glb.triangles.size() != blocks * 12) return "not 12 triangles per block";
    for (std::size_t i = 0; i < glb.vertices.size(); ++i) {
        const testing_support::GlbVertex& vertex = glb.vertices[i];
        if (vertex.block >= blocks) return "a vertex of a block that does not exist";
        const Bd1Block& block = model.blocks[vertex.block];
        bool corner = false;
        for (int k = 0; k < 8 && !corner; ++k) {
            corner = vertex.position[0] == -block.x[k] && vertex.position[1] == block.y[k] &&
                     vertex.position[2] == block.z[k];
        }
        if (!corner) return "a vertex at none of its block's corners";
        const double length = std::sqrt(double{vertex.normal[0]} * vertex.normal[0] +
                                        double{vertex.normal[1]} * vertex.normal[1] +
                                        double{vertex.normal[2]} * vertex.normal[2]);
        if (!(std::fabs(length - 1) < 1e-5)) return "a normal that is not of unit length";
    }
    for (const testing_support::GlbTriangle& triangle : glb.triangles) {
        const std::uint32_t block = glb.vertices[triangle.corner[0]].block;
        if (glb.vertices[triangle.corner[1]].block != block ||
            glb.vertices[triangle.corner[2]].block != block) {
            return "a triangle across blocks";
        }
    }
    for (int a = 0; a < 3; ++a) {
        for (const testing_support::GlbVertex& vertex : glb.vertices) {
            if (vertex.position[a] < glb.min[a] || vertex.position[a] > glb.max[a]) {
                return "a position outside the accessor's bounds";
            }
        }
    }
    return {};
}

}  // namespace fuzzing
