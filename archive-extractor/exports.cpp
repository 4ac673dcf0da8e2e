// The archive extractor's exported functions: each one a noexcept boundary
// that forwards to the entry-point logic over the extractor's layout table.
#include "archive-extractor/entry_points.h"
#include "archive-extractor/information.h"
#include "host-contract/host_contract.h"

using namespace korvo;

extern "C" {

KORVO_EXPORT int KORVO_API GetPluginInfo(int infono, LPSTR buf, int buflen) noexcept {
  return CopyInformationString(kArchiveExtractorStrings, infono, buf, buflen);
}

// `dw` is never looked at: the file is always opened by its name.
KORVO_EXPORT int KORVO_API IsSupported(LPCSTR filename, ULONG_PTR) noexcept {
  return ArchiveIsSupported(kArchiveLayouts, filename);
}

// `len` is never read: an archive always starts at byte 0 of its file.
KORVO_EXPORT int KORVO_API GetArchiveInfo(LPCSTR buf, LONG_PTR, unsigned flag,
                                          HLOCAL* lphInf) noexcept {
  return ArchiveGetArchiveInfo(kArchiveLayouts, buf, flag, lphInf);
}

KORVO_EXPORT int KORVO_API GetFileInfo(LPCSTR buf, LONG_PTR, LPCSTR filename, unsigned flag,
                                       fileInfo* lpInfo) noexcept {
  return ArchiveGetFileInfo(kArchiveLayouts, buf, filename, flag, lpInfo);
}

// With memory output `dest` is where the entry's handle goes.
KORVO_EXPORT int KORVO_API GetFile(LPCSTR src, LONG_PTR len, LPSTR dest, unsigned flag,
                                   ProgressCallback prgressCallback, LONG_PTR lData) noexcept {
  return ArchiveGetFile(kArchiveLayouts, src, len, reinterpret_cast<HGLOBAL*>(dest), flag,
                        prgressCallback, lData);
}

}  // extern "C"
