#include "archive-extractor/entry_points.h"

#include "archive-extractor/folder_output.h"
#include "host-contract/scope_guard.h"

namespace korvo {

template <typename Unit>
Failure ArchiveIsSupported(const LayoutTable& layouts, const Unit* filename) {
  const ArchiveLayout* layout = nullptr;
  return RecognizeLayout(layouts, filename, &layout);
}

template <typename Unit>
Outcome ArchiveGetArchiveInfo(const LayoutTable& layouts, const Unit* buf, unsigned flag,
                              HGLOBAL* lphInf) {
  if (flag & kFlagMemoryInput) return Refusal(Failure::kArchiveInMemory);
  // Nowhere to put the listing: it would only leak.
  if (lphInf == nullptr) return Refusal(Failure::kNullOutput);
  const ArchiveLayout* layout = nullptr;
  Failure failure = RecognizeLayout(layouts, buf, &layout);
  if (failure != Failure::kNone) return Refusal(failure);
  return {ListDirectory<typename RecordFor<Unit>::type>(buf, layout->parse, lphInf)};
}

template <typename Unit>
Outcome ArchiveGetFileInfo(const LayoutTable& layouts, const Unit* buf,
                           const typename Same<Unit>::type* filename, unsigned flag,
                           typename RecordFor<Unit>::type* lpInfo) {
  if (flag & kFlagMemoryInput) return Refusal(Failure::kArchiveInMemory);
  if (filename == nullptr) return Refusal(Failure::kNoEntryNamed);
  if (lpInfo == nullptr) return Refusal(Failure::kNullOutput);
  const ArchiveLayout* layout = nullptr;
  Failure failure = RecognizeLayout(layouts, buf, &layout);
  if (failure != Failure::kNone) return Refusal(failure);
  return {FindEntryByName(buf, layout->parse, filename, flag, lpInfo)};
}

template <typename Unit>
Outcome ArchiveGetFile(const LayoutTable& layouts, const Unit* src, LONG_PTR len,
                       typename Same<Unit>::type* dest, unsigned flag, ProgressCallback,
                       LONG_PTR) {
  if (flag & kFlagMemoryInput) return Refusal(Failure::kArchiveInMemory);
  if (dest == nullptr) return Refusal(Failure::kNullOutput);
  // The probe's file stays open for the extract: one open per call, and the
  // entry read from the file the probe checked.
  ArchiveReader reader;
  ScopeExit close([&] { CloseArchiveReader(&reader); });
  const ArchiveLayout* layout = nullptr;
  Failure failure = RecognizeLayout(layouts, src, &layout, &reader.file);
  if (failure != Failure::kNone) return Refusal(failure);
  const auto position = static_cast<ULONG_PTR>(len);
  if (flag & kFlagMemoryOutput)
    return {ExtractEntry(layout->locate, src, position, reinterpret_cast<HGLOBAL*>(dest), nullptr,
                         &reader)};
  // Output to a folder, in pieces. The look-up has released the directory
  // lock, so no other call waits on the writes.
  EntrySource source;
  failure = layout->locate(src, position, &reader, &source);
  if (failure != Failure::kNone) return {failure};
  return {WriteEntryIntoFolder(static_cast<const Unit*>(dest), &reader, source)};
}

#define KORVO_ENTRY_POINTS_OF(Unit)                                                          \
  template Failure ArchiveIsSupported(const LayoutTable&, const Unit*);                     \
  template Outcome ArchiveGetArchiveInfo(const LayoutTable&, const Unit*, unsigned, HGLOBAL*); \
  template Outcome ArchiveGetFileInfo(const LayoutTable&, const Unit*, const Unit*, unsigned, \
                                      RecordFor<Unit>::type*);                              \
  template Outcome ArchiveGetFile(const LayoutTable&, const Unit*, LONG_PTR, Unit*, unsigned, \
                                  ProgressCallback, LONG_PTR);
KORVO_ENTRY_POINTS_OF(char)
KORVO_ENTRY_POINTS_OF(WCHAR)
#undef KORVO_ENTRY_POINTS_OF

}  // namespace korvo
