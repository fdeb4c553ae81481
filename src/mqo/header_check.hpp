// The first check on an opened document: its two header lines.
#pragma once

#include "mqo/document.hpp"

namespace bloktar {

inline constexpr int kHeaderLineLimit = 128;

// What the header check found.
struct HeaderVerdict {
    enum class Finding {
        Accepted,     // both lines are exactly the document header
        EndedEarly,   // the document ended before the line that failed
        LineDiffers,  // the line that failed was read and is not the expected one
    };
    Finding finding = Finding::Accepted;
    int failedLine = 0;  // 1 or 2 when the check failed, else 0
    // The failed line as read (at most kHeaderLineLimit - 1 bytes), zero-terminated; empty
    // unless the line differs.
    char line[kHeaderLineLimit] = {};

    bool Accepted() const { return finding == Finding::Accepted; }
};

// Reads the document's first two lines (limit 128). When they are exactly the document header,
// the verdict is Accepted and the document stands at its third line; otherwise it says which
// line failed, and how.
HeaderVerdict CheckDocumentHeader(Document& document);

}  // namespace bloktar
