// Libraries by file name, as each system loads them, and where the running
// program lies: what the plug-in loader needs of the system.
#pragma once

#include <string>

namespace korvo {

// Loads the library at `path` (UTF-8), its symbols kept to itself; nullptr
// when it will not load.
void* OpenLibrary(const std::string& path);
// The address of an exported symbol, nullptr when the library lacks it.
void* FindLibraryExport(void* library, const char* name);
void CloseLibrary(void* library);

// The extension of plug-ins on this target, as viewers look for them: .SPI
// on 32-bit x86 Windows, .SPH on 64-bit x86, .spha on ARM64, .so elsewhere.
std::string PluginExtension();

// Folder of the running program, with a trailing separator.
std::string ExecutableDirectory();

// The system's separator of folders in a path.
char PathSeparator();

}  // namespace korvo
