// The import filter's information strings.
#include "host-contract/plugin_info.h"

namespace korvo {

const char* const kPluginInformationStrings[kInformationStringCount] = {
    "00IN",
    // One string: the description, a space and the notice.
    ("Brimmel QKZ Graphics Import Filter " KORVO_MAKER_NOTICE),
    "*.qkz",
    "Brimmel QKZ Graphics",
};

}  // namespace korvo
