// The offset-table archive: an entry count N, a table of N entry positions,
// and the entries, each a complete QKZ picture stored as is. Entry k runs from
// its position up to the next entry's, the last one to the end of the file.
//
// The layout has no signature: a file is one exactly when every check below
// passes, and the order of the checks decides a failing file's code. The table
// is walked one slot ahead of the entries: slot k is read and its offset tested
// before the head of entry k - 1 is read and the entry measured against it.
#include "archive-extractor/offset_table_archive.h"

#include <cstdint>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/directory_cache.h"
#include "common/little_endian.h"
#include "host-contract/scope_guard.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {
namespace {

constexpr uint32_t kCountPosition = 0;
constexpr uint32_t kTablePosition = 4;
constexpr uint32_t kSlotBytes = 4;
// The bytes of an entry's head a parse checks: up to the end of the height.
constexpr uint32_t kCheckedHeadBytes = kQkzHeightOffset + 4;

// Reads the head of the entry at `position` and checks that the entry, which
// ends at `end`, holds the whole picture the head describes. An `end` below
// `position` (offsets that do not ascend) is an entry smaller than its
// picture: taken as a 32-bit size it would wrap to nearly 4 GiB, be listed as
// such and later be asked for as one block.
Failure CheckEntry(ArchiveReader* reader, uint32_t position, uint32_t end) {
  // The whole head must be there, but only its width and height are looked
  // at: the file's size tells whether the rest is, and only the two are read.
  // The view starts at the entry, as a read of the whole head would, so that
  // the same positions are refused as unreachable.
  ReaderView head;
  Failure failure = View(reader, position, kCheckedHeadBytes, &head);
  if (failure != Failure::kNone) return failure;
  if (uint64_t{position} + kQkzHeadSize > reader->fileEnd) return Failure::kFileEndsEarly;
  if (end < position) return Failure::kOffsetsNotAscending;
  // 64-bit: a head of 65536 x 65537 needs more than 2^32 bytes, and a width
  // near 2^32 must not wrap its stride to 0.
  uint64_t needed =
      QkzPictureSize(ReadLe32(head.bytes + kQkzWidthOffset), ReadLe32(head.bytes + kQkzHeightOffset));
  if (needed > UINT32_MAX) return Failure::kPictureOver4GiB;
  return needed > end - position ? Failure::kEntryTooSmallForPicture : Failure::kNone;
}

Failure CheckAndListEntry(ArchiveReader* reader, uint32_t position, uint32_t end,
                          DirectoryArray* entries) {
  Failure failure = CheckEntry(reader, position, end);
  if (failure != Failure::kNone) return failure;
  // Its name follows from the position when it is handed out.
  if (!AppendDirectoryEntry(entries, position, end - position, end - position, nullptr, 0))
    return Failure::kNoMemory;
  return Failure::kNone;
}

// Reads table slot `index` into *offset. Slots from 2^31 on cannot be reached.
Failure ReadSlot(ArchiveReader* reader, uint32_t index, uint32_t* offset) {
  uint64_t position = kTablePosition + uint64_t{kSlotBytes} * index;
  if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
  return ReadLe32At(reader, static_cast<uint32_t>(position), offset);
}

// An entry position is usable when it is not 0 and lies inside the file.
Failure CheckEntryPosition(uint32_t position, uint32_t fileSize) {
  if (position == 0) return Failure::kEntryPositionZero;
  return position < fileSize ? Failure::kNone : Failure::kEntryPositionPastEnd;
}

// Reads slot `index` and checks the position it gives.
Failure ReadEntryPosition(ArchiveReader* reader, uint32_t index, uint32_t* position) {
  Failure failure = ReadSlot(reader, index, position);
  if (failure != Failure::kNone) return failure;
  return CheckEntryPosition(*position, reader->fileSize);
}

}  // namespace

// Every check of the layout, in order; fills the directory with one entry per
// entry. The array grows as entries pass, so a count field that claims more
// entries than the file holds reserves nothing: such a file fails where its
// table or its entries give out.
Failure ParseOffsetTableArchive(ArchiveReader* reader, ParsedDirectory* directory) noexcept {
  DirectoryArray* entries = &directory->entries;
  uint32_t count = 0;
  Failure failure = ReadLe32At(reader, kCountPosition, &count);
  if (failure != Failure::kNone) return failure;

  uint32_t current = 0;
  failure = ReadEntryPosition(reader, 0, &current);
  if (failure != Failure::kNone) return failure;
  // Where the first entry starts, the table has ended: it has room for no
  // more slots than lie in front of it.
  if (current > kTablePosition) {
    const uint32_t room = (current - kTablePosition) / kSlotBytes;
    ExpectDirectoryBytes(entries, count < room ? count : room, 0);
  }

  for (uint32_t k = 1; k < count; ++k) {
    uint32_t next = 0;
    failure = ReadEntryPosition(reader, k, &next);
    if (failure != Failure::kNone) return failure;
    failure = CheckAndListEntry(reader, current, next, entries);
    if (failure != Failure::kNone) return failure;
    current = next;
  }

  // The last entry runs to the end of the file. A count of 0 still has its
  // slot 0 and the picture there checked, but lists nothing.
  if (count == 0) return CheckEntry(reader, current, reader->fileSize);
  return CheckAndListEntry(reader, current, reader->fileSize, entries);
}

Failure LocateOffsetTableEntry(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                               EntrySource* source) noexcept {
  Failure failure =
      LookUpEntryForExtract(path, ParseOffsetTableArchive, position, &source->entry, nullptr);
  if (failure != Failure::kNone) return failure;
  // The entry is handed out as stored, its head checked as it is read: the
  // file may have changed since its directory was read.
  source->headBytes = 0;
  source->copyPosition = static_cast<uint32_t>(source->entry.position);
  source->copyBytes = static_cast<uint32_t>(source->entry.filesize);
  source->checkStoredHead = true;
  return OpenArchiveReader(path, nullptr, reader);
}

}  // namespace korvo
