// The named-entry archive. Until its reader is written, no file is taken for
// one: the parser refuses every file, so no file is recognised as this layout
// and the extract operation is never reached through it.
#include "archive-extractor/named_entry_archive.h"

#include "archive-extractor/directory_cache.h"

namespace korvo {

int ParseNamedEntryArchive(LPCSTR) noexcept { return kResultBadFormat; }

int ExtractNamedEntry(LPCSTR path, ULONG_PTR position, HGLOBAL*, ProgressCallback,
                      LONG_PTR) noexcept {
  fileInfo entry;
  uint8_t palette[kPaletteBytes];
  int result = LookUpEntryForExtract(path, ParseNamedEntryArchive, position, &entry, palette);
  return result != kResultSuccess ? result : kResultBadFormat;
}

}  // namespace korvo
