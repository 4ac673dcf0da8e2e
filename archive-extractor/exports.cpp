// The archive extractor's exported functions: each one a noexcept boundary
// that forwards to the entry-point logic over the extractor's layout table.
// The W twins take UTF-16 file names, entry names and records; everything
// else, the order of the checks and the codes included, is shared.
// GetPluginInfo and GetPluginInfoW are the ones every plug-in shares.
#include "archive-extractor/entry_points.h"
#include "host-contract/host_contract.h"

using namespace korvo;

extern "C" {

// `dw` is never looked at: the file is always opened by its name.
KORVO_EXPORT int KORVO_API IsSupported(LPCSTR filename, ULONG_PTR) noexcept {
  return ArchiveIsSupported(kArchiveLayouts, filename);
}

KORVO_EXPORT int KORVO_API IsSupportedW(LPCWSTR filename, ULONG_PTR) noexcept {
  return ArchiveIsSupported(kArchiveLayouts, filename);
}

// `len` is never read: an archive always starts at byte 0 of its file.
KORVO_EXPORT int KORVO_API GetArchiveInfo(LPCSTR buf, LONG_PTR, unsigned flag,
                                          HLOCAL* lphInf) noexcept {
  return ArchiveGetArchiveInfo(kArchiveLayouts, buf, flag, lphInf);
}

KORVO_EXPORT int KORVO_API GetArchiveInfoW(LPCWSTR buf, LONG_PTR, unsigned flag,
                                           HLOCAL* lphInf) noexcept {
  return ArchiveGetArchiveInfo(kArchiveLayouts, buf, flag, lphInf, true);
}

KORVO_EXPORT int KORVO_API GetFileInfo(LPCSTR buf, LONG_PTR, LPCSTR filename, unsigned flag,
                                       fileInfo* lpInfo) noexcept {
  return ArchiveGetFileInfo(kArchiveLayouts, buf, filename, flag, lpInfo);
}

KORVO_EXPORT int KORVO_API GetFileInfoW(LPCWSTR buf, LONG_PTR, LPCWSTR filename, unsigned flag,
                                        fileInfoW* lpInfo) noexcept {
  return ArchiveGetFileInfoW(kArchiveLayouts, buf, filename, flag, lpInfo);
}

// With memory output `dest` is where the entry's handle goes; otherwise it
// names the folder the entry is written into.
KORVO_EXPORT int KORVO_API GetFile(LPCSTR src, LONG_PTR len, LPSTR dest, unsigned flag,
                                   ProgressCallback prgressCallback, LONG_PTR lData) noexcept {
  return ArchiveGetFile(kArchiveLayouts, src, len, static_cast<LPCSTR>(dest), flag,
                        prgressCallback, lData);
}

KORVO_EXPORT int KORVO_API GetFileW(LPCWSTR src, LONG_PTR len, LPWSTR dest, unsigned flag,
                                    ProgressCallback prgressCallback, LONG_PTR lData) noexcept {
  return ArchiveGetFile(kArchiveLayouts, src, len, static_cast<LPCWSTR>(dest), flag,
                        prgressCallback, lData);
}

}  // extern "C"
