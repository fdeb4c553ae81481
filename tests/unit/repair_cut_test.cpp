// bloktar-repair reads a mapped file where it stands: no look at its lines may run past the
// form's last byte, however the form ends.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "repair/document_lines.hpp"
#include "repair/repair.hpp"
#include "support/documents.hpp"

namespace {

using namespace testing_support;

// Bytes that end on the last byte before a page the process may not touch: a read past them
// faults.
class GuardedBytes {
  public:
    explicit GuardedBytes(const std::string& bytes) {
        const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        const std::size_t pages = (bytes.size() + page - 1) / page + 1;
        size_ = pages * page;
        void* room =
            ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (room == MAP_FAILED) throw std::bad_alloc();
        room_ = static_cast<char*>(room);
        ::mprotect(room_ + size_ - page, page, PROT_NONE);
        bytes_ = std::string_view(room_ + size_ - page - bytes.size(), bytes.size());
        std::memcpy(const_cast<char*>(bytes_.data()), bytes.data(), bytes.size());
    }
    ~GuardedBytes() { ::munmap(room_, size_); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    std::string_view Bytes() const { return bytes_; }

  private:
    char* room_ = nullptr;
    std::size_t size_ = 0;
    std::string_view bytes_;
};

TEST(RepairCut, AFormEndingAtUnreadableMemoryIsReadToItsLastByteOnly) {
    Box relisted;
    relisted.faceStart[0] = "4 V(2 1 0 3)";
    Box other;
    other.corner = 300;
    // Two objects, so that the form is cut in two halves, the second read to the end.
    const std::string body =
        BoxObject("front", relisted) + BoxObject("back", other) + std::string(40, 'x') + "\n";
    const std::string endings[] = {
        "Eof\n", "Eof", "Eof\r", "Eof\r\n\x1a\r", "\tnote\r", "\tnote\r\r", std::string(30, 'z')};
    for (const std::string& ending : endings) {
        SCOPED_TRACE(::testing::PrintToString(ending));
        const std::string form = kHeaderLines + body + ending;
        const GuardedBytes guarded(form);
        bloktar::repair::DocumentLines inPlace;
        bloktar::repair::DocumentLines copied;
        bloktar::repair::CutDocument(guarded.Bytes(), inPlace);
        bloktar::repair::CutDocument(form, copied);
        ASSERT_EQ(inPlace.lines.size(), copied.lines.size());
        for (std::size_t i = 0; i < copied.lines.size(); ++i) {
            EXPECT_EQ(inPlace.Content(inPlace.lines[i]), copied.Content(copied.lines[i]))
                << "line " << i;
            EXPECT_EQ(inPlace.End(inPlace.lines[i]), copied.End(copied.lines[i])) << "line " << i;
        }
        bloktar::repair::Repair fromGuarded;
        bloktar::repair::Repair fromCopy;
        EXPECT_EQ(bloktar::repair::RepairForm(guarded.Bytes(), fromGuarded),
                  bloktar::repair::RepairForm(form, fromCopy));
        EXPECT_EQ(fromGuarded.document, fromCopy.document);
    }
}

}  // namespace
#endif

#include <string>

#include "repair/document_lines.hpp"
#include "support/documents.hpp"

namespace {

// The two cutters each look for a Ctrl-Z in their own part; what they cut together is what the
// converter reads, wherever the document ends and whichever object runs across their meeting.
TEST(RepairCut, TheDocumentEndsWhereItsFirstCtrlZStandsInEitherHalf) {
    using namespace testing_support;
    Box first;
    Box second;
    second.corner = 300;
    const std::string a = BoxObject("a", first);
    const std::string b = BoxObject("b", second);
    // b's "Object " line stands beyond the middle: the second cutter starts there.
    const std::string padding = "\tpad " + std::string(a.size(), 'p') + "\n";
    struct Case {
        std::string form;
        std::size_t objects;
        bool lastClosed;
    };
    const std::string open = a.substr(0, a.rfind('}'));  // a without its closing line
    const Case cases[] = {
        // A Ctrl-Z in the first part: b is never read.
        {kHeaderLines + a + "\x1a" + padding + b + "Eof\n", 1, true},
        // One in the second part, inside b: b is read up to it, never closed.
        {kHeaderLines + a + padding + b.substr(0, b.size() / 2) + "\x1a" + b.substr(b.size() / 2),
         2, false},
        // "Eof" in the first part.
        {kHeaderLines + a + "Eof\n" + padding + b, 1, true},
        // a left open: its lines run on over b's to b's closing line, which closes a.
        {kHeaderLines + open + padding + b + "Eof\n", 1, true},
        // Both parts read whole.
        {kHeaderLines + a + padding + b + "Eof\n", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.form.substr(0, 80)));
        bloktar::repair::DocumentLines cut;
        bloktar::repair::CutDocument(c.form, cut);
        ASSERT_EQ(cut.objects.size(), c.objects);
        EXPECT_EQ(cut.objects.back().closed, c.lastClosed);
        // No piece from beyond the first Ctrl-Z.
        const std::size_t end = c.form.find('\x1a');
        if (end != std::string::npos) {
            EXPECT_LE(cut.End(cut.lines.back()), end);
        }
    }
}

}  // namespace

namespace {

// Every piece's content is its bytes without carriage returns and newline, in either half: the
// pieces held apart (carriage returns inside a line, lines longer than a read) among them, the
// second half's behind the first's.
TEST(RepairCut, EveryPieceHoldsItsOwnBytes) {
    using namespace testing_support;
    Box first;
    Box second;
    second.corner = 300;
    const std::string odd = "\tno\rte\r\r\n\t" + std::string(300, 'y') + "\n";
    const std::string a = BoxObject("a", first);
    const std::string b = BoxObject("b", second);
    const std::string form = kHeaderLines + odd + a + odd + b + odd + "Eof\r\n";
    bloktar::repair::DocumentLines cut;
    bloktar::repair::CutDocument(form, cut);
    ASSERT_EQ(cut.objects.size(), 2u);
    std::size_t owned = 0;
    std::size_t at = 0;
    for (const bloktar::repair::DocumentLine& line : cut.lines) {
        ASSERT_EQ(line.Begin(), at);
        std::string bytes(cut.Bytes(line));
        std::erase(bytes, '\r');
        if (line.Newline()) bytes.pop_back();
        EXPECT_EQ(cut.Content(line), bytes) << "piece at " << line.Begin();
        owned += line.Owned() ? 1 : 0;
        at = cut.End(line);
    }
    EXPECT_EQ(at, form.size());
    EXPECT_GE(owned, 6u);
}

}  // namespace
