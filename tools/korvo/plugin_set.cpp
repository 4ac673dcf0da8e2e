#include "tools/korvo/plugin_set.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/korvo/commands.h"
#include "tools/korvo/error_text.h"
#include "tools/korvo/picture_input.h"

namespace korvo {
namespace {

bool IsPluginFileName(const std::string& name) {
#ifdef _WIN32
  const std::string extension = sizeof(void*) == 8 ? ".sph" : ".spi";
#else
  const std::string extension = ".so";
#endif
  return name.size() > extension.size() &&
         LowerAscii(name.substr(name.size() - extension.size())) == extension;
}

std::string InformationString(const LoadedPlugin& exports, int infono) {
  char text[512] = {};
  exports.GetPluginInfo(infono, text, sizeof text - 1);
  return text;
}

// API versions end in "IN" for import filters and "AM" for archive
// extractors; export filters and the like are loaded but never asked.
PluginKind KindOf(const std::string& version, const LoadedPlugin& exports) {
  std::string role = version.size() >= 4 ? version.substr(2, 2) : std::string();
  if (role == "IN" && exports.GetPicture != nullptr) return PluginKind::kImportFilter;
  if (role == "AM" && exports.GetArchiveInfo != nullptr && exports.GetFile != nullptr)
    return PluginKind::kArchiveExtractor;
  return PluginKind::kOther;
}

bool HasPluginFiles(const std::string& directory) {
  std::error_code failure;
  for (const auto& item : std::filesystem::directory_iterator(directory, failure))
    if (IsPluginFileName(item.path().filename().string())) return true;
  return false;
}

// The plug-ins never report progress; a host still passes a callback that
// lets them go on, for plug-ins that call it without checking for null.
int KORVO_API KeepGoing(int, int, LONG_PTR) { return 0; }

// Bytes in a block a plug-in handed out, which may be more than it asked for.
size_t BlockBytes(HLOCAL handle) { return platform::GlobalSize(handle); }

// The block's first `wanted` bytes (all of it when it is smaller), after
// which the block is freed: the host owns every handle it receives.
void TakeBlock(HLOCAL handle, size_t wanted, Bytes* out) {
  out->clear();
  if (handle == nullptr) return;
  size_t size = std::min(wanted, BlockBytes(handle));
  const void* bytes = platform::GlobalLock(handle);
  if (bytes != nullptr) {
    out->assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + size);
    platform::GlobalUnlock(handle);
  }
  platform::GlobalFree(handle);
}

CallResult Failed(const Plugin& plugin, const char* function, int code) {
  return {code, ResultMessage(plugin.fileName, function, code)};
}

CallResult Malformed(const Plugin& plugin, const std::string& what) {
  return {0, plugin.fileName + " handed out " + what};
}

CallResult TakeBitmap(const Plugin& filter, HLOCAL info, HLOCAL pixels, DecodedBitmap* bitmap) {
  TakeBlock(info, SIZE_MAX, &bitmap->info);
  BitmapLayout layout;
  std::string error;
  if (!ReadBitmapLayout(bitmap->info.data(), bitmap->info.size(), &layout, &error)) {
    if (pixels != nullptr) platform::GlobalFree(pixels);
    return {0, error + " (" + filter.fileName + ")"};
  }
  TakeBlock(pixels, layout.pixelBytes, &bitmap->pixels);
  if (bitmap->pixels.size() < layout.pixelBytes)
    return Malformed(filter, "a pixel block smaller than its bitmap");
  return {};
}

}  // namespace

PluginSet::~PluginSet() {
  for (Plugin& plugin : plugins) UnloadPlugin(&plugin.exports);
}

std::string DefaultPluginDirectory() {
  std::string own = ExecutableDirectory();
  return HasPluginFiles(own) ? own : BuildPluginDirectory();
}

