// Positional reads of an archive file, for the layouts' parsers and
// extracts.
//
// A parse looks at small fields spread over the file: table slots or name
// records near the start, and the head of every entry further on. Its
// reader serves them from two windows of the file, one per region the parse
// moves through, so that a parse costs a few file reads per window instead of
// a seek and a read per field. The outcome is the same as reading each field
// by itself: a field the file cannot deliver whole fails with 6. An
// extract's reader has no windows: its reads are few and large, and go
// straight to the file.
#pragma once

#include <cstdint>

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
  uint32_t start;   // file position of data[0]
  uint32_t length;  // bytes held; 0: empty
  uint8_t data[kReaderWindowBytes];
};

// Where a reader's file position is not known: the next read seeks first.
constexpr uint32_t kUnknownFilePosition = 0xFFFFFFFFu;

struct ArchiveReader {
  HANDLE file = INVALID_HANDLE_VALUE;
  uint32_t fileSize = 0;            // a parse's reader only: the size's low 32 bits
  uint64_t fileEnd = UINT64_MAX;    // a parse's reader only: window reads stop here
  uint32_t filePosition = 0;        // where the file's next read starts, if known
  ULONG_PTR timestamp = 0;          // a parse's reader only: the file's last-write time
  uint32_t nextVictim = 0;          // the window a miss refills next
  ReaderWindow* windows = nullptr;  // kReaderWindowCount; nullptr: reads go to the file
};

// Everything one parse works with: its reader and the windows the reader
// serves fields from. The directory cache holds the one context of the
// extractor, guarded by the directory lock like the rest of the cache, so
// that the windows stay off the host thread's stack and the parses, which
// all run under that lock, share them.
struct ParseContext {
  ArchiveReader reader;
  ReaderWindow windows[kReaderWindowCount];
  // While a recognition tries the layouts in turn (HoldParseReader), their
  // parses share one open of the file and the windows it filled: the second
  // layout's probe starts from the bytes the first one read.
  bool holding = false;
  bool heldOpen = false;  // holding, and a parse has opened the file
};

// Opens the archive for a parse through `context`, with empty windows, and
// takes its 32-bit size and last-write time: kNone, kCannotOpen or
// kSizeUnknown. The reader is usable with CloseArchiveReader either way.
Failure OpenParseReader(const HostPath& path, ParseContext* context);

// Closes a parse's file, unless a recognition holds it for the next layout.
void CloseParseReader(ParseContext* context);

// From HoldParseReader to ReleaseParseReader, the parses through `context`
// (all of one path) share the first successful open and its windows; a parse
// after a failed open tries the open again, as it would on its own.
void HoldParseReader(ParseContext* context);
void ReleaseParseReader(ParseContext* context);

// Opens the archive for an extract: a reader without windows. kNone or
// kCannotOpen; usable with CloseArchiveReader either way.
Failure OpenArchiveReader(const HostPath& path, ArchiveReader* reader);

// Closes the file if it was opened.
void CloseArchiveReader(ArchiveReader* reader);

// Copies the `count` bytes at `position` to `out`. kNone;
// kUnreachablePosition from 2^31 on; kSeekFailed; kFileEndsEarly when fewer
// than `count` bytes arrive.
Failure ReadArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t count, uint8_t* out);

// Copies the first `count` bytes of the `available` bytes at `position` to
// `out`: kNone, or ReadArchiveAt's reason for all `available` bytes there
// (kFieldLargerThanWindow beyond kReaderWindowBytes). For a check that only
// needs a field's first bytes but must fail exactly where reading the whole
// field would. A parse's reader only.
Failure ReadArchivePrefixAt(ArchiveReader* reader, uint32_t position, uint32_t available,
                        uint32_t count, uint8_t* out);

// The `count` bytes at `position` (at most kReaderWindowBytes) seen in place:
// *bytes points at them until the next read. kNone, or ReadArchiveAt's reason
// exactly where it would fail (kFieldLargerThanWindow beyond
// kReaderWindowBytes or without windows). For fields only looked at, so
// nothing is copied. A parse's reader only.
Failure ViewArchiveFieldAt(ArchiveReader* reader, uint32_t position, uint32_t count,
                       const uint8_t** bytes);

// Up to `wanted` bytes at `position` (at most kReaderWindowBytes), seen in
// place: *bytes points at them and *available says how many the file holds
// there, fewer than `wanted` only where it ends (or a seek or read failed).
// The view lasts until the next read. kNone; kUnreachablePosition from 2^31
// on; kFieldLargerThanWindow beyond kReaderWindowBytes or without windows. A
// parse's reader only.
Failure ViewArchiveAt(ArchiveReader* reader, uint32_t position, uint32_t wanted,
                  const uint8_t** bytes, uint32_t* available);

// Copies the `count` bytes at `position` to `out` only if a window already
// holds them, reading nothing: true when it did. For a field a parse wants
// later but can pick up for free while passing by. False for a reader
// without windows.
bool CopyHeldArchiveBytes(const ArchiveReader* reader, uint32_t position, uint32_t count,
                          uint8_t* out);

}  // namespace korvo
