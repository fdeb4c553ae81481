#include "compat/compat_run.hpp"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compat/prepared.hpp"
#include "converter/run.hpp"
#include "run/conversion.hpp"

namespace bloktar::compat {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Holds what the conversion prints while the document is still being planned. Once the plan
// takes the document: the translation's lines, what was held, and from then on everything as it
// comes. Where the plan does not, nothing of it is printed.
class HeldConsole final : public Console {
  public:
    HeldConsole(Console& console, PlanningForm& form, PreparedDocument& prepared)
        : console_(console), form_(form), prepared_(prepared) {}

    void Text(const ConsoleText& text) override {
        if (Released()) {
            console_.Text(text);
        } else {
            held_.push_back({&text, {}});
        }
    }
    void Bytes(std::string_view bytes) override {
        if (Released()) {
            console_.Bytes(bytes);
        } else {
            held_.push_back({nullptr, std::string(bytes)});
        }
    }

    // Waits for the plan's verdict, and releases what is held where the plan takes the document.
    PlanningForm::Verdict Judge() {
        if (judged_) return verdict_;
        verdict_ = form_.Judge();
        judged_ = true;
        prepared_.plan = form_.Plan();
        if (verdict_ == PlanningForm::Verdict::Translated) {
            PrintTranslation(prepared_, console_);
            for (const Held& held : held_) {
                if (held.text != nullptr) {
                    console_.Text(*held.text);
                } else {
                    console_.Bytes(held.bytes);
                }
            }
            held_.clear();
        }
        return verdict_;
    }

  private:
    struct Held {
        const ConsoleText* text;  // the program's own texts live as long as the program
        std::string bytes;
    };

    // Released once the plan has taken the document: asked as soon as the plan is done.
    bool Released() {
        if (!judged_ && form_.Decided()) Judge();
        return judged_ && verdict_ == PlanningForm::Verdict::Translated;
    }

    Console& console_;
    PlanningForm& form_;
    PreparedDocument& prepared_;
    std::vector<Held> held_;
    bool judged_ = false;
    PlanningForm::Verdict verdict_ = PlanningForm::Verdict::Abandoned;
};

// The BD1 output, created only once the plan has taken the document.
class JudgedOutput final : public Bd1Output {
  public:
    JudgedOutput(Bd1Output& output, HeldConsole& console) : output_(output), console_(console) {}
    bool Create() override {
        return console_.Judge() == PlanningForm::Verdict::Translated && output_.Create();
    }
    bool WriteHeader(const void* bytes, std::size_t size) override {
        return output_.WriteHeader(bytes, size);
    }
    bool Finish(const void* bytes, std::size_t size) override {
        return output_.Finish(bytes, size);
    }
    void Abandon() override { output_.Abandon(); }

  private:
    Bd1Output& output_;
    HeldConsole& console_;
};

// The converter's texts before its run, as its run prints them.
void PrintConverterOpening(Console& console) {
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kBannerTitle);
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kNewline);
    console.Text(bloktar::text::kFileLoad);
    console.Text(bloktar::text::kDone);
}

// A file saved as Ver 1.1 or 1.2 is converted while it is planned, and what the conversion
// prints and writes waits for the plan's verdict. -1 where the file is not such a one, or the
// plan gives the form up: it is then read the usual way, nothing printed or written yet, with
// planned set to its plan where that is whole.
int TranslateWhilePlanning(std::FILE* file, const NativeChar* path, std::FILE* in, std::FILE* out,
                           std::optional<TranslationPlan>& planned) {
    PlacedFile placed(file);
    char head[64];
    std::size_t got = 0;
    if (!placed.ReadAt(0, head, sizeof head, got) ||
        !StartsAsTranslated(std::string_view(head, got))) {
        return -1;
    }
    PreparedDocument prepared;
    PlanningForm form(placed, prepared.encoder);
    Document document;
    OpenSourceDocument(document, form);
    const std::unique_ptr<Console> processConsole = MakeProcessConsole(out);
    HeldConsole console(*processConsole, form, prepared);
    PrintConverterOpening(console);
    FileBd1Output bd1(OutputPathFor(path));
    JudgedOutput output(bd1, console);
    const RunOutcome outcome = ConvertDocument(document, console, output).outcome;
    switch (console.Judge()) {
        case PlanningForm::Verdict::Translated:
            break;
        case PlanningForm::Verdict::Refused:
            PrintRefusal(prepared, *processConsole);
            std::fflush(out);
            WaitForWord(in);
            return 1;
        case PlanningForm::Verdict::Abandoned:
            if (form.PlanWhole()) planned = form.Plan();
            return -1;
    }
    std::fflush(out);
    if (PausesAfter(outcome)) WaitForWord(in);
    return ExitStatusFor(outcome);
}

int Translate(std::FILE* file, const NativeChar* path, bool archive, int argc, NativeChar** argv,
              std::FILE* in, std::FILE* out) {
    std::optional<TranslationPlan> planned;
    if (!archive) {
        const int status = TranslateWhilePlanning(file, path, in, out, planned);
        if (status >= 0) return status;
    }
    PreparedDocument prepared;
    Document document;
    const Preparation preparation =
        PrepareDocument(file, archive, prepared, document, planned ? &*planned : nullptr);
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
    PrintConverterOpening(console);
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
