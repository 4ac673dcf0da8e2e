// The picture an archive's thumbnail shows: its first picture entry, never
// the named-entry layout's Palette entry. The directory is read by the
// extractor's own layout parsers, in the order the plug-in tries them, and
// then only that entry's head (and palette) are read; its rows are left to
// the thumbnail's byte source.
#pragma once

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

// The directory of the first layout, in the extractor's order, whose parser
// takes the file, read through `reader` (opened here on `windows`, which the
// caller closes along with freeing parsed->entries): kNone with *layout its
// index in kArchiveLayouts, or the last parser's reason.
Failure ParseArchive(const HostPath& path, ReaderWindow* windows, ArchiveReader* reader,
                     ParsedDirectory* parsed, int* layout) noexcept;

// Why each layout, in the extractor's order (offset-table, named-entry),
// does not take the file, kNone for one that does: what a host says when
// the extractor only answers that it refuses the file.
void ParseEachLayout(const HostPath& path, Failure reasons[kLayoutCount]) noexcept;

}  // namespace korvo
