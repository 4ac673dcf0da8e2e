// The one archive directory the extractor keeps: the entry array of the last
// successful parse, its count and path, the shared palette of the last
// named-entry archive, and the directory lock that guards all of them.
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

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/directory_array.h"
#include "archive-extractor/directory_lock.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

// A layout's parser: reads the archive at `path` afresh and, on kNone, has
// installed its directory. On any other reason the cache is as it was. Runs
// with the directory lock held.
typedef Failure (*ArchiveParser)(const HostPath& path) noexcept;

// Calls `parser`. Clang cannot follow a call through the pointer to the
// parser's need for the lock, so every caller goes through here, where it can.
inline Failure RunParser(ArchiveParser parser, const HostPath& path) REQUIRES(directoryLock) {
  return parser(path);
}

// The cached path: MAX_PATH bytes of an 8-bit path or units of a UTF-16
// path, the NUL included. A UTF-16 path is a key of its own: it never equals
// an 8-bit one, so switching between the A and W exports parses again.
constexpr int kCachedPathBytes = 260;
constexpr int kPaletteBytes = 768;     // 256 colours of 3 bytes
constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

// Library load: an empty cache holding no path, and a fresh lock. The shared
// palette keeps what it holds (zero at the first load).
void LoadDirectoryCache();
// Library unload: frees the entry array and deletes the lock.
void UnloadDirectoryCache();

// With the lock held, as every parse runs: the context the parse reads the
// archive through.
ParseContext* LockedParseContext() REQUIRES(directoryLock);

// Replaces the cached directory with `array` (taken over; *array is emptied)
// for `path`. A path too long for the cached-path buffer installs the array
// but leaves the cache holding no path, so the next operation parses afresh.
// A non-null `palette` (768 bytes) becomes the shared palette in the same
// step; nullptr leaves it alone. An array that is a copy of the cached
// directory (IsReferenceCopy) leaves the cached one in place. Called by
// parsers only after a whole successful parse, with the lock held as every
// parse has it.
void InstallDirectory(DirectoryArray* array, const HostPath& path,
                      const uint8_t* palette = nullptr) REQUIRES(directoryLock);

// With the lock held: the cached directory if it is that of `path` as last
// written at `timestamp`, else nullptr. A parse of the archive follows it
// (DirectoryArray::reference) and builds nothing while the archive agrees.
const DirectoryArray* CachedDirectoryOf(const HostPath& path, ULONG_PTR timestamp)
    REQUIRES(directoryLock);

// With the lock held: kNone when the cache holds exactly `path` (of the same
// kind, unit for unit), otherwise runs `parser` on it and returns its reason.
Failure EnsureDirectory(const HostPath& path, ArchiveParser parser) REQUIRES(directoryLock);

// With the lock held: the index of the first entry at `position`, or kNoEntry.
uint32_t FindEntryByPosition(ULONG_PTR position) REQUIRES(directoryLock);

// The listing of GetArchiveInfo: a GHND block of (count + 1) records, one
// built from each cached entry and then a zero record, fully unlocked and stored
// in *slot on kNone. Otherwise the parser's reason or kNoMemory, and *slot is
// untouched.
Failure ListDirectory(const HostPath& path, ArchiveParser parser, HGLOBAL* slot)
    EXCLUDES(directoryLock);

// The listing of GetArchiveInfoW: the same, as fileInfoW records whose
// filename is the 8-bit name in UTF-16 and whose path is empty.
Failure ListDirectoryW(const HostPath& path, ArchiveParser parser, HGLOBAL* slot)
    EXCLUDES(directoryLock);

// The lookup of GetFileInfo: copies the first record whose filename equals
// `name` to *record and returns kNone; kNoEntryNamed when none does or `name`
// is null (*record untouched), or the parser's reason. Bit 0x80 of `flag`
// compares A-Z as a-z; every other byte, those of 0x80 and above included,
// must match exactly.
Failure FindEntryByName(const HostPath& path, ArchiveParser parser, LPCSTR name, unsigned flag,
                        fileInfo* record) EXCLUDES(directoryLock);

// The lookup of GetFileInfoW: the same over the names in UTF-16. Bit 0x80
// folds A-Z only; every other unit must match exactly.
Failure FindEntryByNameW(const HostPath& path, ArchiveParser parser, LPCWSTR name, unsigned flag,
                         fileInfoW* record) EXCLUDES(directoryLock);

// The look-up of an extract operation, all under the lock: ensures the
// directory with `parser`, finds the entry at `position` and builds its
// record in *entry, and copies the shared palette to `palette` (768 bytes) unless nullptr.
// Returns kNone, kNoEntryAtPosition, or the parser's reason; the outputs are
// written only on kNone.
Failure LookUpEntryForExtract(const HostPath& path, ArchiveParser parser, ULONG_PTR position,
                              fileInfo* entry, uint8_t* palette) EXCLUDES(directoryLock);

}  // namespace korvo
