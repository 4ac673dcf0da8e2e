// The import filter's information strings.
#include "import-filter/information.h"

namespace korvo {

const char* const kImportFilterStrings[kInformationStringCount] = {
    "00IN",
    // One string: the description, a space and the notice.
    ("Brimmel QKZ Graphics Import Filter " KORVO_MAKER_NOTICE),
    "*.qkz",
    "Brimmel QKZ Graphics",
};

}  // namespace korvo
