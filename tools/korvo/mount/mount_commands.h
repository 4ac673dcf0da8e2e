// korvo's commands that serve an archive as a folder (mount, open): the
// table's entries for them, none where korvo is built without libfuse3.
#pragma once

#include <vector>

#include "tools/korvo/command_line.h"

namespace korvo {

const std::vector<Command>& MountCommands();

}  // namespace korvo
