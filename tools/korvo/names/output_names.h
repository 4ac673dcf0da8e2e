// The names of the files korvo writes for archive entries: safe in the
// output folder, unique under letter case as file systems fold it, and the
// same on every system.
#pragma once

#include <set>
#include <string>

#include "tools/host/platform/file_system_names.h"

namespace korvo {

// "a/b.QKZ" -> "a/b" and ".QKZ": the extension is the last dot and what
// follows it in the name's last part; "" when that part has no dot.
void SplitExtension(const std::string& name, std::string* stem, std::string* extension);

// The names given out so far, as each file system would compare them.
struct UsedNames {
  std::set<std::u32string> folded;  // Unicode simple case folding
  FileSystemNames system;             // as this system's file system does
};

// The file name of an entry of UTF-8 name `name` (`extension` replacing its
// own unless empty): separators, drive colons, ':*?"<>|', controls and
// trailing dots and spaces become '_', a device name gains a leading '_',
// and a name already in `used` gets "~2", "~3"... before its extension.
std::string OutputName(const std::string& name, const std::string& extension, UsedNames* used);

}  // namespace korvo
