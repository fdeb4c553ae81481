#include "compat/compat_run.hpp"

#include <memory>
#include <new>

#include "compat/prepared.hpp"
#include "converter/run.hpp"
#include "run/conversion.hpp"

namespace bloktar::compat {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int Translate(std::FILE* file, const NativeChar* path, bool archive, int argc, NativeChar** argv,
              std::FILE* in, std::FILE* out) {
    PreparedDocument prepared;
    Document document;
    const Preparation preparation = PrepareDocument(file, archive, prepared, document);
    if (preparation == Preparation::Untouched) return -1;

    const std::unique_ptr<Console> processConsole = MakeProcessConsole(out);
    Console& console = *processConsole;
    if (preparation == Preparation::Refused) {
        PrintRefusal(prepared, console);
        std::fflush(out);
        WaitForWord(in);
        return 1;
    }
    PrintTranslation(prepared, console);
    // From here the converter's texts, as its run prints them.
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kBannerTitle);
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kNewline);
    console.Text(bloktar::text::kFileLoad);
    console.Text(bloktar::text::kDone);
    FileBd1Output output(OutputPathFor(path));
    const RunOutcome outcome = ConvertDocument(document, console, output).outcome;
    std::fflush(out);
    if (PausesAfter(outcome)) WaitForWord(in);
    (void)argc;
    (void)argv;
    return ExitStatusFor(outcome);
}

}  // namespace

int RunCompat(int argc, NativeChar** argv, std::FILE* in, std::FILE* out) {
    const NativeChar* path = argc > 1 ? argv[1] : nullptr;
    int status = -1;
    {
        const std::unique_ptr<std::FILE, FileCloser> file(OpenInputDocument(path));
        if (file != nullptr) {
            try {
                status = Translate(file.get(), path, NamesArchive(path), argc, argv, in, out);
            } catch (const std::bad_alloc&) {
                const std::unique_ptr<Console> console = MakeProcessConsole(out);
                console->Text(bloktar::text::kMemory);
                console->Text(bloktar::text::kFailed);
                std::fflush(out);
                WaitForWord(in);
                status = 1;
            }
        }
    }
    // Anything not translated is the converter's, byte for byte: an unreadable file, no
    // argument, a wrong header, a Ver 1.0 document without binary vertices.
    if (status < 0) status = RunConverter(argc, argv, in, out);
    return status;
}

}  // namespace bloktar::compat
