// The entry array a parser builds and hands to the directory cache. It keeps
// per entry only what the calls need: position, stored size, size and, for an
// entry with a stored name, that name. The fileInfo records a host sees are
// built from it when they are handed out (listing, lookup, extract).
//
// One private fixed block holds it all: the entries from the start, the names
// from the end, so that a parse allocates and grows a single block.
#pragma once

#include <cstdint>

#include "archive-extractor/archive_reader.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// `nameAt` of an entry named "%08X.QKZ" after its position (offset-table).
// A named entry is listed as its stored name and ".QKZ", the extension added
// only when the name is handed out.
constexpr uint32_t kPositionNamed = 0xFFFFFFFFu;
// Room for the longest listed name: 32 stored bytes, ".QKZ" and the NUL.
constexpr uint32_t kEntryNameBytes = 37;

struct DirectoryEntry {
  uint32_t position;
  uint32_t compsize;
  uint32_t filesize;
  // Distance from the block's end to the stored name (NUL-terminated), or
  // kPositionNamed.
  uint32_t nameAt;
};

// A parser's array until the directory cache takes it over (and empties it).
struct DirectoryArray {
  HGLOBAL block;            // GMEM_FIXED; nullptr: none
  DirectoryEntry* entries;  // the block's bytes, entries first
  uint32_t count;           // entries
  uint32_t blockBytes;      // bytes of the block
  uint32_t nameBytes;       // bytes of names at the block's end
  ULONG_PTR timestamp;      // the archive's last-write time, in every record
  // While set, the `count` entries appended so far equal the first ones of
  // this directory (the cached one of the same archive) and are not stored:
  // a parse of an archive that has not changed allocates and copies nothing.
  const DirectoryArray* reference;
  // The bytes the whole directory will take as far as the file's own bytes
  // tell (ExpectDirectoryBytes); 0: unknown.
  uint32_t expectedBytes;
};

constexpr DirectoryArray kEmptyDirectoryArray = {nullptr, nullptr, 0, 0, 0, 0, nullptr, 0};

constexpr uint32_t kPaletteBytes = kQkzTripleTableSize;  // the shared palette

// What a parse found: the entries and, for named entries, the shared palette.
struct ParsedDirectory {
  DirectoryArray entries;
  bool hasPalette;
  uint8_t palette[kPaletteBytes];
};

// A layout's parser: reads the directory of the archive open in `reader`
// into *directory, which arrives with the archive's time stamp and any
// reference (above). kNone, or why not; only the directory cache installs it.
typedef Failure (*ArchiveParser)(ArchiveReader* reader, ParsedDirectory* directory) noexcept;

// Appends an entry; `name` holds its `nameLength` stored bytes (at most 32,
// no NUL among them), or is nullptr for an entry named by position. The block doubles as
// entries pass, so a parse never reserves more than twice what the entries
// the file has shown need (a count field alone justifies nothing). An array
// with a reference only counts an entry equal to the reference's next one;
// at the first that differs it stores those before it and goes on as any
// other. False when a larger block cannot be had; the array is then unchanged.
bool AppendDirectoryEntry(DirectoryArray* array, uint32_t position, uint32_t compsize,
                          uint32_t filesize, const char* name, uint32_t nameLength);

// Tells the array how many entries and bytes of names (NULs included) the
// file's table or name records have room for, so that the first entry to
// pass allocates the whole block at once instead of doubling it as entries
// pass. The room is taken from bytes the parse goes on to read, never from a
// count field, and is capped, so a damaged file can make it allocate little
// more than it would anyway.
void ExpectDirectoryBytes(DirectoryArray* array, uint64_t entries, uint64_t nameBytes);

// Ends a parse's appending: an array that still follows its reference but
// holds fewer entries gets them stored after all. False when no block can be
// had for them. Afterwards the array follows its reference only if it equals
// it whole (IsReferenceCopy).
bool FinishDirectoryArray(DirectoryArray* array);

// True when the finished array is its reference, entry for entry.
bool IsReferenceCopy(const DirectoryArray& array);

// Frees the array's block, if any, and empties it.
void FreeDirectoryArray(DirectoryArray* array);

// The listed name of entry `index`, NUL-terminated; returns its length.
uint32_t FormatEntryName(const DirectoryArray& array, uint32_t index,
                         char (&name)[kEntryNameBytes]);

// The first byte of the listed name of entry `index`, without building it.
char FirstNameByte(const DirectoryArray& array, uint32_t index);

// Writes a whole record: zeros, then the method tag "IfKorvo", the position and
// sizes, the archive's time stamp, an empty path and `name` (cut to fit the
// field with its NUL). Every byte of the record is defined, the crc being zero.
void FillDirectoryRecord(fileInfo* record, uint32_t position, uint32_t compsize,
                         uint32_t filesize, LPCSTR name, ULONG_PTR timestamp = 0);

// The record a host sees for entry `index`: the 8-bit one, or the UTF-16 one
// (wide_records.h).
void BuildDirectoryRecord(const DirectoryArray& array, uint32_t index, fileInfo* record);

}  // namespace korvo
