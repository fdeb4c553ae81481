#include "repair/repair_run.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "repair/repair_text.hpp"
#include "repair/room_allocator.hpp"
#include "run/atomic_file.hpp"
#include "run/conversion.hpp"

namespace bloktar::repair {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Document bytes for the console: control characters become '?'.
void PrintName(Console& console, std::string_view name) {
    std::string shown(name);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    console.Bytes(shown);
}

void PrintCountLine(Console& console, const ConsoleText& lead, std::int64_t count) {
    console.Text(text::kMark);
    console.Text(lead);
    PrintNumber(console, count);
    console.Text(text::kCount);
}

// Reads the whole source into form; expected is the size it probably has (0 when unknown).
template <typename Bytes>
bool ReadSource(DocumentSource& source, Bytes& form, std::size_t expected = 0) {
    source.Rewind();
    form.clear();
    std::size_t size = 0;
    const std::size_t room = std::max<std::size_t>(expected + 1, 1 << 20);
    form.reserve(room);
    PreferHugePages(form.data(), form.capacity());
    form.resize(room);
    for (;;) {
        if (size == form.size()) form.resize(form.size() * 2);
        const std::size_t got = source.Read(form.data() + size, form.size() - size);
        size += got;
        if (got == 0) break;
    }
    form.resize(size);
    return true;
}

// The size of an open regular file, or 0 when it cannot be told.
std::size_t FileSize(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(file);
    std::rewind(file);
    return end > 0 ? static_cast<std::size_t>(end) : 0;
}

enum class Ending { Written, NothingToRepair, Refused };

// Stores the repaired form in a temporary file, which takes its name only when the check has
// passed. Where a file may be read back while another thread writes to it (not on Windows), the
// pieces are stored as they are written, the second in a temporary file of its own, and put
// behind the first on a second thread while the check reads them back; otherwise the form is
// stored on a second thread while the check runs on the pieces in memory.
class FileStore final : public RepairedFormSink {
  public:
    explicit FileStore(const NativeString& path) : files_{AtomicFile(path), AtomicFile(path)} {}

    // Both temporary files are made here: where they cannot be, the form is held and stored as
    // a whole, and the store says what failed.
    bool Streams() override {
#ifdef _WIN32
        return false;
#else
        streaming_ = files_[0].Create() && files_[1].Create();
        if (!streaming_) {
            files_[0].Abandon();
            files_[1].Abandon();
        }
        return streaming_;
#endif
    }

    void Append(int piece, std::string_view bytes) override {
        Piece& stored = pieces_[piece];
        stored.whole = stored.whole && files_[piece].Write(bytes.data(), bytes.size());
        stored.size += bytes.size();
        if (piece == 1) Tell(stored.whole ? stored.size : kSecondFailed);
    }

#ifndef _WIN32
    // Copies the second piece's bytes behind the first's as they are stored, waiting for more
    // until the second's writer pauses. (On Windows the pieces are not streamed.)
    void FollowSecond() override {
        for (std::uint64_t seen = secondStored_.load(std::memory_order_acquire);;
             seen = secondStored_.load(std::memory_order_acquire)) {
            const std::uint64_t stored = seen & ~kSecondPaused;
            if (stored == kSecondFailed || !Join(stored)) return;
            if ((seen & kSecondPaused) != 0) return;
            secondStored_.wait(seen, std::memory_order_acquire);
        }
    }

    void SecondPaused() override {
        Tell(secondStored_.load(std::memory_order_relaxed) | kSecondPaused);
    }
#endif

    void FormWritten(std::string_view first, std::string_view second) override {
        first_ = first;
        second_ = second;
        started_ = true;
        worker_.Run(&FileStore::Store, this);
    }

    DocumentSource* StoredForm() override {
        return pieces_[0].whole && pieces_[1].whole ? &readBack_ : nullptr;
    }

    // Waits for the temporary file; when keep, gives it its name. True when the file stands
    // under its name with every byte.
    bool Finish(bool keep) {
        if (started_) {
            bool final = false;
            while (!final) worker_.WaitBeyond(0, final);
        }
        files_[1].Abandon();
        if (keep && started_ && stored_ && files_[0].Commit()) return true;
        files_[0].Abandon();
        return false;
    }

