// The one archive directory the extractor keeps: the entry array of the last
// successful parse, its count, its path and the parser that built it, the
// shared palette of the last named-entry archive, and the directory lock that
// guards all of them. Parsers only read: the cache runs them and installs
// what they found.
//
// Every reader takes the lock: the probes and the listing as the host contract
// asks, and also the lookup by name and the extract operations' look-up, which
// copy what they need out under the lock and read the archive file after
// releasing it. So no call ever reads an array another thread has freed, or a
// palette it is halfway through writing. No operation takes the lock while it
// holds it. Under clang these rules are checked when compiling: the cache's
// state is guarded by `directoryLock`, and each function below says whether
// it needs the lock held (REQUIRES) or takes it itself (EXCLUDES).
#pragma once

#include <cstdint>

#include "archive-extractor/directory_array.h"
#include "archive-extractor/directory_lock.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// The cached path: MAX_PATH bytes of an 8-bit path or units of a UTF-16
// path, the NUL included. A UTF-16 path is a key of its own: it never equals
// an 8-bit one, so switching between the A and W exports parses again.
constexpr int kCachedPathBytes = 260;
constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

// Library load: an empty cache holding no path, and a fresh lock. The shared
// palette keeps what it holds (zero at the first load).
void LoadDirectoryCache();
// Library unload: frees the entry array and deletes the lock.
void UnloadDirectoryCache();

// With the lock held: runs `parsers` in turn on the archive at `path`, on one
// open of it (tried again after a failed one), until one accepts it; installs
// what it found and sets *index (if given) to its index. kNone, or the last
// parse's reason, the cache as it was. A path too long for the cache is not
// kept, so the next operation parses afresh. With `kept`, the file stays open
// on kNone and its handle goes to *kept (which the caller closes), so that
// the extract that follows reads the very file the parse read.
Failure RecognizeArchive(const HostPath& path, const ArchiveParser* parsers, int count,
                         int* index, HANDLE* kept = nullptr) REQUIRES(directoryLock);

// With the lock held: kNone when the cache holds exactly `path` (of the same
// kind, unit for unit), whichever parser built it; otherwise parses it with
// `parser` and returns its reason.
Failure EnsureDirectory(const HostPath& path, ArchiveParser parser) REQUIRES(directoryLock);

// With the lock held: the index of the first entry at `position`, or kNoEntry.
uint32_t FindEntryByPosition(ULONG_PTR position) REQUIRES(directoryLock);

// The listing of GetArchiveInfo (Record fileInfo) or GetArchiveInfoW
// (fileInfoW, whose filename is the 8-bit name in UTF-16 and whose path is
// empty): a GHND block of (count + 1) records, one built from each cached
// entry and then a zero record, fully unlocked and stored in *slot on kNone.
// Otherwise the parser's reason or kNoMemory, and *slot is untouched.
template <typename Record>
Failure ListDirectory(const HostPath& path, ArchiveParser parser, HGLOBAL* slot)
    EXCLUDES(directoryLock);

// The lookup of GetFileInfo or GetFileInfoW: copies the first record whose
// filename (8-bit, or in UTF-16) equals `name` to *record and returns kNone;
// kNoEntryNamed when none does or `name` is null (*record untouched), or the
// parser's reason. Bit 0x80 of `flag` compares A-Z as a-z; every other byte
// or unit, those of 0x80 and above included, must match exactly.
template <typename Unit>
Failure FindEntryByName(const HostPath& path, ArchiveParser parser, const Unit* name,
                        unsigned flag, typename RecordFor<Unit>::type* record)
    EXCLUDES(directoryLock);

// The look-up of an extract operation, all under the lock: ensures a
// directory of `path` that `parser` built (a directory of another layout is
// never trusted: the archive is parsed again), finds the entry at `position` and builds its
// record in *entry, and copies the shared palette to `palette` (768 bytes) unless nullptr.
// Returns kNone, kNoEntryAtPosition, or the parser's reason; the outputs are
// written only on kNone.
Failure LookUpEntryForExtract(const HostPath& path, ArchiveParser parser, ULONG_PTR position,
                              fileInfo* entry, uint8_t* palette) EXCLUDES(directoryLock);

}  // namespace korvo
