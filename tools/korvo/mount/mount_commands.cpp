// The mount and open commands in korvo's command table, where libfuse3 is
// there to serve them.
#include "tools/korvo/mount/mount_commands.h"

#include "tools/korvo/commands/commands.h"

namespace korvo {

const std::vector<Command>& MountCommands() {
  static const std::vector<Command> commands = {
    {"mount", "mount ARCHIVE MOUNTPOINT [--names ENC] [--format qkz|bmp] [--foreground]",
     "Mounts the archive read-only on MOUNTPOINT, a folder: each entry is a file\n"
     "named as extract names it, holding the bytes it writes, dated as the\n"
     "archive. Unmount with 'fusermount3 -u MOUNTPOINT' (or Ctrl-C in the\n"
     "foreground). The archive is read once when mounted; each read is then\n"
     "served from where the entry's bytes lie in it.\n"
     "  --names ENC      how the archive stores entry names: cp932 (the default),\n"
     "                   utf-8 or any encoding the system converts\n"
     "  --format FORMAT  qkz: each entry as its QKZ picture (the default); bmp:\n"
     "                   as NAME.bmp, the 8-bit BMP extract --format bmp writes\n"
     "  --foreground     stay in the foreground instead of running in the background\n",
     {{"--names", nullptr, true}, {"--format", nullptr, true}, {"--foreground", nullptr, false}},
     2, 2, RunMount},
    {"open", "open ARCHIVE [--names ENC]",
     "Opens the archive as a folder in the file manager, as a double-click on\n"
     "it does: mounts it read-only (as mount does) in a folder of\n"
     "$XDG_RUNTIME_DIR/korvo/ named as the archive, or takes the mount of it\n"
     "already there, and runs xdg-open on that folder.\n"
     "  --names ENC  how the archive stores entry names: cp932 (the default),\n"
     "               utf-8 or any encoding the system converts\n",
     {{"--names", nullptr, true}}, 1, 1, RunOpen},
  };
  return commands;
}

}  // namespace korvo
