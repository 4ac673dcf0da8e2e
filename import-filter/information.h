#pragma once

#include "host-contract/plugin_info.h"

namespace korvo {

extern const char* const kImportFilterStrings[kInformationStringCount];

}  // namespace korvo
