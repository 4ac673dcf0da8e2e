// An entry's bytes on their way out, to memory or into a folder. A layout
// only says where they come from (EntrySource); the same copy serves both
// outputs, so a file written to a folder holds exactly what memory output
// hands over, and a large entry never has to be held whole.
#pragma once

#include <cstdint>
#include <cstring>

#include "archive-extractor/archive_reader.h"
#include "common/little_endian.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// The entry at a position as the output sees it: its record, then its bytes,
// the `headBytes` of `head` followed by the `copyBytes` of the archive at
// `copyPosition`; together `entry.filesize` bytes.
struct EntrySource {
  fileInfo entry;
  uint32_t headBytes;
  uint8_t head[kQkzHeadSize];
  uint32_t copyPosition;
  uint32_t copyBytes;
  // The entry is stored whole: its head is read with the first piece and the
  // entry refused (kEntryChangedOnDisk) when the picture it describes no
  // longer fits the entry, for a host would read past the end decoding it.
  bool checkStoredHead;
};

// A layout's look-up for an extract: finds the entry at `position` (through
// the directory cache, under its lock), opens `reader` on the archive and
// reads what the head needs. kNone with *source filled; otherwise
// kNoEntryAtPosition, the parse's reason, the read's reason, or
// kNotThisLayout / kEntryChangedOnDisk when the entry is no longer the one
// listed. The caller closes `reader` either way.
typedef Failure (*LocateOperation)(const HostPath& path, ULONG_PTR position, ArchiveReader* reader,
                                   EntrySource* source) noexcept;

// Fills `buffer` (`bufferBytes`: the whole entry, or more than a head) with
// the entry's bytes in order, one piece at a time, and hands each piece to
// `put(bytes, count)`, which answers kNone to go on.
template <typename Put>
Failure CopyEntryInPieces(ArchiveReader* reader, const EntrySource& source, uint8_t* buffer,
                          uint32_t bufferBytes, Put put) {
  const uint32_t size = source.headBytes + source.copyBytes;
  uint32_t copied = 0;
  for (uint32_t done = 0; done < size;) {
    uint32_t fill = 0;
    if (done == 0) {
      std::memcpy(buffer, source.head, source.headBytes);
      fill = source.headBytes;
    }
    const uint32_t left = source.copyBytes - copied;
    const uint32_t take = left < bufferBytes - fill ? left : bufferBytes - fill;
    const uint64_t position = uint64_t{source.copyPosition} + copied;
    if (position >= kUnreachablePosition) return Failure::kUnreachablePosition;
    Failure failure = ReadArchiveAt(reader, static_cast<uint32_t>(position), take, buffer + fill);
    if (failure != Failure::kNone) return failure;
    if (done == 0 && source.checkStoredHead &&
        QkzPictureSize(ReadLe32(buffer + kQkzWidthOffset), ReadLe32(buffer + kQkzHeightOffset)) >
            size)
      return Failure::kEntryChangedOnDisk;
    failure = put(static_cast<const uint8_t*>(buffer), fill + take);
    if (failure != Failure::kNone) return failure;
    copied += take;
    done += fill + take;
  }
  return Failure::kNone;
}

// Memory output: the entry at `position` in a new movable block, stored fully
// unlocked in *slot on kNone only; the entry's record goes to *entry unless
// it is null. Read through `reader` when given (it may hold the file its
// probe opened; the caller closes it). kNoMemory, or the reasons of `locate`
// and of the reads.
Failure ExtractEntry(LocateOperation locate, const HostPath& path, ULONG_PTR position,
                     HGLOBAL* slot, fileInfo* entry = nullptr, ArchiveReader* reader = nullptr);

}  // namespace korvo
