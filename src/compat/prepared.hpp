// A document as bloktar-compat and bloktar-inspect take it: the file itself, or its Ver 1.0 form
// (made from the file or from an archive's member), or a refusal.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

#include "compat/archive.hpp"
#include "compat/code_page.hpp"
#include "compat/translation.hpp"
#include "mqo/document.hpp"
#include "run/console.hpp"
#include "run/platform.hpp"

namespace bloktar::compat {

enum class Preparation {
    Untouched,  // read the file as it is, as the converter does
    Ready,      // read the document that PrepareDocument opened
    Refused,    // PrintRefusal says why
};

struct PreparedDocument {
    Cp932Encoder encoder;
    bool fromArchive = false;
    Fault archiveFault = Fault::None;
    // The archive's member, or the bytes of a file held in memory; where the document is Ready
    // and translating is null, the bytes it is read from: as they are, or translated over
    // themselves.
    ArchiveMember member;
    std::unique_ptr<DocumentSource> raw;
    std::unique_ptr<PlacedBytes> placed;  // the file, read where its bytes stand
    TranslationPlan plan;
    VertexLines lines;  // the lines of a file's binary vertices, made while it was planned
    bool linesMade = false;
    // Where the document is Ready and not in member: its Ver 1.0 form, read from the file
    // (PlacedFormSource), made as it is read (TranslatingSource) or made once from member while
    // it is read (FormSource).
    std::unique_ptr<DocumentSource> translating;
};

// True when path names a .mqoz archive (the ending in any case).
bool NamesArchive(const NativeChar* path);

// Looks at the open file (an archive when archive is true) and, when it is to be read in its
// Ver 1.0 form or out of the archive, opens document over that. On Untouched the file stands at
// its start again. The file must stay open while document is read. planned, where given, is the
// file's whole plan, made already: the file is not planned again. mapped, where given, is the
// file's bytes where the caller has mapped them: they are read there in place of the file, and
// must stay while document is read.
Preparation PrepareDocument(std::FILE* file, bool archive, PreparedDocument& prepared,
                            Document& document, const TranslationPlan* planned = nullptr,
                            std::string_view mapped = {});

// One line each: what was translated (the archive member, the version, the re-encoding, the
// binary vertex chunks), then a line for each warning.
void PrintTranslation(const PreparedDocument& prepared, Console& console);

// A line for each warning alone: what bloktar-compat says of a document that needs no
// translation.
void PrintWarnings(const PreparedDocument& prepared, Console& console);

// The refused stage with "\t失敗\n" and one line saying why.
void PrintRefusal(const PreparedDocument& prepared, Console& console);

}  // namespace bloktar::compat
