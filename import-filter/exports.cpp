// The import filter's exported functions: each one a noexcept boundary that
// turns every failure into a result code.
#include "host-contract/host_contract.h"
#include "import-filter/information.h"

using namespace korvo;

extern "C" {

KORVO_EXPORT int KORVO_API GetPluginInfo(int infono, LPSTR buf, int buflen) noexcept {
  return CopyInformationString(kImportFilterStrings, infono, buf, buflen);
}

KORVO_EXPORT int KORVO_API IsSupported(LPCSTR, ULONG_PTR) noexcept { return 0; }

KORVO_EXPORT int KORVO_API GetPictureInfo(LPCSTR, LONG_PTR, unsigned, PictureInfo*) noexcept {
  return kResultBadFormat;
}

KORVO_EXPORT int KORVO_API GetPicture(LPCSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*,
                                      ProgressCallback, LONG_PTR) noexcept {
  return kResultBadFormat;
}

}  // extern "C"
