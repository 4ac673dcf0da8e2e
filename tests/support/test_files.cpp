#include "tests/support/test_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "common/little_endian.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

const std::string& ScratchDirectory() {
  static const std::string directory = [] {
#ifdef _WIN32
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string path = std::string(base) + "korvo-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\";
#else
    char pattern[] = "/tmp/korvo-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) abort();
    std::string path = made;
    // Removed when the program ends, with whatever the tests left in it.
    static std::string removal;
    removal = path;
    atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(removal, ignored);
    });
    return path + "/";
#endif
  }();
  return directory;
}

std::string MakeFolder(const std::string& path) {
#ifdef _WIN32
  CreateDirectoryA(path.c_str(), nullptr);
#else
  mkdir(path.c_str(), 0700);
#endif
  return path;
}

std::string WriteScratchFile(const std::string& name, const Bytes& bytes) {
  std::string path = ScratchDirectory() + name;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) {
    ADD_FAILURE() << "cannot write " << path;
    return path;
  }
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  return path;
}

const korvo::LoadedPlugin& BuiltPlugin(const std::string& name) {
  static std::map<std::string, korvo::LoadedPlugin> loaded;
  auto found = loaded.find(name);
  if (found != loaded.end()) return found->second;
  korvo::LoadedPlugin plugin;
  std::string path = korvo::BuildTestPluginDirectory() + korvo::PluginFileName(name);
  if (!korvo::LoadPlugin(path, &plugin)) {
    ADD_FAILURE() << "cannot load " << path;
  }
  return loaded[name] = plugin;
}

void PutLe32(Bytes& bytes, size_t offset, uint32_t value) {
  if (bytes.size() < offset + 4) bytes.resize(offset + 4);
  korvo::WriteLe32(&bytes[offset], value);
}

void AppendLe32(Bytes& bytes, uint32_t value) { PutLe32(bytes, bytes.size(), value); }

uint32_t Le32(const Bytes& bytes, size_t offset) { return korvo::ReadLe32(&bytes[offset]); }
