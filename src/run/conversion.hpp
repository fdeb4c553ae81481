// The conversion of one open document into BD1 bytes, from the header check to the report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "run/atomic_file.hpp"
#include "run/console.hpp"
#include "run/pipeline.hpp"

namespace bloktar {

// How a run ended. ExitStatusFor and PausesAfter say what each means for the process.
enum class RunOutcome {
    Completed,
    InputNotOpened,     // no argument, an over-long path, not a readable regular file
    HeaderRejected,     // the document's two header lines are wrong or missing
    BlockCountRefused,  // more blocks than a BD1 file can count, or a negative count
    MemoryUnavailable,  // an array could not be obtained
    OutputNotCreated,   // the output file could not be created
    HeaderNotWritten,   // writing the BD1 header failed
    RecordsNotWritten,  // writing, closing or putting the finished output in place failed
};

int ExitStatusFor(RunOutcome outcome);
// Every run ends with the closing pause, except one stopped by the header check.
bool PausesAfter(RunOutcome outcome);

// Where the BD1 bytes go. A file output writes to a temporary file and puts it in place only
// when everything has been written.
class Bd1Output {
  public:
    virtual ~Bd1Output() = default;
    virtual bool Create() = 0;
    // Writes the header through to its destination.
    virtual bool WriteHeader(const void* bytes, std::size_t size) = 0;
    // Writes the block records behind the header and completes the output.
    virtual bool Finish(const void* bytes, std::size_t size) = 0;
    // Discards whatever Create made; the previous output, if any, stays as it was.
    virtual void Abandon() = 0;
};

// Collects the BD1 bytes in memory; they count only once finished is true.
class MemoryBd1Output final : public Bd1Output {
  public:
    bool Create() override;
    bool WriteHeader(const void* bytes, std::size_t size) override;
    bool Finish(const void* bytes, std::size_t size) override;
    void Abandon() override;

    std::vector<unsigned char> bytes;
    bool finished = false;
};

// Writes the BD1 file atomically (see AtomicFile): a failed or abandoned run leaves any earlier
// output untouched and no temporary file behind.
class FileBd1Output final : public Bd1Output {
  public:
    explicit FileBd1Output(NativeString outputPath) : file_(std::move(outputPath)) {}

    bool Create() override;
    bool WriteHeader(const void* bytes, std::size_t size) override;
    bool Finish(const void* bytes, std::size_t size) override;
    void Abandon() override;

  private:
    AtomicFile file_;
};

struct ConversionLimits {
    // The most bytes any one of the three arrays may take; a larger one counts as memory that
    // cannot be obtained.
    std::size_t maxArrayBytes = std::numeric_limits<std::size_t>::max();
};

struct ConversionResult {
    RunOutcome outcome;
    MqoSummary summary;  // as surveyed; all zero when the header check stopped the run
};

// Prints what the header check found wrong, in the converter's words; nothing when it accepted.
void PrintHeaderVerdict(const HeaderVerdict& verdict, Console& console);

// Prints why the pipeline refused the document (the header, the block count, memory), as the
// converter does; nothing for a run that completed or that a hook stopped.
void PrintPipelineRefusal(const PipelineResult& result, Console& console);

// Runs the conversion on a document just opened: header check, survey, arrays, texture names,
// geometry, output, header, blocks, write and report, printing each stage's progress.
ConversionResult ConvertDocument(Document& document, Console& console, Bd1Output& output,
                                 const ConversionLimits& limits = {});

}  // namespace bloktar
