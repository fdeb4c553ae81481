#include "converter/run.hpp"

#include <memory>

#include "run/conversion.hpp"

namespace bloktar {
namespace {

void PrintBanner(Console& console) {
    console.Text(text::kBannerRule);
    console.Text(text::kBannerTitle);
    console.Text(text::kBannerRule);
    console.Text(text::kNewline);
}

}  // namespace

int RunConverter(int argc, NativeChar** argv, std::FILE* in, std::FILE* out) {
    const std::unique_ptr<Console> processConsole = MakeProcessConsole(out);
    Console& console = *processConsole;
    PrintBanner(console);

    const NativeChar* path = argc > 1 ? argv[1] : nullptr;
    console.Text(text::kFileLoad);
    std::FILE* input = OpenInputDocument(path);
    RunOutcome outcome = RunOutcome::InputNotOpened;
    if (input == nullptr) {
        console.Text(text::kFailed);
    } else {
        console.Text(text::kDone);
        Document document;
        OpenFileDocument(document, input);
        FileBd1Output output(OutputPathFor(path));
        outcome = ConvertDocument(document, console, output).outcome;
        std::fclose(input);
    }
    std::fflush(out);
    if (PausesAfter(outcome)) WaitForWord(in);
    return ExitStatusFor(outcome);
}

}  // namespace bloktar
