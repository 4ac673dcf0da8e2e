#include "archive-extractor/directory_array.h"

#include <cstring>

namespace korvo {

bool RecordBlockBytes(uint64_t records, SIZE_T* bytes) {
  // Checked before multiplying, so that no count can wrap the product.
  constexpr uint64_t kLimit = 0xFFFFFFFFu;
  if (records > kLimit / sizeof(fileInfo)) return false;
  *bytes = static_cast<SIZE_T>(records * sizeof(fileInfo));
  return true;
}

namespace {

// A fixed block of `count` records and its address, or false with nothing
// allocated. A fixed block's lock only yields its address; nothing to undo.
bool AllocateRecordBlock(uint64_t count, HGLOBAL* block, fileInfo** records) {
  SIZE_T bytes = 0;
  if (!RecordBlockBytes(count, &bytes)) return false;
  *block = platform::GlobalAlloc(GMEM_FIXED, bytes);
  if (*block == nullptr) return false;
  *records = static_cast<fileInfo*>(platform::GlobalLock(*block));
  if (*records != nullptr) return true;
  platform::GlobalFree(*block);
  *block = nullptr;
  return false;
}

// Moves the array into a new block of `capacity` records.
bool RegrowDirectoryArray(DirectoryArray* array, uint64_t capacity) {
  HGLOBAL block = nullptr;
  fileInfo* records = nullptr;
  if (capacity <= array->capacity || !AllocateRecordBlock(capacity, &block, &records))
    return false;
  if (array->count > 0) std::memcpy(records, array->records, array->count * sizeof(fileInfo));
  if (array->block != nullptr) platform::GlobalFree(array->block);
  array->block = block;
  array->records = records;
  array->capacity = static_cast<uint32_t>(capacity);
  return true;
}

}  // namespace

int AllocateDirectoryArray(uint32_t count, DirectoryArray* array) {
  *array = DirectoryArray{nullptr, nullptr, 0, 0};
  HGLOBAL block = nullptr;
  fileInfo* records = nullptr;
  if (!AllocateRecordBlock(count, &block, &records)) return kResultMemoryError;
  *array = DirectoryArray{block, records, count, count};
  return kResultSuccess;
}

bool ReserveDirectoryArray(DirectoryArray* array, uint64_t records) {
  return records <= array->capacity || RegrowDirectoryArray(array, records);
}

fileInfo* AppendDirectoryRecord(DirectoryArray* array) {
  if (array->count == array->capacity) {
    uint64_t capacity = array->capacity < 16 ? 16 : 2 * uint64_t{array->capacity};
    SIZE_T bytes = 0;
    // Past the doubling, grow to the largest array a 32-bit size allows.
    if (!RecordBlockBytes(capacity, &bytes)) capacity = 0xFFFFFFFFu / sizeof(fileInfo);
    if (!RegrowDirectoryArray(array, capacity)) return nullptr;
  }
  return &array->records[array->count++];
}

void FreeDirectoryArray(DirectoryArray* array) {
  if (array->block != nullptr) platform::GlobalFree(array->block);
  *array = DirectoryArray{nullptr, nullptr, 0, 0};
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

}  // namespace korvo