  private:
    struct Piece {
        bool whole = true;  // every byte so far stored
        std::uint64_t size = 0;
    };

    // The stored pieces read back one behind the other.
    class ReadBack final : public DocumentSource {
      public:
        explicit ReadBack(FileStore& store) : store_(store) {}
        std::size_t Read(char* into, std::size_t size) override {
            std::size_t got = 0;
            while (got < size && piece_ < 2) {
                const Piece& stored = store_.pieces_[piece_];
                const std::uint64_t left = stored.size - at_;
                std::size_t took = 0;
                if (left == 0 ||
                    !store_.files_[piece_].ReadAt(
                        at_, into + got,
                        static_cast<std::size_t>(std::min<std::uint64_t>(size - got, left)),
                        took) ||
                    took == 0) {
                    ++piece_;
                    at_ = 0;
                    continue;
                }
                got += took;
                at_ += took;
            }
            return got;
        }
        void Rewind() override {
            piece_ = 0;
            at_ = 0;
        }

      private:
        FileStore& store_;
        int piece_ = 0;
        std::uint64_t at_ = 0;
    };

    static void Store(void* context) {
        FileStore& store = *static_cast<FileStore*>(context);
        store.stored_ = store.streaming_ ? store.JoinPieces() : store.StoreWhole();
        store.worker_.Publish(1, true);
    }

    bool StoreWhole() {
        return files_[0].Create() && files_[0].Write(first_.data(), first_.size()) &&
               files_[0].Write(second_.data(), second_.size());
    }

    // The second piece's bytes put behind the first's, those not yet joined.
    bool JoinPieces() {
        return pieces_[0].whole && pieces_[1].whole && Join(pieces_[1].size);
    }

    // Copies the second piece's bytes up to end behind those already joined; false, for good,
    // once a copy fails.
    bool Join(std::uint64_t end) {
        if (joinFailed_) return false;
        if (step_.empty()) step_.resize(std::size_t{1} << 18);
        while (joined_ < end) {
            std::size_t took = 0;
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(step_.size(), end - joined_));
            if (!files_[1].ReadAt(joined_, step_.data(), want, took) || took != want ||
                !files_[0].Write(step_.data(), took)) {
                joinFailed_ = true;
                return false;
            }
            joined_ += took;
        }
        return true;
    }

    // The second piece's writer tells the first's how far it has stored.
    void Tell(std::uint64_t state) {
        secondStored_.store(state, std::memory_order_release);
#ifndef _WIN32
        secondStored_.notify_one();
#endif
    }

    // What the second piece's writer tells: the bytes stored, the paused flag, or a failure.
    static constexpr std::uint64_t kSecondPaused = std::uint64_t{1} << 63;
    static constexpr std::uint64_t kSecondFailed = kSecondPaused - 1;

    AtomicFile files_[2];  // the form's, and the second piece's until it is put behind the first
    Piece pieces_[2];
    std::atomic<std::uint64_t> secondStored_{0};
    std::uint64_t joined_ = 0;  // the second piece's bytes behind the first's
    bool joinFailed_ = false;
    std::vector<char> step_;  // room for a copy
    ReadBack readBack_{*this};
    std::string_view first_;
    std::string_view second_;
    bool streaming_ = false;  // both temporary files made, the pieces stored as they come
    bool started_ = false;
    bool stored_ = false;
    WorkerThread worker_;  // waits for the store as the object goes
};

// The plan of a mapped file, made on a thread of its own while the file is repaired as it
// stands; a plan that finds anything to translate, or fails, stops that repair.
class PlanBeside {
  public:
    PlanBeside(std::FILE* file, compat::PreparedDocument& prepared, Document& document,
               std::string_view mapped)
        : file_(file), prepared_(prepared), document_(document), mapped_(mapped) {
        worker_.Run(&PlanBeside::Work, this);
    }

    // Waits for the plan: its verdict, or what it threw.
    compat::Preparation Wait() {
        bool final = false;
        while (!final) worker_.WaitBeyond(0, final);
        if (error_) std::rethrow_exception(error_);
        return preparation_;
    }

    // Set once the repair beside is of no use.
    const std::atomic<bool>& Abandon() const { return abandon_; }

