#include "tests/support/test_files.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "common/little_endian.h"

#ifdef _WIN32
#include <sys/utime.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
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

WideText Utf16(const std::string& utf8) {
  WideText out;
  for (size_t i = 0; i < utf8.size();) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
      code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    i += length;
    if (code >= 0x10000) {
      out.push_back(static_cast<WCHAR>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<WCHAR>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<WCHAR>(code));
    }
  }
  return out;
}

WideText WriteScratchFileW(const std::string& utf8Name, const Bytes& bytes) {
  std::filesystem::path path = std::filesystem::u8path(ScratchDirectory() + utf8Name);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) ADD_FAILURE() << "cannot write " << utf8Name;
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return Utf16(ScratchDirectory() + utf8Name);
}

void SetModificationTime(const std::string& path, int64_t unixSeconds) {
#ifdef _WIN32
  struct _utimbuf times = {static_cast<time_t>(unixSeconds), static_cast<time_t>(unixSeconds)};
  if (_utime(path.c_str(), &times) != 0) ADD_FAILURE() << "cannot date " << path;
#else
  struct utimbuf times = {static_cast<time_t>(unixSeconds), static_cast<time_t>(unixSeconds)};
  if (utime(path.c_str(), &times) != 0) ADD_FAILURE() << "cannot date " << path;
#endif
}

Bytes ReadBytes(const std::string& utf8Path) {
  std::ifstream file(std::filesystem::u8path(utf8Path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

uint32_t Le32(const Bytes& bytes, size_t offset) { return korvo::ReadLe32(&bytes[offset]); }
