// The import filter's exported functions: each one a noexcept boundary that
// turns the reason of every failure into a result code. The work is in the
// filter's library.
// The W twins differ only in taking UTF-16 file names and strings; previews
// are the full picture, which costs no more to decode than a thumbnail would.
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "import-filter/decode_picture.h"
#include "import-filter/information.h"
#include "import-filter/picture_info.h"
#include "import-filter/support_check.h"

using namespace korvo;

extern "C" {

KORVO_EXPORT int KORVO_API GetPluginInfo(int infono, LPSTR buf, int buflen) noexcept {
  return CopyInformationString(kImportFilterStrings, infono, buf, buflen);
}

KORVO_EXPORT int KORVO_API GetPluginInfoW(int infono, LPWSTR buf, int buflen) noexcept {
  return CopyInformationStringW(kImportFilterStrings, infono, buf, buflen);
}

KORVO_EXPORT int KORVO_API IsSupported(LPCSTR filename, ULONG_PTR dw) noexcept {
  return CheckSupport(filename, dw);
}

KORVO_EXPORT int KORVO_API IsSupportedW(LPCWSTR filename, ULONG_PTR dw) noexcept {
  return CheckSupport(filename, dw);
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

KORVO_EXPORT int KORVO_API GetPreview(LPCSTR buf, LONG_PTR len, unsigned flag, HLOCAL* pHBInfo,
                                      HLOCAL* pHBm, ProgressCallback, LONG_PTR) noexcept {
  return DecodeResultCode(DecodePicture(buf, len, flag, pHBInfo, pHBm), flag);
}

KORVO_EXPORT int KORVO_API GetPreviewW(LPCWSTR buf, LONG_PTR len, unsigned flag,
                                       HLOCAL* pHBInfo, HLOCAL* pHBm, ProgressCallback,
                                       LONG_PTR) noexcept {
  return DecodeResultCode(DecodePicture(buf, len, flag, pHBInfo, pHBm), flag);
}

}  // extern "C"
