// Output files that appear whole or not at all.
#pragma once

#include <string>

#include "tools/korvo/pictures.h"

namespace korvo {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path` once it is complete, so a failure, or an interrupt, never leaves a
// partial file under the final name. Fails with the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error);

// Removes the temporary file of an interrupted write on SIGINT and SIGTERM.
void CleanUpOnInterrupt();

}  // namespace korvo
