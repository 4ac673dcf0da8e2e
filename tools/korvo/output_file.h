// Output files that appear whole or not at all.
#pragma once

#include <string>

#include "tools/korvo/pictures.h"

namespace korvo {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path` once it is complete, so a failure, or an interrupt, never leaves a
// partial file under the final name. Fails with the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error);

// Writes `bytes` into the file at `path` itself, as a thumbnailer must: the
// desktop may have created it and read it back through the handle it
// holds. The file is cut to nothing first, written whole, and flushed to
// the disk; should anything fail or an interrupt come, it is cut to nothing
// again (or removed, when korvo created it), never left partial.
bool WriteFileInPlace(const std::string& path, const Bytes& bytes, std::string* error);

// Creates a new folder named `prefix` and a random suffix; false when none
// can be made.
bool CreateNewFolder(const std::string& prefix, std::string* path);

// Creates a new folder in the system's temporary folder that only the
// user may enter; false when none can be made.
bool CreatePrivateFolder(std::string* path);

// Removes the temporary file of an interrupted write on SIGINT and SIGTERM.
void CleanUpOnInterrupt();

}  // namespace korvo
