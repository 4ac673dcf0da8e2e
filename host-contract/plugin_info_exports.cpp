// GetPluginInfo and GetPluginInfoW, the same in every plug-in: each one
// answers from its own information strings, kPluginInformationStrings.
#include "host-contract/host_contract.h"
#include "host-contract/plugin_info.h"

using namespace korvo;

extern "C" {

KORVO_EXPORT int KORVO_API GetPluginInfo(int infono, LPSTR buf, int buflen) noexcept {
  return CopyInformationString(kPluginInformationStrings, infono, buf, buflen);
}

KORVO_EXPORT int KORVO_API GetPluginInfoW(int infono, LPWSTR buf, int buflen) noexcept {
  return CopyInformationStringW(kPluginInformationStrings, infono, buf, buflen);
}

}  // extern "C"
