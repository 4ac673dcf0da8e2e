// Files and plug-ins for tests: a scratch folder per test program and the
// plug-ins of this build, loaded as a host loads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/plugin-loader/plugin_loader.h"

using Bytes = std::vector<uint8_t>;

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
uint32_t Le32(const Bytes& bytes, size_t offset);
