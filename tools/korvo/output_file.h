// Output files that appear whole or not at all.
#pragma once

#include <string>

#include "tools/korvo/pictures.h"

namespace korvo {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path` once it is complete, so a failure, or an interrupt, never leaves a
// partial file under the final name. Fails with the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error);

// Creates a new folder named `prefix` and a random suffix; false when none
// can be made.
bool CreateNewFolder(const std::string& prefix, std::string* path);

// Removes the temporary file of an interrupted write on SIGINT and SIGTERM.
void CleanUpOnInterrupt();

}  // namespace korvo
