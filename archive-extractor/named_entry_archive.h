// The named-entry archive: an entry count and a chain of name records; each
// entry a stored header, optionally its own palette, and its rows. The entry
// named "Palette" carries the palette the other entries share.
//
//   0       4      count
//   4       ...    count name records, one behind the other: a name of at most
//                  31 bytes and its NUL, then the entry's offset (4 bytes)
//   offset  9      stored header: width (4), height (4), palette flag (1)
//   +9      768    own palette, red, green, blue triples (palette flag nonzero)
//   end-R   R      rows, RowStride(width, 8) x height bytes, top row first
//
// An entry runs from its offset to the next record's offset, the last one to
// the end of the file.
#pragma once

#include <cstdint>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/directory_array.h"
#include "archive-extractor/entry_output.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

constexpr uint32_t kFirstNameRecordPosition = 4;
constexpr uint32_t kNameFieldBytes = 32;  // the longest name, its NUL included
constexpr uint32_t kStoredHeaderBytes = 9;
constexpr uint32_t kStoredPaletteFlagOffset = 8;
constexpr char kPaletteEntryName[] = "Palette.QKZ";

struct NameRecord {
  char name[kNameFieldBytes];  // NUL-terminated; bytes behind the NUL undefined
  uint32_t nameLength;         // bytes before the NUL: the record is this + 5 long
  uint32_t offset;             // position of the entry
};

// Reads the name record at `position`. kNone; kNameWithoutNul when the 32
// name bytes hold none; kEntryPositionZero or kEntryPositionPastEnd for an
// offset of 0 or not below the file size; kFileEndsEarly when the file ends
// inside the record (or the reader's reason). On kNone `record` holds the
// NUL-terminated name, its length and the offset.
Failure ReadNameRecord(ArchiveReader* reader, uint32_t position, NameRecord* record);

// Reads and checks the whole directory of the archive open in `reader`, and
// its shared palette, into *directory (an ArchiveParser). Otherwise why it is
// not this layout or is inconsistent, or why the file could not be read or
// no memory had.
Failure ParseNamedEntryArchive(ArchiveReader* reader, ParsedDirectory* directory) noexcept;

// The entry at `position` rebuilt into a complete QKZ picture: a head of its
// size and palette (its own or the shared one), then its rows (see
// LocateOperation). kEntryChangedOnDisk when the entry on disk no longer
// matches the directory.
Failure LocateNamedEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                         EntrySource* source) noexcept;

}  // namespace korvo
