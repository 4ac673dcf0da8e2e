// The archive layouts the extractor knows, in the fixed order in which every
// entry point tries them, and the probe that recognises a layout.
#pragma once

#include "archive-extractor/directory_cache.h"
#include "host-contract/host_contract.h"

namespace korvo {

// A layout's extract operation: hands the entry at `position` to *slot (fully
// unlocked, on kNone only), copies the entry's directory record to *entry on
// kNone unless it is null (the name a folder output writes under), and says
// why it failed otherwise.
typedef Failure (*ExtractOperation)(const HostPath& path, ULONG_PTR position, HGLOBAL* slot,
                                ProgressCallback prgressCallback, LONG_PTR lData,
                                fileInfo* entry) noexcept;

struct ArchiveLayout {
  ArchiveParser parse;
  ExtractOperation extract;
};

constexpr int kLayoutCount = 2;
typedef ArchiveLayout LayoutTable[kLayoutCount];

// Offset-table archive first, then named-entry archive: a file both accept is
// an offset-table archive.
extern const LayoutTable kArchiveLayouts;

// The first layout of `layouts` whose parser accepts the file, run under the
// directory lock, or nullptr. The file's directory is then cached.
const ArchiveLayout* RecognizeLayout(const LayoutTable& layouts, const HostPath& path)
    EXCLUDES(directoryLock);

}  // namespace korvo
