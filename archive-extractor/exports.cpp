// The archive extractor's exported functions: each one a noexcept boundary
// that turns every failure into a result code.
#include "archive-extractor/information.h"
#include "host-contract/host_contract.h"

using namespace korvo;

extern "C" {

KORVO_EXPORT int KORVO_API GetPluginInfo(int infono, LPSTR buf, int buflen) noexcept {
  return CopyInformationString(kArchiveExtractorStrings, infono, buf, buflen);
}

KORVO_EXPORT int KORVO_API IsSupported(LPCSTR, ULONG_PTR) noexcept { return 0; }

KORVO_EXPORT int KORVO_API GetArchiveInfo(LPCSTR, LONG_PTR, unsigned, HLOCAL*) noexcept {
  return kResultNotHandled;
}

KORVO_EXPORT int KORVO_API GetFileInfo(LPCSTR, LONG_PTR, LPCSTR, unsigned, fileInfo*) noexcept {
  return kResultNotHandled;
}

KORVO_EXPORT int KORVO_API GetFile(LPCSTR, LONG_PTR, LPSTR, unsigned, ProgressCallback,
                                   LONG_PTR) noexcept {
  return kResultBadFormat;
}

}  // extern "C"
