// The archive extractor's exported functions: each one a noexcept boundary
// that runs the entry-point logic over the extractor's layout table and
// turns its outcome into the host's code, the one place that does. A call
// that refuses the file or its parameters answers -1, GetFile 2.
// GetPluginInfo and GetPluginInfoW are the ones every plug-in shares.
#include "archive-extractor/entry_points.h"
#include "host-contract/host_contract.h"

using namespace korvo;

extern "C" {

// `dw` is never looked at: the file is always opened by its name.
KORVO_EXPORT int KORVO_API IsSupported(LPCSTR filename, ULONG_PTR) noexcept {
  return ArchiveIsSupported(kArchiveLayouts, filename) == Failure::kNone ? 1 : 0;
}

KORVO_EXPORT int KORVO_API IsSupportedW(LPCWSTR filename, ULONG_PTR) noexcept {
  return ArchiveIsSupported(kArchiveLayouts, filename) == Failure::kNone ? 1 : 0;
}

// `len` is never read: an archive always starts at byte 0 of its file.
KORVO_EXPORT int KORVO_API GetArchiveInfo(LPCSTR buf, LONG_PTR, unsigned flag,
                                          HLOCAL* lphInf) noexcept {
  return ResultCodeOf(ArchiveGetArchiveInfo(kArchiveLayouts, buf, flag, lphInf), kResultNotHandled);
}

KORVO_EXPORT int KORVO_API GetArchiveInfoW(LPCWSTR buf, LONG_PTR, unsigned flag,
                                           HLOCAL* lphInf) noexcept {
  return ResultCodeOf(ArchiveGetArchiveInfo(kArchiveLayouts, buf, flag, lphInf), kResultNotHandled);
}

KORVO_EXPORT int KORVO_API GetFileInfo(LPCSTR buf, LONG_PTR, LPCSTR filename, unsigned flag,
                                       fileInfo* lpInfo) noexcept {
  return ResultCodeOf(ArchiveGetFileInfo(kArchiveLayouts, buf, filename, flag, lpInfo),
                      kResultNotHandled);
}

KORVO_EXPORT int KORVO_API GetFileInfoW(LPCWSTR buf, LONG_PTR, LPCWSTR filename, unsigned flag,
                                        fileInfoW* lpInfo) noexcept {
  return ResultCodeOf(ArchiveGetFileInfo(kArchiveLayouts, buf, filename, flag, lpInfo),
                      kResultNotHandled);
}

// With memory output `dest` is where the entry's handle goes; otherwise it
// names the folder the entry is written into.
KORVO_EXPORT int KORVO_API GetFile(LPCSTR src, LONG_PTR len, LPSTR dest, unsigned flag,
                                   ProgressCallback prgressCallback, LONG_PTR lData) noexcept {
  return ResultCodeOf(
      ArchiveGetFile(kArchiveLayouts, src, len, dest, flag, prgressCallback, lData),
      kResultBadFormat);
}

KORVO_EXPORT int KORVO_API GetFileW(LPCWSTR src, LONG_PTR len, LPWSTR dest, unsigned flag,
                                    ProgressCallback prgressCallback, LONG_PTR lData) noexcept {
  return ResultCodeOf(
      ArchiveGetFile(kArchiveLayouts, src, len, dest, flag, prgressCallback, lData),
      kResultBadFormat);
}

}  // extern "C"
