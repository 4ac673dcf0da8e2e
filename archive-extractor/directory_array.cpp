#include "archive-extractor/directory_array.h"

#include <cstring>

#include "archive-extractor/entry_names.h"
#include "common/ascii.h"

namespace korvo {
namespace {

constexpr uint32_t kFirstBlockBytes = 256;  // 16 entries
// The most ExpectDirectoryBytes allocates at once: a million entries named
// by position, or about half a million with names.
constexpr uint32_t kMostExpectedBytes = 16u << 20;
// Name distances must stay below kPositionNamed. Entries and names come from
// a file the reader cannot read past 2^31, so no parse gets near this.
constexpr uint64_t kMostBlockBytes = 0x80000000u - 1;

const char* NamesEnd(const DirectoryArray& array) {
  return reinterpret_cast<const char*>(array.entries) + array.blockBytes;
}

// Moves the array into a block of at least `needed` bytes: double the
// present one. The entries keep their place at the start and the names their
// distance from the end.
bool GrowDirectoryBlock(DirectoryArray* array, uint64_t needed) {
  uint64_t bytes = array->blockBytes < kFirstBlockBytes ? kFirstBlockBytes
                                                        : 2 * uint64_t{array->blockBytes};
  // The first block is what the file has room for, when that is known.
  if (array->block == nullptr && array->expectedBytes >= needed) bytes = array->expectedBytes;
  while (bytes < needed) bytes *= 2;
  if (bytes > kMostBlockBytes) bytes = kMostBlockBytes;
  if (bytes < needed) return false;
  HGLOBAL block = platform::GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(bytes));
  if (block == nullptr) return false;
  // A fixed block's lock only yields its address; nothing to undo.
  auto* data = static_cast<char*>(platform::GlobalLock(block));
  if (data == nullptr) {
    platform::GlobalFree(block);
    return false;
  }
  if (array->count > 0) std::memcpy(data, array->entries, array->count * sizeof(DirectoryEntry));
  if (array->nameBytes > 0)
    std::memcpy(data + bytes - array->nameBytes, NamesEnd(*array) - array->nameBytes,
                array->nameBytes);
  if (array->block != nullptr) platform::GlobalFree(array->block);
  array->block = block;
  array->entries = reinterpret_cast<DirectoryEntry*>(data);
  array->blockBytes = static_cast<uint32_t>(bytes);
  return true;
}

const char* StoredName(const DirectoryArray& array, const DirectoryEntry& entry) {
  return NamesEnd(array) - entry.nameAt;
}

// Whether the next entry of the array's reference is this one.
bool IsReferenceEntry(const DirectoryArray& array, uint32_t position, uint32_t compsize,
                      uint32_t filesize, const char* name, uint32_t nameLength) {
  const DirectoryArray& reference = *array.reference;
  if (array.count >= reference.count) return false;
  const DirectoryEntry& entry = reference.entries[array.count];
  if (entry.position != position || entry.compsize != compsize || entry.filesize != filesize)
    return false;
  if (name == nullptr || entry.nameAt == kPositionNamed)
    return name == nullptr && entry.nameAt == kPositionNamed;
  const char* stored = StoredName(reference, entry);
  return std::memcmp(stored, name, nameLength) == 0 && stored[nameLength] == '\0';
}

// Stores the entries counted so far, copied from the reference, in a block
// of the array's own, and lets go of the reference. False (the array
// unchanged) when no block can be had.
bool StoreReferencedEntries(DirectoryArray* array) {
  const DirectoryArray& reference = *array->reference;
  uint32_t nameBytes = 0;  // the names of the first `count` entries end here
  for (uint32_t i = array->count; i > 0; --i)
    if (reference.entries[i - 1].nameAt != kPositionNamed) {
      nameBytes = reference.entries[i - 1].nameAt;
      break;
    }
  DirectoryArray own = kEmptyDirectoryArray;
  own.expectedBytes = array->expectedBytes;
  const uint64_t needed = uint64_t{array->count} * sizeof(DirectoryEntry) + nameBytes;
  if (needed > 0 && !GrowDirectoryBlock(&own, needed)) return false;
  if (array->count > 0)
    std::memcpy(own.entries, reference.entries, array->count * sizeof(DirectoryEntry));
  if (nameBytes > 0)
    std::memcpy(const_cast<char*>(NamesEnd(own)) - nameBytes, NamesEnd(reference) - nameBytes,
                nameBytes);
  own.count = array->count;
  own.nameBytes = nameBytes;
  own.timestamp = array->timestamp;
  *array = own;
  return true;
}

}  // namespace

