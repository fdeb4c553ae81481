#include "inspect/command.hpp"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "compat/code_page.hpp"
#include "compat/prepared.hpp"
#include "inspect/html.hpp"
#include "inspect/inspect_text.hpp"
#include "inspect/inspection.hpp"
#include "inspect/page_opening.hpp"
#include "inspect/print.hpp"
#include "inspect/svg.hpp"
#include "repair/repair_run.hpp"
#include "run/atomic_file.hpp"

namespace bloktar::inspect {
namespace {

using NativeView = std::basic_string_view<NativeChar>;

// An ASCII text compared with a native string.
bool Equals(NativeView native, std::string_view ascii) {
    if (native.size() != ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
        if (native[i] != static_cast<NativeChar>(ascii[i])) return false;
    }
    return true;
}

// An argument as the console gets it: its bytes (on Windows, its ASCII characters and '?' for
// the others), control characters shown as '?'.
template <typename Char>
std::string ArgumentText(const Char* argument) {
    std::string bytes;
    for (const Char* c = argument; *c != 0; ++c) {
        const auto code = static_cast<std::make_unsigned_t<Char>>(*c);
        bytes += (sizeof(Char) == 1 || code < 0x80) ? static_cast<char>(code) : '?';
    }
    return Printable(bytes);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

int ReportArgumentError(const InspectorArguments& arguments, Console& console) {
    switch (arguments.error) {
        case ArgumentError::None:
            break;
        case ArgumentError::UnknownOption:
            console.Text(text::kUnknownOption);
            console.Bytes(ArgumentText(arguments.offending) + "\n");
            break;
        case ArgumentError::MissingFile:
            console.Text(text::kMissingFile);
            break;
        case ArgumentError::TooManyArguments:
            console.Text(text::kTooManyArguments);
            console.Bytes(ArgumentText(arguments.offending) + "\n");
            break;
        case ArgumentError::SvgNeedsPath:
            console.Text(text::kSvgNeedsPath);
            break;
        case ArgumentError::HtmlNeedsPath:
            console.Text(text::kHtmlNeedsPath);
            break;
    }
    console.Text(text::kUsage);
    return kStatusUnreadable;
}

// The blocks to draw, and how, once the input has been read and printed.
struct Picture {
    std::vector<Bd1Block> blocks;
    std::vector<BlockMark> marks;
    std::unique_ptr<PageModel> page;  // only when the page is to be written
};

int InspectBd1File(std::FILE* file, Console& console, Picture& picture) {
    Bd1Reading reading;
    if (!ReadBd1File(file, reading)) {
        console.Text(bloktar::text::kFileLoad);
        console.Text(bloktar::text::kFailed);
        return kStatusUnreadable;
    }
    if (reading.fault != Bd1Fault::None) {
        PrintBd1Fault(reading, console);
        return kStatusUnreadable;
    }
    PrintBd1Inspection(reading, console);
    if (picture.page) DescribeBd1File(reading, *picture.page);
    bool problems = false;
    for (const Bd1Block& block : reading.blocks) {
        const bool problem = !TexturesInRange(block);
        problems = problems || problem;
        picture.marks.push_back({problem, true});
    }
    picture.blocks = std::move(reading.blocks);
    return problems ? kStatusProblems : kStatusClean;
}

// A document is inspected as the converter sees it: a Ver 1.0 document without binary vertices
// as it is, anything newer (or an archive's member) in its Ver 1.0 form, whose translation is
// told first, as bloktar-compat tells it.
int InspectDocumentFile(std::FILE* file, const NativeChar* path, Console& console,
                        Picture& picture) {
    compat::PreparedDocument prepared;
    Document document;
    const compat::Preparation preparation =
        compat::PrepareDocument(file, compat::NamesArchive(path), prepared, document);
    switch (preparation) {
        case compat::Preparation::Untouched:
            OpenFileDocument(document, file);
            break;
        case compat::Preparation::Refused:
            compat::PrintRefusal(prepared, console);
            return kStatusUnreadable;
        case compat::Preparation::Ready:
            compat::PrintTranslation(prepared, console);
            break;
    }
    DocumentInspection inspection;
    if (InspectDocument(document, console, inspection) != DocumentOutcome::Inspected) {
        return kStatusUnreadable;
    }
    const auto withProblems = static_cast<std::size_t>(
        std::count_if(inspection.findings.begin(), inspection.findings.end(), HasProblem));
    // Without the memory to work it out, the inspection is printed without the line.
    try {
        std::string form;
        if (withProblems > 0 && repair::ReadForm(file, preparation, prepared, form)) {
            inspection.repairable = RepairableBlocks(form, withProblems);
        }
    } catch (const std::bad_alloc&) {
        inspection.repairable = -1;
    }
    PrintDocumentInspection(inspection, console);
    if (picture.page) DescribeDocument(inspection, *picture.page);
    bool problems = false;
    for (const BlockFindings& findings : inspection.findings) {
        const bool problem = HasProblem(findings);
        problems = problems || problem;
        picture.marks.push_back({problem, findings.layout != kNoLayout});
    }
    picture.blocks = std::move(inspection.blocks);
    return problems ? kStatusProblems : kStatusClean;
}

// Writes a picture's file whole and ends its stage's line with done or failed.
bool WriteStageFile(const NativeString& path, const std::string& bytes, Console& console) {
    const bool written = WriteFileAtomically(path, bytes.data(), bytes.size());
    console.Text(written ? bloktar::text::kDone : bloktar::text::kFailed);
    return written;
}

// Tells where the page is, its path shown as it is (in Shift_JIS where a file or pipe takes the
// console's bytes, '?' for what Shift_JIS lacks), then opens it in the browser.
void OpenPage(const NativeString& page, Console& console) {
    const std::string utf8 = FullPathText(page) + "\n";
    std::string sjis;
    if (!compat::Cp932Encoder().Append(utf8.data(), utf8.size(), sjis)) {
        for (const char c : utf8) sjis += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    }
    console.Text(text::kPageLocation);
    console.Text(ConsoleText{sjis, utf8});
    console.Text(text::kOpenInBrowser);
    console.Text(OpenInBrowser(page) ? bloktar::text::kDone : bloktar::text::kFailed);
}

// dropped: the program has a console window of its own, as when a file is dropped on it. It then
// also writes the page (beside the input, unless --html names it) and opens it in the browser.
int Inspect(const InspectorArguments& arguments, bool dropped, Console& console) {
    if (arguments.help) {
        console.Text(text::kUsage);
        console.Text(text::kHelp);
        return kStatusClean;
    }
    if (arguments.error != ArgumentError::None) return ReportArgumentError(arguments, console);

    // The same rules as the converter: a regular file, its path at most 255 bytes.
    const OpenFile file(OpenInputDocument(arguments.input));
    if (file == nullptr) {
        console.Text(bloktar::text::kFileLoad);
        console.Text(bloktar::text::kFailed);
        return kStatusUnreadable;
    }
    const NativeString pagePath = arguments.html != nullptr ? NativeString(arguments.html)
                                  : dropped                 ? PagePathBeside(arguments.input)
                                                            : NativeString();
    Picture picture;
    if (arguments.html != nullptr || dropped) picture.page = std::make_unique<PageModel>();
    int status = NamesBd1File(arguments.input)
                     ? InspectBd1File(file.get(), console, picture)
                     : InspectDocumentFile(file.get(), arguments.input, console, picture);
    if (status == kStatusUnreadable) return status;

    if (arguments.svg != nullptr) {
        console.Text(text::kSvgWrite);
        const std::string svg = DrawBlocksSvg(picture.blocks, picture.marks);
        if (!WriteStageFile(arguments.svg, svg, console)) status = kStatusUnreadable;
    }
    if (picture.page) {
        console.Text(text::kHtmlWrite);
        PageModel& page = *picture.page;
        page.title = FileNameText(arguments.input);
        FindTextureImages(arguments.input, page.header, page.textureImages);
        const std::string html = BuildInspectionPage(picture.blocks, page);
        if (!WriteStageFile(pagePath, html, console)) {
            status = kStatusUnreadable;
        } else if (dropped) {
            OpenPage(pagePath, console);
        }
    }
    return status;
}

}  // namespace

InspectorArguments ParseInspectorArguments(int argc, NativeChar** argv) {
    InspectorArguments arguments;
    auto fail = [&](ArgumentError error, const NativeChar* offending) {
        if (arguments.error == ArgumentError::None) {
            arguments.error = error;
            arguments.offending = offending;
        }
    };
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const NativeChar* argument = argv[i];
        const NativeView view(argument);
        if (!optionsEnded && view.size() > 1 && view.front() == '-') {
            if (Equals(view, "--help") || Equals(view, "-h")) {
                arguments.help = true;
                return arguments;
            }
            // An option that names an output file: "--name FILE" or "--name=FILE".
            auto pathOption = [&](std::string_view name, const NativeChar*& path,
                                  ArgumentError missing) {
                if (Equals(view, name)) {
                    if (i + 1 < argc) {
                        path = argv[++i];
                    } else {
                        fail(missing, argument);
                    }
                    return true;
                }
                const std::size_t prefix = name.size() + 1;
                if (view.size() < prefix || !Equals(view.substr(0, name.size()), name) ||
                    view[name.size()] != '=') {
                    return false;
                }
                if (view.size() > prefix) {
                    path = argument + prefix;
                } else {
                    fail(missing, argument);
                }
                return true;
            };
            if (Equals(view, "--")) {
                optionsEnded = true;
            } else if (!pathOption("--svg", arguments.svg, ArgumentError::SvgNeedsPath) &&
                       !pathOption("--html", arguments.html, ArgumentError::HtmlNeedsPath)) {
                fail(ArgumentError::UnknownOption, argument);
            }
        } else if (arguments.input == nullptr) {
            arguments.input = argument;
        } else {
            fail(ArgumentError::TooManyArguments, argument);
        }
    }
    if (arguments.input == nullptr) fail(ArgumentError::MissingFile, nullptr);
    return arguments;
}

bool NamesBd1File(const NativeChar* path) {
    const NativeView view(path);
    if (view.size() < 4) return false;
    const NativeView ending = view.substr(view.size() - 4);
    for (std::size_t i = 0; i < 4; ++i) {
        NativeChar c = ending[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<NativeChar>(c - 'A' + 'a');
        if (c != static_cast<NativeChar>(".bd1"[i])) return false;
    }
    return true;
}

int RunInspector(int argc, NativeChar** argv, std::FILE* out) {
    const std::unique_ptr<Console> processConsole = MakeProcessConsole(out);
    Console& console = *processConsole;
    // Dropped on the program in Explorer, its window would close before the rows could be read,
    // and there is no command line to ask for the page.
    const bool dropped = ConsoleWindowIsOwn(out);
    int status;
    try {
        status = Inspect(ParseInspectorArguments(argc, argv), dropped, console);
    } catch (const std::bad_alloc&) {
        console.Text(bloktar::text::kMemory);
        console.Text(bloktar::text::kFailed);
        status = kStatusUnreadable;
    }
    std::fflush(out);
    if (dropped) WaitForWord(stdin);
    return status;
}

}  // namespace bloktar::inspect
