#include "archive-extractor/directory_cache.h"

#include <cstring>
#include <type_traits>

#include "archive-extractor/wide_records.h"
#include "common/ascii.h"
#include "host-contract/block_owner.h"
#include "host-contract/scope_guard.h"

namespace korvo {
namespace {

struct DirectoryCache {
  DirectoryArray entries;
  bool holdsPath;  // false: no path is held, nothing is reused
  bool wide;       // which of the two holds the path
  char path[kCachedPathBytes];
  WCHAR widePath[kCachedPathBytes];
  ArchiveParser builtBy;  // the parser whose directory `entries` is
  uint8_t palette[kPaletteBytes];
  // The windows every parse reads through, all under the lock: off the host
  // thread's stack.
  ReaderWindows windows;
};

DirectoryCache cache GUARDED_BY(directoryLock);

// Copies `text` to `key` when it fits with its NUL; a longer path is never
// copied.
template <typename Unit>
bool KeepPath(const Unit* text, Unit (&key)[kCachedPathBytes]) {
  size_t length = 0;
  while (length < kCachedPathBytes && text[length] != 0) ++length;
  if (length == kCachedPathBytes) return false;
  std::memcpy(key, text, (length + 1) * sizeof(Unit));
  return true;
}

template <typename Unit>
bool SameText(const Unit* a, const Unit* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

// The cache key is the path string itself, compared unit for unit: the
// system's linguistic comparison could call two different paths equal.
bool IsCachedPath(const HostPath& path) REQUIRES(directoryLock) {
  if (!cache.holdsPath) return false;
  if (cache.wide) return path.wide != nullptr && SameText(cache.widePath, path.wide);
  return path.narrow != nullptr && SameText(cache.path, path.narrow);
}

void ForgetPath() REQUIRES(directoryLock) {
  cache.holdsPath = false;
  cache.wide = false;
  cache.path[0] = '\0';
  cache.widePath[0] = 0;
}


// Whole-name equality of a listed name (NUL-terminated) with the one asked
// for, 8-bit or UTF-16. With `ignoreCase` A-Z compare as a-z; every other
// byte or unit, those of 0x80 and above included, must match exactly.
template <typename Unit>
bool NamesMatch(const Unit* listed, const Unit* name, bool ignoreCase) {
  typedef typename std::make_unsigned<Unit>::type Code;
  for (;; ++listed, ++name) {
    auto a = static_cast<Code>(*listed);
    auto b = static_cast<Code>(*name);
    if (ignoreCase) {
      a = FoldAscii(a);
      b = FoldAscii(b);
    }
    if (a != b) return false;
    if (a == 0) return true;
  }
}

// A listed name as the host compares it: the 8-bit name, or its UTF-16 form.
template <typename Unit>
using ListedName = typename std::conditional<sizeof(Unit) == 1, char[kEntryNameBytes],
                                             WCHAR[kNameUnits]>::type;

template <typename Unit>
uint32_t FindEntryIndexByName(const Unit* name, bool ignoreCase) REQUIRES(directoryLock) {
  const auto first = static_cast<unsigned char>(ignoreCase ? FoldAscii(name[0]) : name[0]);
  for (uint32_t i = 0; i < cache.entries.count; ++i) {
    // The cheap first-byte test spares building most 8-bit names.
    if (sizeof(Unit) == 1) {
      auto listedFirst = static_cast<unsigned char>(FirstNameByte(cache.entries, i));
      if ((ignoreCase ? FoldAscii(listedFirst) : listedFirst) != first) continue;
    }
    ListedName<Unit> listed;
    FormatEntryName(cache.entries, i, listed);
    if (NamesMatch<Unit>(listed, name, ignoreCase)) return i;
  }
  return kNoEntry;
}

}  // namespace

DirectoryLock directoryLock;

// Load and unload touch the cache without the lock: the loader runs them
// before any export can be called and after the last has returned, when no
// other thread can reach the cache, and the lock does not exist before the
// one or after the other. Taking it at unload could also wait for ever on a
// thread that still holds it while the process exits.
void LoadDirectoryCache() NO_THREAD_SAFETY_ANALYSIS {
  cache.entries = kEmptyDirectoryArray;
  cache.builtBy = nullptr;
  ForgetPath();
  platform::InitializeCriticalSection(&directoryLock.section);
}

void UnloadDirectoryCache() NO_THREAD_SAFETY_ANALYSIS {
  FreeDirectoryArray(&cache.entries);
  ForgetPath();
  platform::DeleteCriticalSection(&directoryLock.section);
}

// The two places the lock really changes hands: the system's critical section
// underneath is no annotated lock, so the analysis takes these on trust.
void EnterDirectoryLock() NO_THREAD_SAFETY_ANALYSIS {
  platform::EnterCriticalSection(&directoryLock.section);
}
void LeaveDirectoryLock() NO_THREAD_SAFETY_ANALYSIS {
  platform::LeaveCriticalSection(&directoryLock.section);
}

namespace {

// Replaces the cached directory with the one `parser` found in the archive
// at `path`, and the shared palette with the one it brought, if any. A
// directory that is the cached one (the archive unchanged) keeps it in place.
void InstallDirectory(ParsedDirectory* parsed, const HostPath& path, ArchiveParser parser)
    REQUIRES(directoryLock) {
  if (parsed->hasPalette) std::memcpy(cache.palette, parsed->palette, kPaletteBytes);
  if (IsReferenceCopy(parsed->entries)) {
    // The archive is as cached: the directory, its path and its key stay.
    parsed->entries = kEmptyDirectoryArray;
    return;
  }
  FreeDirectoryArray(&cache.entries);
  cache.entries = parsed->entries;
  cache.entries.reference = nullptr;
  parsed->entries = kEmptyDirectoryArray;
  cache.builtBy = parser;
  // A path that does not fit is never copied: the directory is served to the
  // call that parsed it, and every later call parses again.
  ForgetPath();
  if (path.wide != nullptr)
    cache.holdsPath = cache.wide = KeepPath(path.wide, cache.widePath);
  else if (path.narrow != nullptr)
    cache.holdsPath = KeepPath(path.narrow, cache.path);
}

// Runs `parser` on the open archive and installs what it found.
Failure ParseAndInstall(ArchiveReader* reader, const HostPath& path, ArchiveParser parser)
    REQUIRES(directoryLock) {
  ParsedDirectory parsed;
  parsed.entries = kEmptyDirectoryArray;
  parsed.entries.timestamp = reader->timestamp;
  parsed.hasPalette = false;
  // An archive as cached is only checked against its directory, not built anew.
  if (IsCachedPath(path) && cache.builtBy == parser && cache.entries.timestamp == reader->timestamp)
    parsed.entries.reference = &cache.entries;
  Failure failure = parser(reader, &parsed);
  if (failure == Failure::kNone && !FinishDirectoryArray(&parsed.entries))
    failure = Failure::kNoMemory;
  if (failure == Failure::kNone) InstallDirectory(&parsed, path, parser);
  FreeDirectoryArray(&parsed.entries);  // nothing left once installed
  return failure;
}

}  // namespace

Failure RecognizeArchive(const HostPath& path, const ArchiveParser* parsers, int count,
                         int* index, HANDLE* kept) {
  if (index != nullptr) *index = -1;
  ArchiveReader reader;
  ScopeExit close([&reader] { CloseArchiveReader(&reader); });
  Failure failure = Failure::kCannotOpen;
  bool open = false;
  for (int i = 0; i < count; ++i) {
    if (!open) {
      CloseArchiveReader(&reader);  // one whose size could not be taken
      failure = OpenArchiveReader(path, cache.windows, &reader);
      open = failure == Failure::kNone;
      if (!open) continue;
    }
    failure = ParseAndInstall(&reader, path, parsers[i]);
    if (failure == Failure::kNone) {
      if (index != nullptr) *index = i;
      if (kept != nullptr) {
        *kept = reader.file;
        reader.file = INVALID_HANDLE_VALUE;
      }
      break;
    }
  }
  return failure;
}

Failure EnsureDirectory(const HostPath& path, ArchiveParser parser) {
  if (IsCachedPath(path)) return Failure::kNone;
  return RecognizeArchive(path, &parser, 1, nullptr);
}

uint32_t FindEntryByPosition(ULONG_PTR position) {
  for (uint32_t i = 0; i < cache.entries.count; ++i)
    if (cache.entries.entries[i].position == position) return i;
  return kNoEntry;
}

namespace {

// A listing of (count + 1) records, under the lock: the cached entries, then
// a zero record (the block is zero-filled).
template <typename Record>
Failure BuildListing(const HostPath& path, ArchiveParser parser, BlockOwner* listing)
    EXCLUDES(directoryLock) {
  ScopedDirectoryLock lock;
  Failure failure = EnsureDirectory(path, parser);
  if (failure != Failure::kNone) return failure;
  const uint32_t count = cache.entries.count;
  const uint64_t bytes = (uint64_t{count} + 1) * sizeof(Record);
  if (bytes > 0xFFFFFFFFu || bytes > SIZE_MAX) return Failure::kNoMemory;
  auto* records = static_cast<Record*>(AllocateAndLock(listing, GHND, static_cast<SIZE_T>(bytes)));
  if (records == nullptr) return Failure::kNoMemory;
  for (uint32_t i = 0; i < count; ++i) BuildDirectoryRecord(cache.entries, i, &records[i]);
  return Failure::kNone;
}

}  // namespace

// The lock is released before the listing is handed over or freed.
template <typename Record>
Failure ListDirectory(const HostPath& path, ArchiveParser parser, HGLOBAL* slot) {
  BlockOwner listing;
  Failure failure = BuildListing<Record>(path, parser, &listing);
  if (failure == Failure::kNone) HandOver(&listing, slot);
  return failure;
}

template <typename Unit>
Failure FindEntryByName(const HostPath& path, ArchiveParser parser, const Unit* name,
                        unsigned flag, typename RecordFor<Unit>::type* record) {
  ScopedDirectoryLock lock;
  Failure failure = EnsureDirectory(path, parser);
  if (failure != Failure::kNone) return failure;
  if (name == nullptr) return Failure::kNoEntryNamed;
  uint32_t index = FindEntryIndexByName(name, (flag & kFlagIgnoreCase) != 0);
  if (index == kNoEntry) return Failure::kNoEntryNamed;
  BuildDirectoryRecord(cache.entries, index, record);
  return Failure::kNone;
}

template Failure ListDirectory<fileInfo>(const HostPath&, ArchiveParser, HGLOBAL*);
template Failure ListDirectory<fileInfoW>(const HostPath&, ArchiveParser, HGLOBAL*);
template Failure FindEntryByName(const HostPath&, ArchiveParser, LPCSTR, unsigned, fileInfo*);
template Failure FindEntryByName(const HostPath&, ArchiveParser, LPCWSTR, unsigned, fileInfoW*);

Failure LookUpEntryForExtract(const HostPath& path, ArchiveParser parser, ULONG_PTR position,
                              fileInfo* entry, uint8_t* palette) {
  ScopedDirectoryLock lock;
  Failure failure = IsCachedPath(path) && cache.builtBy == parser
                        ? Failure::kNone
                        : RecognizeArchive(path, &parser, 1, nullptr);
  if (failure != Failure::kNone) return failure;
  uint32_t index = FindEntryByPosition(position);
  if (index == kNoEntry) return Failure::kNoEntryAtPosition;
  BuildDirectoryRecord(cache.entries, index, entry);
  if (palette != nullptr) std::memcpy(palette, cache.palette, kPaletteBytes);
  return Failure::kNone;
}

}  // namespace korvo
