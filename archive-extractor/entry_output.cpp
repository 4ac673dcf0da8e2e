#include "archive-extractor/entry_output.h"

#include "host-contract/block_owner.h"
#include "host-contract/scope_guard.h"

namespace korvo {

Failure ExtractEntry(LocateOperation locate, const HostPath& path, ULONG_PTR position,
                     HGLOBAL* slot, fileInfo* entry, ArchiveReader* given) {
  EntrySource source;
  ArchiveReader own;
  ScopeExit close([&] { CloseArchiveReader(&own); });
  ArchiveReader& reader = given != nullptr ? *given : own;
  Failure failure = locate(path, position, &reader, &source);
  if (failure != Failure::kNone) return failure;
  const uint32_t size = source.headBytes + source.copyBytes;
  BlockOwner block;
  auto* bytes = static_cast<uint8_t*>(AllocateAndLock(&block, GMEM_MOVEABLE, size));
  if (bytes == nullptr) return Failure::kNoMemory;
  // One piece: the rows are read straight into the block.
  failure = CopyEntryInPieces(&reader, source, bytes, size,
                              [](const uint8_t*, uint32_t) { return Failure::kNone; });
  if (failure != Failure::kNone) return failure;
  if (entry != nullptr) *entry = source.entry;
  HandOver(&block, slot);
  return Failure::kNone;
}

}  // namespace korvo
