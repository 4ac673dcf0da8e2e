// The archive extractor's information strings.
#include "host-contract/plugin_info.h"

namespace korvo {

const char* const kPluginInformationStrings[kInformationStringCount] = {
    "00AM",
    // One string: the description, a space and the notice.
    ("Brimmel Archive Extractor " KORVO_MAKER_NOTICE),
    "cg",
    "Brimmel Archives",
};

}  // namespace korvo
