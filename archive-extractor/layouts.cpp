#include "archive-extractor/layouts.h"

#include "archive-extractor/named_entry_archive.h"
#include "archive-extractor/offset_table_archive.h"

namespace korvo {

const LayoutTable kArchiveLayouts = {
    {ParseOffsetTableArchive, ExtractOffsetTableEntry},
    {ParseNamedEntryArchive, ExtractNamedEntry},
};

const ArchiveLayout* RecognizeLayout(const LayoutTable& layouts, const HostPath& path) {
  if (IsNullPath(path)) return nullptr;
  ArchiveParser parsers[kLayoutCount];
  for (int i = 0; i < kLayoutCount; ++i) parsers[i] = layouts[i].parse;
  ScopedDirectoryLock lock;
  // Always a fresh parse: the file may have changed since it was cached.
  int index = -1;
  RecognizeArchive(path, parsers, kLayoutCount, &index);
  return index < 0 ? nullptr : &layouts[index];
}

}  // namespace korvo
