// The archive layouts the extractor knows, in the fixed order in which every
// entry point tries them, and the probe that recognises a layout.
#pragma once

#include "archive-extractor/directory_cache.h"
#include "archive-extractor/entry_output.h"
#include "host-contract/host_contract.h"

namespace korvo {

struct ArchiveLayout {
  ArchiveParser parse;
  LocateOperation locate;
};

constexpr int kLayoutCount = 2;
typedef ArchiveLayout LayoutTable[kLayoutCount];

// Offset-table archive first, then named-entry archive: a file both accept is
// an offset-table archive.
extern const LayoutTable kArchiveLayouts;

// The first layout of `layouts` whose probe recognises the file goes to
// *layout: kNone; otherwise the last probe's reason (kCannotOpen for no path).
// With `kept`, the probe's file stays open for an extract (see
// RecognizeArchive).
Failure RecognizeLayout(const LayoutTable& layouts, const HostPath& path,
                        const ArchiveLayout** layout, HANDLE* kept = nullptr)
    EXCLUDES(directoryLock);

}  // namespace korvo
