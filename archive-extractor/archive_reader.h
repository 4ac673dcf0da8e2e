// Positional reads of an archive file. One primitive, View: the bytes at a
// position, seen in place, or why the file cannot deliver them. A parse's
// reader serves its fields from two windows, one per region it moves through
// (table or name records, entry heads). A miss near the fields a window
// served fills the window; a far one (entries of real pictures lie hundreds
// of kilobytes apart) reads just the field. Either way a field the file
// cannot deliver whole fails with 6. An extract's reader has no windows: its
// few, large reads go straight into the caller's memory.
#pragma once

#include <cstdint>

#include "common/byte_source.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "host-contract/host_path.h"

namespace korvo {

constexpr uint32_t kReaderWindowBytes = 65536;
constexpr uint32_t kReaderWindowCount = 2;
// Positions from here on cannot be reached: a seek takes a signed 32-bit
// distance from the start of the file. A read that starts below it may run
// past it.
constexpr uint32_t kUnreachablePosition = 0x80000000u;

struct ReaderWindow {
  uint32_t start;    // file position of data[0]
  uint32_t length;   // bytes held; 0: empty
  uint32_t lastEnd;  // the end of the last field served from it
  uint8_t data[kReaderWindowBytes];
};

// The windows of a parse: kept off the host thread's stack by their owner.
typedef ReaderWindow ReaderWindows[kReaderWindowCount];

struct ArchiveReader {
  HANDLE file = INVALID_HANDLE_VALUE;
  uint32_t fileSize = 0;            // a parse's reader only: the size's low 32 bits
  uint64_t fileEnd = UINT64_MAX;    // a parse's reader only: reads stop here
  ULONG_PTR timestamp = 0;          // a parse's reader only: the file's last-write time
  uint32_t nextVictim = 0;          // the window a miss refills next
  ReaderWindow* windows = nullptr;  // kReaderWindowCount; nullptr: reads go to the file
  const ByteSource* source = nullptr;  // when set, read in place of `file`
};

// What View sees: `available` bytes from `bytes` on, until the next view.
struct ReaderView {
  const uint8_t* bytes = nullptr;
  uint32_t available = 0;
};

// Opens the archive. With `windows` (a parse) also takes its 32-bit size and
// last-write time, and serves views from the emptied windows: kNone,
// kCannotOpen or kSizeUnknown. Without (an extract) kNone or kCannotOpen; an
// extract's reader that holds the file its probe opened keeps it, and opens
// nothing. Usable with CloseArchiveReader either way.
Failure OpenArchiveReader(const HostPath& path, ReaderWindow* windows, ArchiveReader* reader);

// A parse's reader over a source instead of a file (a stream a shell hands
// over): the size is the source's, the time 0. kNone.
Failure OpenArchiveSource(const ByteSource* source, ReaderWindow* windows, ArchiveReader* reader);

// Closes the file if it was opened.
void CloseArchiveReader(ArchiveReader* reader);

// The `length` bytes at `position` (at most kReaderWindowBytes), seen in
// place. kNone with all of them available; kFileEndsEarly with the fewer the
// file holds there (the view still shows those); kUnreachablePosition from
// 2^31 on with none; kFieldLargerThanWindow beyond
// kReaderWindowBytes or for a reader without windows.
Failure View(ArchiveReader* reader, uint32_t position, uint32_t length, ReaderView* view);

// Copies the `count` bytes at `position` to `out`: through View when a window
// can hold them, otherwise in one read straight into `out`. kNone, or View's
// reason (kFileEndsEarly when fewer than `count` bytes arrive).
Failure ReadArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out);

// The little-endian 32-bit field at `position`, through View: kNone with
// *value set, or View's reason.
Failure ReadLe32At(ArchiveReader* reader, uint32_t position, uint32_t* value);

}  // namespace korvo