  private:
    static void Work(void* context) {
        PlanBeside& plan = *static_cast<PlanBeside*>(context);
        try {
            plan.preparation_ = compat::PrepareDocument(plan.file_, false, plan.prepared_,
                                                        plan.document_, nullptr, plan.mapped_);
        } catch (...) {
            plan.error_ = std::current_exception();
        }
        if (plan.error_ || plan.preparation_ != compat::Preparation::Untouched) {
            plan.abandon_.store(true);
        }
        plan.worker_.Publish(1, true);
    }

    std::FILE* file_;
    compat::PreparedDocument& prepared_;
    Document& document_;
    std::string_view mapped_;
    compat::Preparation preparation_ = compat::Preparation::Refused;
    std::exception_ptr error_;
    std::atomic<bool> abandon_{false};
    WorkerThread worker_;  // last: the object waits for the plan as it goes
};

Ending RepairFile(std::FILE* file, const NativeChar* path, Console& console) {
    // A file is mapped and read where it stands, while it is planned and, when it needs no
    // translation, as the form itself: then it is repaired while the plan is made, on the
    // other processor the plan leaves idle.
    MappedFile mapped;
    const bool archive = compat::NamesArchive(path);
    if (!archive) mapped.Map(file);
    compat::PreparedDocument prepared;
    Document document;
    Repair repair;
    std::unique_ptr<FileStore> store;
    RepairOutcome outcome = RepairOutcome::Abandoned;
    compat::Preparation preparation = compat::Preparation::Refused;
    if (!mapped.Bytes().empty()) {
        auto early = std::make_unique<FileStore>(RepairedPathFor(path));
        PlanBeside plan(file, prepared, document, mapped.Bytes());
        outcome = RepairForm(mapped.Bytes(), repair, std::numeric_limits<std::size_t>::max(),
                             early.get(), &plan.Abandon(), &mapped);
        preparation = plan.Wait();
        if (preparation == compat::Preparation::Untouched) {
            store = std::move(early);
        } else {
            early->Finish(false);
            repair = Repair{};
        }
    } else {
        preparation = compat::PrepareDocument(file, archive, prepared, document, nullptr, {});
    }
    switch (preparation) {
        case compat::Preparation::Refused:
            compat::PrintRefusal(prepared, console);
            return Ending::Refused;
        case compat::Preparation::Ready:
            compat::PrintTranslation(prepared, console);
            break;
        case compat::Preparation::Untouched:
            compat::PrintWarnings(prepared, console);
            break;
    }
    console.Text(bloktar::text::kFileLoad);
    // Any other form is read whole.
    FormBytes read;
    if (store == nullptr) {
        if (!ReadForm(file, preparation, prepared, read)) {
            console.Text(bloktar::text::kFailed);
            return Ending::Refused;
        }
        store = std::make_unique<FileStore>(RepairedPathFor(path));
        outcome = RepairForm(std::string_view(read.data(), read.size()), repair,
                             std::numeric_limits<std::size_t>::max(), store.get());
    }
    console.Text(bloktar::text::kDone);
    if (outcome != RepairOutcome::Repaired) store->Finish(false);
    if (outcome == RepairOutcome::HeaderRejected) {
        console.Text(bloktar::text::kHeaderCheck);
        PrintHeaderVerdict(repair.header, console);
        return Ending::Refused;
    }
    console.Text(text::kBoxSearch);
    console.Text(bloktar::text::kDone);
    console.Collect(true);
    PrintObjects(repair, console);
    console.Collect(false);
    if (outcome == RepairOutcome::NothingToRepair) {
        console.Text(text::kNothingToRepair);
        return Ending::NothingToRepair;
    }
    console.Text(text::kVerify);
    if (outcome == RepairOutcome::TooManyBlocks) {
        console.Text(bloktar::text::kFailed);
        console.Text(text::kMark);
        console.Text(text::kTooManyBlocks);
        PrintNumber(console, repair.blocks);
        console.Text(text::kCount);
        return Ending::Refused;
    }
    if (outcome == RepairOutcome::NotVerified) {
        console.Text(bloktar::text::kFailed);
        console.Text(text::kMark);
        console.Text(text::kBlock);
        PrintNumber(console, repair.wrongBlock);
        console.Text(text::kMismatch);
        return Ending::Refused;
    }
    console.Text(bloktar::text::kDone);
    console.Text(text::kBlocksLead);
    PrintNumber(console, repair.blocks);
    console.Text(text::kBlocksEnd);
    console.Text(bloktar::text::kWrite);
    if (!store->Finish(true)) {
        console.Text(bloktar::text::kFailed);
        return Ending::Refused;
    }
    console.Text(bloktar::text::kDone);
    console.Text(text::kRepairDone);
    return Ending::Written;
}

}  // namespace

