// The offset-table archive. Until its reader is written, no file is taken for
// one: the parser refuses every file, so the dispatch moves on to the next
// layout and the extract operation is never reached through it.
#include "archive-extractor/offset_table_archive.h"

#include "archive-extractor/directory_cache.h"

namespace korvo {

int ParseOffsetTableArchive(LPCSTR) noexcept { return kResultBadFormat; }

int ExtractOffsetTableEntry(LPCSTR path, ULONG_PTR position, HGLOBAL*, ProgressCallback,
                            LONG_PTR) noexcept {
  fileInfo entry;
  int result = LookUpEntryForExtract(path, ParseOffsetTableArchive, position, &entry, nullptr);
  return result != kResultSuccess ? result : kResultBadFormat;
}

}  // namespace korvo
