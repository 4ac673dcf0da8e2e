// korvo built without libfuse3: no mount or open command in its table.
#include "tools/korvo/mount/mount_commands.h"

namespace korvo {

const std::vector<Command>& MountCommands() {
  static const std::vector<Command> none;
  return none;
}

}  // namespace korvo
