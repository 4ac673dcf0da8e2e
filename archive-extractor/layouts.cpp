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
  EnterDirectoryLock();
  ScopeExit leave([] { LeaveDirectoryLock(); });
  // Always a fresh parse: the file may have changed since it was cached.
  return layout.parse(path) == kResultSuccess;
}

const ArchiveLayout* RecognizeLayout(const LayoutTable& layouts, const HostPath& path) {
  if (IsNullPath(path)) return nullptr;
  for (const ArchiveLayout& layout : layouts)
    if (ProbeLayout(layout, path)) return &layout;
  return nullptr;
}

}  // namespace korvo