void ExpectDirectoryBytes(DirectoryArray* array, uint64_t entries, uint64_t nameBytes) {
  const uint64_t bytes = entries * sizeof(DirectoryEntry) + nameBytes;
  array->expectedBytes = static_cast<uint32_t>(bytes < kMostExpectedBytes ? bytes : kMostExpectedBytes);
}

bool FinishDirectoryArray(DirectoryArray* array) {
  if (array->reference == nullptr || array->count == array->reference->count) return true;
  return StoreReferencedEntries(array);
}

bool IsReferenceCopy(const DirectoryArray& array) {
  return array.reference != nullptr && array.count == array.reference->count;
}

bool AppendDirectoryEntry(DirectoryArray* array, uint32_t position, uint32_t compsize,
                          uint32_t filesize, const char* name, uint32_t nameLength) {
  if (array->reference != nullptr) {
    if (IsReferenceEntry(*array, position, compsize, filesize, name, nameLength)) {
      ++array->count;
      return true;
    }
    if (!StoreReferencedEntries(array)) return false;
  }
  const bool named = name != nullptr;
  const uint64_t nameBytes = array->nameBytes + (named ? nameLength + 1 : 0);
  const uint64_t needed = (uint64_t{array->count} + 1) * sizeof(DirectoryEntry) + nameBytes;
  if (needed > array->blockBytes && !GrowDirectoryBlock(array, needed)) return false;
  uint32_t nameAt = kPositionNamed;
  if (named) {
    nameAt = static_cast<uint32_t>(nameBytes);
    char* stored = reinterpret_cast<char*>(array->entries) + array->blockBytes - nameAt;
    std::memcpy(stored, name, nameLength);
    stored[nameLength] = '\0';
    array->nameBytes = nameAt;
  }
  array->entries[array->count++] = DirectoryEntry{position, compsize, filesize, nameAt};
  return true;
}

void FreeDirectoryArray(DirectoryArray* array) {
  if (array->block != nullptr) platform::GlobalFree(array->block);
  *array = kEmptyDirectoryArray;
}

uint32_t FormatEntryName(const DirectoryArray& array, uint32_t index,
                         char (&name)[kEntryNameBytes]) {
  const DirectoryEntry& entry = array.entries[index];
  if (entry.nameAt == kPositionNamed) {
    char positionName[kPositionNameBytes];
    FormatPositionName(entry.position, positionName);
    std::memcpy(name, positionName, kPositionNameBytes);
    return kPositionNameBytes - 1;
  }
  const char* stored = StoredName(array, entry);
  auto length = static_cast<uint32_t>(std::strlen(stored));
  FormatStoredName(stored, length, name);
  return length + 4;
}

char FirstNameByte(const DirectoryArray& array, uint32_t index) {
  const DirectoryEntry& entry = array.entries[index];
  if (entry.nameAt == kPositionNamed) return HexDigit(entry.position >> 28);
  char first = StoredName(array, entry)[0];
  return first == '\0' ? '.' : first;  // an empty stored name is listed as ".QKZ"
}

void FillDirectoryRecord(fileInfo* record, uint32_t position, uint32_t compsize,
                         uint32_t filesize, LPCSTR name, ULONG_PTR timestamp) {
  std::memset(record, 0, sizeof *record);
  std::memcpy(record->method, kMethodTag, sizeof record->method);
  record->position = position;
  record->compsize = compsize;
  record->filesize = filesize;
  record->timestamp = timestamp;
  size_t length = 0;
  while (name != nullptr && name[length] != '\0' && length + 1 < sizeof record->filename)
    ++length;
  if (length > 0) std::memcpy(record->filename, name, length);
}

void BuildDirectoryRecord(const DirectoryArray& array, uint32_t index, fileInfo* record) {
  const DirectoryEntry& entry = array.entries[index];
  char name[kEntryNameBytes];
  FormatEntryName(array, index, name);
  FillDirectoryRecord(record, entry.position, entry.compsize, entry.filesize, name,
                      array.timestamp);
}

}  // namespace korvo
