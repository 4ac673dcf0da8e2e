#include "archive-extractor/layouts.h"

#include "archive-extractor/named_entry_archive.h"
#include "archive-extractor/offset_table_archive.h"
#include "host-contract/scope_guard.h"

namespace korvo {

const LayoutTable kArchiveLayouts = {
    {ParseOffsetTableArchive, ExtractOffsetTableEntry},
    {ParseNamedEntryArchive, ExtractNamedEntry},
};

bool ProbeLayout(const ArchiveLayout& layout, const HostPath& path) {
  ScopedDirectoryLock lock;
  // Always a fresh parse: the file may have changed since it was cached.
  return RunParser(layout.parse, path) == Failure::kNone;
}

const ArchiveLayout* RecognizeLayout(const LayoutTable& layouts, const HostPath& path) {
  if (IsNullPath(path)) return nullptr;
  ScopedDirectoryLock lock;
  // One open and one set of windows serve every layout's probe: the next
  // layout starts from the bytes the previous one read.
  ParseContext* context = LockedParseContext();
  HoldParseReader(context);
  ScopeExit release([context] { ReleaseParseReader(context); });
  for (const ArchiveLayout& layout : layouts)
    if (RunParser(layout.parse, path) == Failure::kNone) return &layout;
  return nullptr;
}

}  // namespace korvo
