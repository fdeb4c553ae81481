#include "run/conversion.hpp"

#include <span>

#include "run/report.hpp"

namespace bloktar {
namespace {

// The converter's side of the run: each stage's label before it runs and its completion after,
// the output created once the geometry is read, the header written through, the records written
// and the output completed.
class ConverterHooks final : public PipelineHooks {
  public:
    ConverterHooks(Console& console, Bd1Output& output) : console_(console), output_(output) {}

    void StageStarting(PipelineStage stage) override {
        switch (stage) {
            case PipelineStage::HeaderCheck:
                console_.Text(text::kHeaderCheck);
                break;
            case PipelineStage::Survey:
                console_.Text(text::kSurvey);
                break;
            case PipelineStage::Materials:
                console_.Text(text::kMaterials);
                break;
            case PipelineStage::Objects:
                console_.Text(text::kObjects);
                break;
            case PipelineStage::HeaderBuild:
                console_.Text(text::kHeaderBuild);
                break;
            case PipelineStage::Blocks:
                console_.Text(text::kBlockBuild);
                break;
        }
    }

    void StageDone(PipelineStage stage) override {
        console_.Text(text::kDone);
        // The passes over the document end a line; the texture names share it with the geometry.
        if (stage == PipelineStage::HeaderCheck || stage == PipelineStage::Survey ||
            stage == PipelineStage::Objects) {
            console_.Text(text::kNewline);
        }
    }

    bool GeometryRead(const StoredGeometry&) override {
        if (output_.Create()) return true;
        console_.Text(text::kOutputCreate);
        console_.Text(text::kFailed);
        stoppedWith = RunOutcome::OutputNotCreated;
        return false;
    }

    bool HeaderBuilt(const Bd1Header& header) override {
        if (output_.WriteHeader(&header, sizeof header)) return true;
        console_.Text(text::kFailed);
        output_.Abandon();
        stoppedWith = RunOutcome::HeaderNotWritten;
        return false;
    }

    bool RecordsBuilt(std::span<const Bd1Block> records) override {
        console_.Text(text::kWrite);
        if (!output_.Finish(records.data(), records.size_bytes())) {
            console_.Text(text::kFailed);
            output_.Abandon();
            stoppedWith = RunOutcome::RecordsNotWritten;
            return false;
        }
        console_.Text(text::kDone);
        console_.Text(text::kNewline);
        return true;
    }

    RunOutcome stoppedWith = RunOutcome::Completed;

  private:
    Console& console_;
    Bd1Output& output_;
};

}  // namespace

int ExitStatusFor(RunOutcome outcome) {
    return outcome == RunOutcome::Completed ? 0 : 1;
}

bool PausesAfter(RunOutcome outcome) {
    return outcome != RunOutcome::HeaderRejected;
}

bool MemoryBd1Output::Create() {
    bytes.clear();
    finished = false;
    return true;
}

bool MemoryBd1Output::WriteHeader(const void* header, std::size_t size) {
    const auto* from = static_cast<const unsigned char*>(header);
    bytes.insert(bytes.end(), from, from + size);
    return true;
}

bool MemoryBd1Output::Finish(const void* records, std::size_t size) {
    const auto* from = static_cast<const unsigned char*>(records);
    if (size > 0) bytes.insert(bytes.end(), from, from + size);
    finished = true;
    return true;
}

void MemoryBd1Output::Abandon() {
    bytes.clear();
    finished = false;
}

bool FileBd1Output::Create() {
    return file_.Create();
}

bool FileBd1Output::WriteHeader(const void* header, std::size_t size) {
    return file_.Write(header, size);
}

bool FileBd1Output::Finish(const void* records, std::size_t size) {
    return file_.Write(records, size) && file_.Commit();
}

void FileBd1Output::Abandon() {
    file_.Abandon();
}

void PrintHeaderVerdict(const HeaderVerdict& verdict, Console& console) {
    switch (verdict.finding) {
        case HeaderVerdict::Finding::Accepted:
            return;
        case HeaderVerdict::Finding::EndedEarly:
            console.Text(text::kReadFailed);
            return;
        case HeaderVerdict::Finding::LineDiffers:
            console.Text(text::kTmpStrPrefix);
            console.Bytes(verdict.line);
            console.Text(text::kNewline);
            console.Text(verdict.failedLine == 1 ? text::kDocumentLineMismatch
                                                 : text::kFormatLineMismatch);
            return;
    }
}

void PrintPipelineRefusal(const PipelineResult& result, Console& console) {
    switch (result.outcome) {
        case PipelineOutcome::HeaderRejected:
            PrintHeaderVerdict(result.header, console);
            break;
        case PipelineOutcome::BlockCountRefused:
            console.Text(text::kBlockCountCheck);
            console.Text(text::kFailed);
            break;
        case PipelineOutcome::MemoryUnavailable:
            console.Text(text::kMemory);
            console.Text(text::kFailed);
            break;
        case PipelineOutcome::Completed:
        case PipelineOutcome::Stopped:
            break;
    }
}

ConversionResult ConvertDocument(Document& document, Console& console, Bd1Output& output,
                                 const ConversionLimits& limits) {
    ConverterHooks hooks(console, output);
    PipelineLimits pipelineLimits;
    pipelineLimits.maxArrayBytes = limits.maxArrayBytes;
    const PipelineResult run = RunDocumentPipeline(document, hooks, pipelineLimits);
    PrintPipelineRefusal(run, console);

    ConversionResult result{RunOutcome::Completed, run.summary};
    switch (run.outcome) {
        case PipelineOutcome::Completed:
            PrintConversionReport(run.summary, console);
            break;
        case PipelineOutcome::HeaderRejected:
            result.outcome = RunOutcome::HeaderRejected;
            break;
        case PipelineOutcome::BlockCountRefused:
            result.outcome = RunOutcome::BlockCountRefused;
            break;
        case PipelineOutcome::MemoryUnavailable:
            result.outcome = RunOutcome::MemoryUnavailable;
            break;
        case PipelineOutcome::Stopped:
            result.outcome = hooks.stoppedWith;
            break;
    }
    return result;
}

}  // namespace bloktar
