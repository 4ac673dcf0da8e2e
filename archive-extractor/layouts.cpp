#include "archive-extractor/layouts.h"

#include "archive-extractor/named_entry_archive.h"
#include "archive-extractor/offset_table_archive.h"
#include "host-contract/scope_guard.h"

namespace korvo {

const LayoutTable kArchiveLayouts = {
    {ParseOffsetTableArchive, LocateOffsetTableEntry},
    {ParseNamedEntryArchive, LocateNamedEntry},
};

Failure RecognizeLayout(const LayoutTable& layouts, const HostPath& path,
                        const ArchiveLayout** layout) {
  if (IsNullPath(path)) return Failure::kCannotOpen;
  ScopedDirectoryLock lock;
  // One open and one set of windows serve every layout's probe: the next
  // layout starts from the bytes the previous one read.
  ParseContext* context = LockedParseContext();
  HoldParseReader(context);
  ScopeExit release([context] { ReleaseParseReader(context); });
  Failure failure = Failure::kNone;
  for (const ArchiveLayout& candidate : layouts) {
    failure = RunParser(candidate.parse, path);
    if (failure == Failure::kNone) {
      *layout = &candidate;
      break;
    }
  }
  return failure;
}

}  // namespace korvo
