#include "archive-extractor/layouts.h"

#include "archive-extractor/named_entry_archive.h"
#include "archive-extractor/offset_table_archive.h"

namespace korvo {

const LayoutTable kArchiveLayouts = {
    {ParseOffsetTableArchive, LocateOffsetTableEntry},
    {ParseNamedEntryArchive, LocateNamedEntry},
};

Failure RecognizeLayout(const LayoutTable& layouts, const HostPath& path,
                        const ArchiveLayout** layout, HANDLE* kept) {
  if (IsNullPath(path)) return Failure::kCannotOpen;
  ArchiveParser parsers[kLayoutCount];
  for (int i = 0; i < kLayoutCount; ++i) parsers[i] = layouts[i].parse;
  ScopedDirectoryLock lock;
  // Always a fresh parse: the file may have changed since it was cached.
  int index = -1;
  Failure failure = RecognizeArchive(path, parsers, kLayoutCount, &index, kept);
  if (index >= 0) *layout = &layouts[index];
  return index < 0 ? failure : Failure::kNone;
}

}  // namespace korvo