bool LoadPluginSet(const std::string& directory, PluginSet* set, std::string* error) {
  set->directory = directory;
  std::vector<std::string> names;
  std::error_code failure;
  for (const auto& item : std::filesystem::directory_iterator(directory, failure)) {
    std::string name = item.path().filename().string();
    if (IsPluginFileName(name)) names.push_back(name);
  }
  if (failure) {
    *error = directory + ": cannot read the plug-in folder: " + failure.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  std::string folder = directory;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  for (const std::string& name : names) {
    Plugin plugin;
    plugin.path = folder + name;
    plugin.fileName = name;
    if (!LoadPlugin(plugin.path, &plugin.exports)) {
      set->failures.push_back(plugin.path);
      continue;
    }
    plugin.version = InformationString(plugin.exports, 0);
    plugin.typeName = InformationString(plugin.exports, 3);
    plugin.kind = KindOf(plugin.version, plugin.exports);
    set->plugins.push_back(std::move(plugin));
  }
  if (set->plugins.empty()) {
    *error = directory + ": no plug-in could be loaded from this folder" +
             (set->failures.empty() ? "" : " (" + set->failures.front() + " would not load)");
    return false;
  }
  return true;
}

bool ReadHeadBuffer(const std::string& path, Bytes* head, std::string* error) {
  FILE* file = OpenForReading(path, error);
  if (file == nullptr) return false;
  head->assign(kHeadBufferSize, 0);
  size_t got = fread(head->data(), 1, head->size(), file);
  bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) {
    *error = "cannot read the file";
    return false;
  }
  (void)got;  // a short file leaves zeros, as in a viewer's buffer
  return true;
}

Bytes HeadBufferOf(const Bytes& data) {
  Bytes head(kHeadBufferSize, 0);
  std::copy_n(data.begin(), std::min(data.size(), head.size()), head.begin());
  return head;
}

std::vector<const Plugin*> FindPlugins(const PluginSet& set, PluginKind kind,
                                       const std::string& name, const Bytes& head) {
  std::vector<const Plugin*> found;
  for (const Plugin& plugin : set.plugins)
    if (plugin.kind == kind &&
        plugin.exports.IsSupported(name.c_str(), reinterpret_cast<ULONG_PTR>(head.data())) == 1)
      found.push_back(&plugin);
  return found;
}

CallResult DecodePictureFile(const Plugin& filter, const std::string& path,
                             DecodedBitmap* bitmap) {
  HLOCAL info = nullptr, pixels = nullptr;
  int code = filter.exports.GetPicture(path.c_str(), 0, 0, &info, &pixels, KeepGoing, 0);
  if (code != 0) return Failed(filter, "GetPicture", code);
  return TakeBitmap(filter, info, pixels, bitmap);
}

CallResult DecodePictureMemory(const Plugin& filter, const Bytes& data, DecodedBitmap* bitmap) {
  HLOCAL info = nullptr, pixels = nullptr;
  int code = filter.exports.GetPicture(reinterpret_cast<LPCSTR>(data.data()),
                                       static_cast<LONG_PTR>(data.size()), kFlagMemoryInput,
                                       &info, &pixels, KeepGoing, 0);
  if (code != 0) return Failed(filter, "GetPicture", code);
  return TakeBitmap(filter, info, pixels, bitmap);
}

CallResult ListArchive(const Plugin& extractor, const std::string& path,
                       std::vector<ArchiveEntry>* entries) {
  HLOCAL handle = nullptr;
  int code = extractor.exports.GetArchiveInfo(path.c_str(), 0, 0, &handle);
  if (code != 0) return Failed(extractor, "GetArchiveInfo", code);
  Bytes records;
  TakeBlock(handle, SIZE_MAX, &records);
  entries->clear();
  for (size_t offset = 0;; offset += sizeof(fileInfo)) {
    if (offset + sizeof(fileInfo) > records.size())
      return Malformed(extractor, "a listing without its closing record");
    fileInfo record;
    memcpy(&record, records.data() + offset, sizeof record);
    if (record.method[0] == 0) break;
    ArchiveEntry entry;
    entry.method.assign(reinterpret_cast<const char*>(record.method),
                        strnlen(reinterpret_cast<const char*>(record.method), 8));
    entry.position = record.position;
    entry.storedSize = record.compsize;
    entry.size = record.filesize;
    entry.name.assign(record.filename, strnlen(record.filename, sizeof record.filename));
    entries->push_back(entry);
  }
  return {};
}

CallResult ExtractEntry(const Plugin& extractor, const std::string& path,
                        const ArchiveEntry& entry, Bytes* data) {
  HLOCAL handle = nullptr;
  int code = extractor.exports.GetFile(path.c_str(), static_cast<LONG_PTR>(entry.position),
                                       reinterpret_cast<LPSTR>(&handle), kFlagMemoryOutput,
                                       KeepGoing, 0);
  if (code != 0) return Failed(extractor, "GetFile", code);
  TakeBlock(handle, static_cast<size_t>(entry.size), data);
  if (data->size() < entry.size) return Malformed(extractor, "an entry shorter than listed");
  return {};
}

}  // namespace korvo
