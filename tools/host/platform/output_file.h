// Output files that appear whole or not at all.
#pragma once

#include <cstdio>
#include <string>

#include "tools/host/bitmaps.h"

namespace korvo {

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path` once it is complete, so a failure, or an interrupt, never leaves a
// partial file under the final name. Fails with the reason.
bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error);

// An output written as it goes under a temporary name beside `path`, named
// to the interrupt handler for removal until it is committed or abandoned.
struct PendingOutput {
  std::string path;
  std::string temporary;
  FILE* file = nullptr;
};

// Creates the temporary file (see CreateTemporaryBeside). Fails with the reason.
bool StartPendingOutput(const std::string& path, PendingOutput* output, std::string* error);
// Forces the file to the disk, renames it over its final name and forces
// the folder's new entry to the disk too; on failure removes it and gives
// the reason.
bool CommitPendingOutput(PendingOutput* output, std::string* error);
// Closes and removes the temporary file.
void AbandonPendingOutput(PendingOutput* output);

// The random part of a temporary name: "." and 16 hex digits from the
// system's random source.
std::string RandomSuffix();

// Creates a new file beside `path` named ".NAME" + drawSuffix() + ".part",
// never through a link nor over anything already there: a name that exists
// is passed over for the next one drawn (up to 100). nullptr with errno
// when none can be made.
FILE* CreateTemporaryBeside(const std::string& path, std::string* temporary,
                            std::string (*drawSuffix)() = RandomSuffix);

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
