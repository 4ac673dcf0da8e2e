// Writers of both Brimmel archive layouts, for the command-line host, the
// tests and the fuzz corpora. The archive streams out entry by entry through
// an ArchiveSink, holding only its table; the Build functions lay a whole
// archive out in memory through the same steps.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

// Where a streamed archive goes: `append` adds bytes at the end, `rewrite`
// writes over bytes already appended (the table, once the positions are
// known). Each returns false when it fails.
struct ArchiveSink {
  std::function<bool(const uint8_t* data, size_t size)> append;
  std::function<bool(uint64_t position, const uint8_t* data, size_t size)> rewrite;
};

// An archive being streamed: its table (the count and the positions, or the
// count and the name records) as it will be written at the start, and how
// far the archive has come.
struct ArchiveStream {
  ArchiveSink sink;
  Bytes table;
  std::vector<size_t> positionFields;  // offset in `table` of each entry's position
  size_t entriesStarted = 0;
  uint64_t size = 0;                   // bytes appended so far
};

// Starts an offset-table archive of `count` entries: the count and a table
// of positions, filled in by FinishArchive.
bool StartOffsetTableArchive(const ArchiveSink& sink, uint32_t count, ArchiveStream* stream);

// Starts a named-entry archive whose entries carry these stored names (without
// ".QKZ"), in this order.
bool StartNamedEntryArchive(const ArchiveSink& sink, const std::vector<std::string>& names,
                            ArchiveStream* stream);

// Starts the next entry where the archive now ends; its bytes follow through
// AppendToArchive (and, in a named-entry archive, AppendNamedEntryHead first).
// False when every entry of the table has started.
bool StartEntry(ArchiveStream* stream);
bool AppendToArchive(ArchiveStream* stream, const uint8_t* data, size_t size);
inline bool AppendToArchive(ArchiveStream* stream, const Bytes& data) {
  return AppendToArchive(stream, data.data(), data.size());
}

// A named entry's stored head: width, height, the palette flag and, with
// `palette` not null, its 768 red, green, blue bytes.
bool AppendNamedEntryHead(ArchiveStream* stream, uint32_t width, uint32_t height,
                          const uint8_t* palette);

// Writes the table with every entry's position over its place at the start.
bool FinishArchive(ArchiveStream* stream);

// An offset-table archive: the count, the table of positions, then each entry
// (normally a complete QKZ picture, plus any bytes that should trail it) laid
// out one behind the other in the given order.
Bytes BuildOffsetTableArchive(const std::vector<Bytes>& entries);

// One entry of a named-entry archive.
struct NamedEntry {
  std::string name;                       // stored name, without ".QKZ"
  uint32_t width = 0;
  uint32_t height = 0;
  bool ownPalette = false;                // store `palette` with the entry
  QkzTriples palette = {};  // red, green, blue triples
  Bytes gap;                              // bytes between header/palette and rows
  Bytes rows;                             // the rows, top row first, stride bytes each
};

// A named-entry archive: the count, the name records, then the entries in
// record order. The Palette entry is whichever entry is named "Palette"; its
// 768 bytes must follow its stored header, so give it ownPalette.
Bytes BuildNamedEntryArchive(const std::vector<NamedEntry>& entries);

// A complete QKZ picture from its size, its 256 red, green, blue triples and
// its rows (stride bytes each, top row first).
Bytes BuildQkzPicture(uint32_t width, uint32_t height, const QkzTriples& palette,
                      const Bytes& rows);

// The kQkzHeadSize bytes that start a QKZ picture of this size and palette.
Bytes QkzHeadOf(uint32_t width, uint32_t height, const QkzTriples& palette);

}  // namespace korvo
