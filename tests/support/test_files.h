// Files and plug-ins for tests: a scratch folder per test program and the
// plug-ins of this build, loaded as a host loads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "tools/host/plugin_loader.h"

using korvo::Bytes;

// A fresh scratch folder for this test program, with a trailing separator.
const std::string& ScratchDirectory();

// Makes the folder `path` (its parent must exist) and returns the path. The
// name is passed to the system as bytes of its code page.
std::string MakeFolder(const std::string& path);

// Writes bytes to ScratchDirectory() + name and returns the full path.
std::string WriteScratchFile(const std::string& name, const Bytes& bytes);

// The instrumented plug-in of this build named IFKORVO or AXKORVO, loaded once
// per program.
const korvo::LoadedPlugin& BuiltPlugin(const std::string& name);

// Little-endian numbers in fixtures and handed-out bytes. PutLe32 grows the
// bytes when they end before offset + 4.
void PutLe32(Bytes& bytes, size_t offset, uint32_t value);
void AppendLe32(Bytes& bytes, uint32_t value);

// UTF-16 text as the W exports take it.
using WideText = std::basic_string<WCHAR>;

// The UTF-16 form of UTF-8 text (test names only: assumed valid).
WideText Utf16(const std::string& utf8);

// Writes bytes to ScratchDirectory() + a UTF-8 name that may need UTF-16 on
// Windows, and returns the full path in UTF-16.
WideText WriteScratchFileW(const std::string& utf8Name, const Bytes& bytes);

// Sets a file's last-write time to `unixSeconds`.
void SetModificationTime(const std::string& path, int64_t unixSeconds);

// The bytes of a file named in UTF-8; empty when it cannot be read.
Bytes ReadBytes(const std::string& utf8Path);

uint32_t Le32(const Bytes& bytes, size_t offset);