NativeString RepairedPathFor(const NativeChar* inputPath) {
    return PathWithEnding(inputPath, ".repaired.mqo");
}

namespace {

template <typename Bytes>
bool ReadFormInto(std::FILE* file, compat::Preparation preparation,
                  compat::PreparedDocument& prepared, Bytes& form) {
    if (prepared.translating != nullptr) return ReadSource(*prepared.translating, form);
    if (preparation == compat::Preparation::Ready) {
        form.assign(prepared.member.bytes.get(),
                    prepared.member.bytes.get() + prepared.member.size);
        return true;
    }
    // The file as it is, through the source that looked at it.
    if (prepared.raw == nullptr || !ReadSource(*prepared.raw, form, FileSize(file))) return false;
    return std::ferror(file) == 0;
}

}  // namespace

bool ReadForm(std::FILE* file, compat::Preparation preparation, compat::PreparedDocument& prepared,
              std::string& form) {
    return ReadFormInto(file, preparation, prepared, form);
}

bool ReadForm(std::FILE* file, compat::Preparation preparation, compat::PreparedDocument& prepared,
              FormBytes& form) {
    return ReadFormInto(file, preparation, prepared, form);
}

void PrintObjects(const Repair& repair, Console& console) {
    static constexpr const ConsoleText* kCauseTexts[kCauses] = {
        &text::kRewrittenTriangles, &text::kRewrittenShared, &text::kRewrittenPlace,
        &text::kRewrittenOrder};
    for (const ObjectRepair& object : repair.objects) {
        console.Text(text::kObjectLead);
        PrintName(console, object.name);
        console.Text(text::kObjectEnd);
        if (object.leftAsIs) {
            console.Text(text::kMark);
            console.Text(text::kLeftAsIs);
            continue;
        }
        PrintCountLine(console, text::kKept, object.kept);
        for (int cause = 0; cause < kCauses; ++cause) {
            if (object.rewritten[cause] > 0) {
                PrintCountLine(console, *kCauseTexts[cause], object.rewritten[cause]);
            }
        }
        if (!object.asideName.empty()) {
            console.Text(text::kMark);
            console.Text(text::kSetAsideLead);
            PrintNumber(console, object.asideVertices);
            console.Text(text::kSetAsideFaces);
            PrintNumber(console, object.asideFaces);
            console.Text(text::kSetAsideTo);
            PrintName(console, object.asideName);
            console.Text(text::kSetAsideEnd);
        }
    }
}

int RunRepair(int argc, NativeChar** argv, std::FILE* in, std::FILE* out) {
    const std::unique_ptr<Console> processConsole = MakeProcessConsole(out);
    Console& console = *processConsole;
    console.Text(bloktar::text::kBannerRule);
    console.Text(text::kBannerTitle);
    console.Text(bloktar::text::kBannerRule);
    console.Text(bloktar::text::kNewline);
    Ending ending = Ending::Refused;
    try {
        const NativeChar* path = argc > 1 ? argv[1] : nullptr;
        const std::unique_ptr<std::FILE, FileCloser> file(OpenInputDocument(path));
        if (file == nullptr) {
            console.Text(bloktar::text::kFileLoad);
            console.Text(bloktar::text::kFailed);
        } else {
            ending = RepairFile(file.get(), path, console);
        }
    } catch (const std::bad_alloc&) {
        console.Text(bloktar::text::kMemory);
        console.Text(bloktar::text::kFailed);
        ending = Ending::Refused;
    }
    std::fflush(out);
    // Every run ends with the pause, so that a window opened by a drop shows the result.
    WaitForWord(in);
    return ending == Ending::Refused ? 1 : 0;
}

}  // namespace bloktar::repair
