#include "archive-extractor/directory_cache.h"

#include <cstring>

#include "host-contract/hand_over.h"

namespace korvo {
namespace {

struct DirectoryCache {
  DirectoryArray entries;
  bool holdsPath;  // false: `path` names no archive, nothing is reused
  char path[kCachedPathBytes];
  uint8_t palette[kPaletteBytes];
  CRITICAL_SECTION lock;
};

DirectoryCache cache;

// The cache key is the path string itself, compared byte for byte: the
// system's linguistic comparison could call two different paths equal.
bool IsCachedPath(LPCSTR path) {
  return cache.holdsPath && path != nullptr && std::strcmp(cache.path, path) == 0;
}

unsigned char UpperAscii(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 0x20) : byte;
}

unsigned char LowerAscii(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte + 0x20) : byte;
}

// Whole-name comparison, bounded by the record's field in case a record ever
// lacked its NUL.
bool NamesMatch(const char (&stored)[sizeof(fileInfo::filename)], LPCSTR name,
                bool ignoreCase) {
  for (size_t i = 0; i < sizeof stored; ++i) {
    auto a = static_cast<unsigned char>(stored[i]);
    auto b = static_cast<unsigned char>(name[i]);
    if (ignoreCase) {
      a = LowerAscii(a);
      b = LowerAscii(b);
    }
    if (a != b) return false;
    if (a == '\0') return true;
  }
  return false;
}

uint32_t FindEntryIndexByName(LPCSTR name, bool ignoreCase) {
  auto first = static_cast<unsigned char>(name[0]);
  if (ignoreCase) first = UpperAscii(first);
  for (uint32_t i = 0; i < cache.entries.count; ++i) {
    const fileInfo& record = cache.entries.records[i];
    // The cheap first-byte test spares most full comparisons.
    auto storedFirst = static_cast<unsigned char>(record.filename[0]);
    if (ignoreCase) storedFirst = UpperAscii(storedFirst);
    if (storedFirst != first) continue;
    if (NamesMatch(record.filename, name, ignoreCase)) return i;
  }
  return kNoEntry;
}

}  // namespace

void LoadDirectoryCache() {
  cache.entries = DirectoryArray{nullptr, nullptr, 0, 0};
  cache.holdsPath = false;
  cache.path[0] = '\0';
  platform::InitializeCriticalSection(&cache.lock);
}

void UnloadDirectoryCache() {
  FreeDirectoryArray(&cache.entries);
  cache.holdsPath = false;
  cache.path[0] = '\0';
  platform::DeleteCriticalSection(&cache.lock);
}

void EnterDirectoryLock() { platform::EnterCriticalSection(&cache.lock); }
void LeaveDirectoryLock() { platform::LeaveCriticalSection(&cache.lock); }

void InstallDirectory(DirectoryArray* array, LPCSTR path, const uint8_t* palette) {
  FreeDirectoryArray(&cache.entries);
  cache.entries = *array;
  *array = DirectoryArray{nullptr, nullptr, 0, 0};
  // A path that does not fit is never copied: the directory is served to the
  // call that parsed it, and every later call parses again.
  int length = path == nullptr ? kCachedPathBytes : platform::lstrlenA(path);
  cache.holdsPath = length < kCachedPathBytes;
  if (cache.holdsPath)
    platform::lstrcpyA(cache.path, path);
  else
    cache.path[0] = '\0';
  if (palette != nullptr) std::memcpy(cache.palette, palette, kPaletteBytes);
}

int EnsureDirectory(LPCSTR path, ArchiveParser parser) {
  if (IsCachedPath(path)) return kResultSuccess;
  return parser(path);
}

uint32_t FindEntryByPosition(ULONG_PTR position) {
  for (uint32_t i = 0; i < cache.entries.count; ++i)
    if (cache.entries.records[i].position == position) return i;
  return kNoEntry;
}

int ListDirectory(LPCSTR path, ArchiveParser parser, HGLOBAL* slot) {
  HGLOBAL block = nullptr;
  int result = kResultSuccess;
  EnterDirectoryLock();
  // The lock is released before the block is handed over or freed.
  ScopeExit cleanUp([&] {
    LeaveDirectoryLock();
    HandOverBlock(block, result, slot);
  });

  result = EnsureDirectory(path, parser);
  if (result != kResultSuccess) return result;
  uint32_t count = cache.entries.count;
  SIZE_T bytes = 0;
  if (!RecordBlockBytes(uint64_t{count} + 1, &bytes)) return result = kResultMemoryError;
  block = platform::GlobalAlloc(GHND, bytes);
  if (block == nullptr) return result = kResultMemoryError;
  auto* records = static_cast<fileInfo*>(platform::GlobalLock(block));
  if (records == nullptr) return result = kResultMemoryError;
  if (count > 0) std::memcpy(records, cache.entries.records, count * sizeof(fileInfo));
  // The block is zero-filled, so the record after the last ends the list.
  records[count].method[0] = '\0';
  return result = kResultSuccess;
}

int FindEntryByName(LPCSTR path, ArchiveParser parser, LPCSTR name, unsigned flag,
                    fileInfo* record) {
  EnterDirectoryLock();
  ScopeExit leave([] { LeaveDirectoryLock(); });
  int result = EnsureDirectory(path, parser);
  if (result != kResultSuccess) return result;
  if (name == nullptr) return kResultNotHandled;
  uint32_t index = FindEntryIndexByName(name, (flag & kFlagIgnoreCase) != 0);
  if (index == kNoEntry) return kResultNotHandled;
  std::memcpy(record, &cache.entries.records[index], sizeof *record);
  return kResultSuccess;
}

int LookUpEntryForExtract(LPCSTR path, ArchiveParser parser, ULONG_PTR position,
                          fileInfo* entry, uint8_t* palette) {
  EnterDirectoryLock();
  ScopeExit leave([] { LeaveDirectoryLock(); });
  int result = EnsureDirectory(path, parser);
  if (result != kResultSuccess) return result;
  uint32_t index = FindEntryByPosition(position);
  if (index == kNoEntry) return kResultNotHandled;
  std::memcpy(entry, &cache.entries.records[index], sizeof *entry);
  if (palette != nullptr) std::memcpy(palette, cache.palette, kPaletteBytes);
  return kResultSuccess;
}

}  // namespace korvo
