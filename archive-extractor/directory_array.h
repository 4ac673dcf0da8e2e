// The entry array a parser builds and hands to the directory cache: a private
// fixed block of fileInfo records.
#pragma once

#include <cstdint>

#include "host-contract/host_contract.h"

namespace korvo {

// A parser's array until InstallDirectory takes it over (and empties it).
struct DirectoryArray {
  HGLOBAL block;      // GMEM_FIXED; nullptr: none
  fileInfo* records;  // the block's bytes
  uint32_t count;     // records filled
  uint32_t capacity;  // records the block holds
};

// Bytes of `records` fileInfo records, or false when they exceed the 32-bit
// sizes the plug-ins work in (and so a 32-bit SIZE_T).
bool RecordBlockBytes(uint64_t records, SIZE_T* bytes);

// Allocates an array of `count` records, not cleared. Returns 0, or 4 when the
// block is too large, cannot be allocated or cannot be locked; on failure the
// array is left empty.
int AllocateDirectoryArray(uint32_t count, DirectoryArray* array);

// Grows an empty array's block to `records` records at once, for a parser
// that knows how many entries to expect. False when the block cannot be had
// (the array is unchanged).
bool ReserveDirectoryArray(DirectoryArray* array, uint64_t records);

// Makes room for one more record, doubling the block as entries pass, so that
// a parse never reserves more than the entries the file has shown justify (a
// count field alone justifies nothing). Returns the record to fill and counts
// it, or nullptr when the larger block cannot be had (the array is unchanged).
fileInfo* AppendDirectoryRecord(DirectoryArray* array);

// Frees the array's block, if any, and empties it. Parsers call it on every way
// out; after InstallDirectory it has nothing left to free.
void FreeDirectoryArray(DirectoryArray* array);

// Writes a whole record: zeros, then the method tag "IfKorvo", the position and
// sizes, the archive's time stamp, an empty path and `name` (cut to fit the
// field with its NUL). Every byte of the record is defined, the crc being zero.
void FillDirectoryRecord(fileInfo* record, uint32_t position, uint32_t compsize,
                         uint32_t filesize, LPCSTR name, ULONG_PTR timestamp = 0);

}  // namespace korvo
