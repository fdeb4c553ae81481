// bloktar-repair's work on a document's Ver 1.0 form: every box of the visible objects found and
// written where the converter reads it, everything else kept.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "mqo/document.hpp"
#include "mqo/header_check.hpp"
#include "run/platform.hpp"

namespace bloktar::repair {

// Why a box is written anew, from the first that applies.
enum class Cause {
    Triangles,       // a side came as two triangles
    SharedVertices,  // it shares a vertex with another box
    Place,           // its vertices or faces are not where the converter reads one block
    VertexOrder,     // they are, in an order the converter misreads
};
inline constexpr int kCauses = 4;

// What became of one object the converter reads.
struct ObjectRepair {
    std::string name;       // bytes as written
    bool leftAsIs = false;  // a mirror, curved-surface or lathe object, or one the converter
                            // reads only in part: its lines stay as they are
    std::int64_t kept = 0;
    std::int64_t rewritten[kCauses] = {};
    std::int64_t asideVertices = 0;  // lines moved to the hidden object (vertex lines, and lines
                                     // of the vertex chunk that are none)
    std::int64_t asideFaces = 0;
    std::int64_t facesInBoxes = 0;  // face lines the boxes took (a side of two triangles: two)
    std::string asideName;          // the hidden object's name, when anything was moved
};

enum class RepairOutcome {
    Repaired,         // document holds the repaired form
    NothingToRepair,  // every box already stands where the converter reads it
    HeaderRejected,   // the header check failed (header says why)
    TooManyBlocks,    // the repaired form would hold more blocks than a BD1 file counts
    NotVerified,      // the converter would not read the repaired form's boxes right
    Abandoned,        // asked to stop before it ended: nothing to go by
};

struct Repair {
    HeaderVerdict header;
    std::vector<ObjectRepair> objects;  // the objects the converter reads, in order
    std::int64_t blocks = 0;            // the blocks the repaired form gives (or would give)
    std::int64_t wrongBlock = -1;       // for NotVerified: the first block that is not its box
    std::string document;               // the repaired form, for Repaired
    std::string documentRest;           // with a sink: the form's second piece, which follows
                                        // document
};

// The suffix of the hidden object that takes what is no box.
inline constexpr std::string_view kAsideSuffix = "_aside";

// Hears of the repaired form as it is written, before the check runs, to store it meanwhile and
// keep it only when the outcome is Repaired. The form comes in two pieces, the second following
// the first. A sink that Streams is handed each piece's bytes in order as they are written (each
// piece by one thread), and reads them back for the check: Repair::document and documentRest
// then stay empty. Any other is handed both pieces once written: with it, Repair::document holds
// only the first, and Repair::documentRest the second.
class RepairedFormSink {
  public:
    virtual ~RepairedFormSink() = default;
    // Asked once, before anything is written: true when the sink is ready to take each piece's
    // bytes as they are written.
    virtual bool Streams() { return false; }
    // Streaming: the next bytes of piece 0 or piece 1.
    virtual void Append(int /*piece*/, std::string_view /*bytes*/) {}
    // Streaming, on the thread that wrote piece 0, once every byte of it is handed over: the
    // sink may put piece 1's bytes behind it here as they come, until SecondPaused is called.
    virtual void FollowSecond() {}
    // Streaming, on the thread that writes piece 1, once it stops writing for now.
    virtual void SecondPaused() {}
    // Every byte is written; not streaming, first and second are the pieces.
    virtual void FormWritten(std::string_view first, std::string_view second) = 0;
    // Streaming: the form as stored, read from its first byte; null when not all of it could be.
    virtual DocumentSource* StoredForm() { return nullptr; }
};

// Repairs a document's Ver 1.0 form (every byte, as the converter reads it) and checks the result
// by converting it in memory, with arrays of at most maxArrayBytes each (a larger one makes the
// check fail: NotVerified).
// Once *abandon is set (when given), the repair stops as soon as it looks: Abandoned.
// Where the form is a mapped file's bytes (mapped, when given), the pages of those it is done
// with go back to the system as it goes.
RepairOutcome RepairForm(std::string_view form, Repair& repair,
                         std::size_t maxArrayBytes = std::numeric_limits<std::size_t>::max(),
                         RepairedFormSink* sink = nullptr,
                         const std::atomic<bool>* abandon = nullptr,
                         const MappedFile* mapped = nullptr);

}  // namespace bloktar::repair
