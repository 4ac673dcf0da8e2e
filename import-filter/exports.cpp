// The import filter's exported functions: each one a noexcept boundary that
// turns the reason of every failure into a result code. The work is in the
// filter's library.
// The W twins differ only in taking UTF-16 file names and strings; previews
// are the full picture, which costs no more to decode than a thumbnail would.
// GetPluginInfo and GetPluginInfoW are the ones every plug-in shares.
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "import-filter/decode_picture.h"
#include "import-filter/picture_info.h"
#include "import-filter/support_check.h"

using namespace korvo;

extern "C" {

KORVO_EXPORT int KORVO_API IsSupported(LPCSTR filename, ULONG_PTR dw) noexcept {
  return CheckSupport(filename, dw) ? 1 : 0;
}

KORVO_EXPORT int KORVO_API IsSupportedW(LPCWSTR filename, ULONG_PTR dw) noexcept {
  return CheckSupport(filename, dw) ? 1 : 0;
}

KORVO_EXPORT int KORVO_API GetPictureInfo(LPCSTR buf, LONG_PTR len, unsigned flag,
                                          PictureInfo* lpInfo) noexcept {
  return ResultCodeOf(DescribePicture(buf, len, flag, lpInfo));
}

KORVO_EXPORT int KORVO_API GetPictureInfoW(LPCWSTR buf, LONG_PTR len, unsigned flag,
                                           PictureInfo* lpInfo) noexcept {
  return ResultCodeOf(DescribePicture(buf, len, flag, lpInfo));
}

// The progress callback and its data are never used: decoding is one pass of
// block copies that is never cancelled.
KORVO_EXPORT int KORVO_API GetPicture(LPCSTR buf, LONG_PTR len, unsigned flag, HLOCAL* pHBInfo,
                                      HLOCAL* pHBm, ProgressCallback, LONG_PTR) noexcept {
  return DecodeResultCode(DecodePicture(buf, len, flag, pHBInfo, pHBm), flag);
}

KORVO_EXPORT int KORVO_API GetPictureW(LPCWSTR buf, LONG_PTR len, unsigned flag,
                                       HLOCAL* pHBInfo, HLOCAL* pHBm, ProgressCallback,
                                       LONG_PTR) noexcept {
  return DecodeResultCode(DecodePicture(buf, len, flag, pHBInfo, pHBm), flag);
}

// A preview is the whole picture: GetPreview and GetPreviewW are GetPicture
// and GetPictureW under a second name (on Windows, named so in IFKORVO.def).
#ifndef _WIN32
KORVO_EXPORT int KORVO_API GetPreview(LPCSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*,
                                      ProgressCallback, LONG_PTR) noexcept
    __attribute__((alias("GetPicture")));
KORVO_EXPORT int KORVO_API GetPreviewW(LPCWSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*,
                                       ProgressCallback, LONG_PTR) noexcept
    __attribute__((alias("GetPictureW")));
#endif

}  // extern "C"
