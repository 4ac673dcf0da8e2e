#include "archive-extractor/entry_points.h"

#include "archive-extractor/folder_output.h"
#include "host-contract/block_owner.h"
#include "host-contract/scope_guard.h"

namespace korvo {

int ArchiveIsSupported(const LayoutTable& layouts, const HostPath& filename) {
  return RecognizeLayout(layouts, filename) != nullptr ? 1 : 0;
}

int ArchiveGetArchiveInfo(const LayoutTable& layouts, const HostPath& buf, unsigned flag,
                          HGLOBAL* lphInf, bool wide) {
  if (flag & kFlagMemoryInput) return kResultNotHandled;
  // Nowhere to put the listing: it would only leak.
  if (lphInf == nullptr) return kResultNotHandled;
  const ArchiveLayout* layout = RecognizeLayout(layouts, buf);
  if (layout == nullptr) return kResultNotHandled;
  return wide ? ListDirectoryW(buf, layout->parse, lphInf)
              : ListDirectory(buf, layout->parse, lphInf);
}

namespace {

// GetFileInfo and GetFileInfoW: the same checks in the same order, then the
// lookup over 8-bit or UTF-16 names.
template <typename Unit, typename Record>
int GetEntryInfo(const LayoutTable& layouts, const HostPath& buf, const Unit* filename,
                 unsigned flag, Record* lpInfo,
                 int (*find)(const HostPath&, ArchiveParser, const Unit*, unsigned, Record*)) {
  if (flag & kFlagMemoryInput) return kResultNotHandled;
  if (filename == nullptr || lpInfo == nullptr) return kResultNotHandled;
  const ArchiveLayout* layout = RecognizeLayout(layouts, buf);
  if (layout == nullptr) return kResultNotHandled;
  return find(buf, layout->parse, filename, flag, lpInfo);
}

}  // namespace

int ArchiveGetFileInfo(const LayoutTable& layouts, const HostPath& buf, LPCSTR filename,
                       unsigned flag, fileInfo* lpInfo) {
  return GetEntryInfo(layouts, buf, filename, flag, lpInfo, FindEntryByName);
}

int ArchiveGetFileInfoW(const LayoutTable& layouts, const HostPath& buf, LPCWSTR filename,
                        unsigned flag, fileInfoW* lpInfo) {
  return GetEntryInfo(layouts, buf, filename, flag, lpInfo, FindEntryByNameW);
}

int ArchiveGetFile(const LayoutTable& layouts, const HostPath& src, LONG_PTR len,
                   const HostPath& dest, unsigned flag, ProgressCallback prgressCallback,
                   LONG_PTR lData) {
  if (flag & kFlagMemoryInput) return kResultBadFormat;
  if (IsNullPath(dest)) return kResultBadFormat;
  const ArchiveLayout* layout = RecognizeLayout(layouts, src);
  if (layout == nullptr) return kResultBadFormat;
  const auto position = static_cast<ULONG_PTR>(len);
  if (flag & kFlagMemoryOutput) {
    auto* slot = static_cast<HGLOBAL*>(const_cast<void*>(MemoryAddress(dest)));
    return layout->extract(src, position, slot, prgressCallback, lData, nullptr);
  }
  // Output to a folder: the entry's block is written out and never handed
  // over. The extract has released the directory lock, so no other call
  // waits on the write.
  BlockOwner extracted;
  fileInfo entry;
  int result = layout->extract(src, position, &extracted.block, prgressCallback, lData, &entry);
  if (result != kResultSuccess) return result;
  const auto* bytes = static_cast<const uint8_t*>(platform::GlobalLock(extracted.block));
  if (bytes == nullptr) return kResultMemoryError;
  return WriteEntryIntoFolder(dest, entry.filename, bytes, static_cast<uint32_t>(entry.filesize));
}

}  // namespace korvo
