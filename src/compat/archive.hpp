// The document inside a .mqoz archive: a ZIP file whose first member named *.mqo is the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "compat/translation.hpp"
#include "run/platform.hpp"

namespace bloktar::compat {

struct ArchiveMember {
    std::string name;       // as the archive holds it
    bool utf8Name = false;  // the archive marks the name as UTF-8
    Room bytes;
    std::size_t size = 0;
};

// Where the document's member lies in the archive's bytes, and what it must inflate to.
struct MemberLocation {
    bool deflated = false;
    const unsigned char* packed = nullptr;  // inside the archive's bytes
    std::size_t packedSize = 0;
    std::size_t size = 0;
    std::uint32_t crc = 0;
};

// Reads the whole of an open file into bytes[0, size); false on a read error or when memory runs
// out.
bool ReadWholeStream(std::FILE* file, Room& bytes, std::size_t& size);

// Finds the first member whose name ends in ".mqo" (in any case) in the ZIP archive's bytes,
// stored or deflated: sets member's name (its bytes stay empty) and location. Returns
// Fault::None or the archive's fault.
Fault LocateDocumentMember(const unsigned char* archive, std::size_t size, ArchiveMember& member,
                           MemberLocation& location);

// The member's bytes as they are inflated (or copied, when stored) into room for size + 1 bytes,
// on a second thread, while this source hands out the bytes inflated so far: a read waits for
// more. It ends early where the inflation fails. The archive's bytes and the room must outlive
// it.
class MemberInflation final : public DocumentSource {
  public:
    MemberInflation(const MemberLocation& location, char* into);
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override { offset_ = 0; }
    // Waits for the inflation to end; Fault::None when it gave exactly the member's size and
    // those bytes pass their CRC, as zlib inflates the member. Call it once the reads are over.
    Fault Finish();
    // True when Finish inflated the member once more to judge it: the bytes read before may
    // differ from those it holds now, which Read gives from the start after a Rewind.
    bool Reinflated() const { return reinflated_; }

  private:
    static void Work(void* self);
    void Inflate();
    // Waits for the worker to make more ready (or to end) and takes its CRC.
    void Catch();

    const MemberLocation location_;
    char* bytes_;
    bool whole_ = false;  // the worker's verdict, read once it has published its final count
    std::size_t ready_ = 0;
    bool ended_ = false;
    std::size_t offset_ = 0;
    std::uint32_t crc_ = 0;  // of bytes_[0, ready_)
    bool reinflated_ = false;
    WorkerThread worker_;  // last: waits for the work before anything else goes
};

// Takes the document member out of the archive's bytes (LocateDocumentMember, then its
// inflation) and checks its CRC. Returns Fault::None or the archive's fault.
Fault ExtractDocumentMember(const unsigned char* archive, std::size_t size, ArchiveMember& member);

}  // namespace bloktar::compat
