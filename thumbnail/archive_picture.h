// The picture an archive's thumbnail shows: its first picture entry, never
// the named-entry layout's Palette entry. The directory is read by the
// extractor's own layout parsers, in the order the plug-in tries them, and
// then only that entry's head (and palette) are read; its rows are left to
// the thumbnail's byte source.
#pragma once

#include <memory>

#include "archive-extractor/archive_reader.h"
#include "archive-extractor/directory_array.h"
#include "archive-extractor/layouts.h"
#include "host-contract/failure.h"
#include "host-contract/host_path.h"
#include "thumbnail/qkz_thumbnail.h"

namespace korvo {

struct ArchivePicture {
  bool found = false;              // false: the archive holds no picture entry
  char name[kEntryNameBytes] = {};  // as the extractor lists it: stored bytes and .QKZ
  PictureInSource picture;
};

// A refusal (with the last parser's reason) when no layout takes the file;
// otherwise kNone with *found filled, or why the entry cannot be read.
Outcome FindArchivePicture(const HostPath& path, ArchivePicture* found) noexcept;
// The same over a source (a stream): only the directory, the entry's head
// and palette are read here, and the source is not kept.
Outcome FindArchivePicture(const ByteSource& source, ArchivePicture* found) noexcept;

// An archive parsed by the first layout, in the extractor's order, that
// takes it: the reader stays open on its windows for reading entries, and
// all of it is released when it goes.
struct ParsedArchive {
  std::unique_ptr<ReaderWindow[]> windows;
  ArchiveReader reader;
  ParsedDirectory directory;
  int layout = -1;  // its index in kArchiveLayouts
  ParsedArchive();
  ParsedArchive(const ParsedArchive&) = delete;
  ParsedArchive& operator=(const ParsedArchive&) = delete;
  ~ParsedArchive();
};

// kNone with *parsed filled, or the last parser's reason.
Failure ParseArchive(const HostPath& path, ParsedArchive* parsed) noexcept;
// The same over a source, which must outlive the ParsedArchive.
Failure ParseArchive(const ByteSource& source, ParsedArchive* parsed) noexcept;

// The index of the named-entry layout's Palette entry (the first entry named
// Palette, whose palette the parse took as the shared one); the entry count
// where there is none (the offset-table layout).
uint32_t PaletteEntryIndex(const ParsedArchive& archive) noexcept;

// Where entry `index` of a parsed archive keeps its picture: its head (or
// stored header and its own or the shared palette) is read, the rows are
// left to the caller's byte source.
Failure LocateEntryPicture(ParsedArchive* archive, uint32_t index, PictureInSource* picture) noexcept;

// Why each layout, in the extractor's order (offset-table, named-entry),
// does not take the file, kNone for one that does: what a host says when
// the extractor only answers that it refuses the file.
void ParseEachLayout(const HostPath& path, Failure reasons[kLayoutCount]) noexcept;

}  // namespace korvo
