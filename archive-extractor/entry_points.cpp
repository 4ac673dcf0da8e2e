#include "archive-extractor/entry_points.h"

#include "archive-extractor/folder_output.h"
#include "host-contract/hand_over.h"

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
  HGLOBAL block = nullptr;
  int result = wide ? ListDirectoryW(buf, layout->parse, &block)
                    : ListDirectory(buf, layout->parse, &block);
  HandOverBlock(block, result, lphInf);
  return result;
}

int ArchiveGetFileInfo(const LayoutTable& layouts, const HostPath& buf, LPCSTR filename,
                       unsigned flag, fileInfo* lpInfo) {
  if (flag & kFlagMemoryInput) return kResultNotHandled;
  if (filename == nullptr || lpInfo == nullptr) return kResultNotHandled;
  const ArchiveLayout* layout = RecognizeLayout(layouts, buf);
  if (layout == nullptr) return kResultNotHandled;
  return FindEntryByName(buf, layout->parse, filename, flag, lpInfo);
}

int ArchiveGetFileInfoW(const LayoutTable& layouts, const HostPath& buf, LPCWSTR filename,
                        unsigned flag, fileInfoW* lpInfo) {
  if (flag & kFlagMemoryInput) return kResultNotHandled;
  if (filename == nullptr || lpInfo == nullptr) return kResultNotHandled;
  const ArchiveLayout* layout = RecognizeLayout(layouts, buf);
  if (layout == nullptr) return kResultNotHandled;
  return FindEntryByNameW(buf, layout->parse, filename, flag, lpInfo);
}

int ArchiveGetFile(const LayoutTable& layouts, const HostPath& src, LONG_PTR len,
                   const HostPath& dest, unsigned flag, ProgressCallback prgressCallback,
                   LONG_PTR lData) {
  if (flag & kFlagMemoryInput) return kResultBadFormat;
  if (IsNullPath(dest)) return kResultBadFormat;
  const ArchiveLayout* layout = RecognizeLayout(layouts, src);
  if (layout == nullptr) return kResultBadFormat;
  HGLOBAL block = nullptr;
  fileInfo entry;
  int result = layout->extract(src, static_cast<ULONG_PTR>(len), &block, prgressCallback, lData,
                               &entry);
  if (flag & kFlagMemoryOutput) {
    // An extract operation stores its block only on 0; should one ever leave
    // a block behind a failure, it is freed here, not handed out.
    HandOverBlock(block, result, static_cast<HGLOBAL*>(const_cast<void*>(MemoryAddress(dest))));
    return result;
  }
  // Output to a folder: the block is written out and never handed over. The
  // extract has released the directory lock, so no other call waits on the
  // write.
  ScopeExit release([&] {
    if (block == nullptr) return;
    UnlockFully(block);
    platform::GlobalFree(block);
  });
  if (result != kResultSuccess) return result;
  const auto* bytes = static_cast<const uint8_t*>(platform::GlobalLock(block));
  if (bytes == nullptr) return kResultMemoryError;
  return WriteEntryIntoFolder(dest, entry.filename, bytes, static_cast<uint32_t>(entry.filesize));
}

}  // namespace korvo
