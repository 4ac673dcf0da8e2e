#include "archive-extractor/entry_points.h"

#include "host-contract/hand_over.h"

namespace korvo {

int ArchiveIsSupported(const LayoutTable& layouts, LPCSTR filename) {
  return RecognizeLayout(layouts, filename) != nullptr ? 1 : 0;
}

int ArchiveGetArchiveInfo(const LayoutTable& layouts, LPCSTR buf, unsigned flag,
                          HGLOBAL* lphInf) {
  if (flag & kFlagMemoryInput) return kResultNotHandled;
  // Nowhere to put the listing: it would only leak.
  if (lphInf == nullptr) return kResultNotHandled;
  const ArchiveLayout* layout = RecognizeLayout(layouts, buf);
  if (layout == nullptr) return kResultNotHandled;
  HGLOBAL block = nullptr;
  int result = ListDirectory(buf, layout->parse, &block);
  HandOverBlock(block, result, lphInf);
  return result;
}

int ArchiveGetFileInfo(const LayoutTable& layouts, LPCSTR buf, LPCSTR filename, unsigned flag,
                       fileInfo* lpInfo) {
  if (flag & kFlagMemoryInput) return kResultNotHandled;
  if (filename == nullptr || lpInfo == nullptr) return kResultNotHandled;
  const ArchiveLayout* layout = RecognizeLayout(layouts, buf);
  if (layout == nullptr) return kResultNotHandled;
  return FindEntryByName(buf, layout->parse, filename, flag, lpInfo);
}

int ArchiveGetFile(const LayoutTable& layouts, LPCSTR src, LONG_PTR len, HGLOBAL* dest,
                   unsigned flag, ProgressCallback prgressCallback, LONG_PTR lData) {
  if (flag & kFlagMemoryInput) return kResultBadFormat;
  if (!(flag & kFlagMemoryOutput)) return kResultBadFormat;
  if (dest == nullptr) return kResultBadFormat;
  const ArchiveLayout* layout = RecognizeLayout(layouts, src);
  if (layout == nullptr) return kResultBadFormat;
  HGLOBAL block = nullptr;
  int result = layout->extract(src, static_cast<ULONG_PTR>(len), &block, prgressCallback, lData);
  // An extract operation stores its block only on 0; should one ever leave
  // a block behind a failure, it is freed here, not handed out.
  HandOverBlock(block, result, dest);
  return result;
}

}  // namespace korvo
