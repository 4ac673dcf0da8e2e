#include <algorithm>
#include <cstring>
#include <filesystem>
#include <type_traits>

#include "tools/host/plugin_calls.h"
#include "tools/host/platform/files.h"
#include "tools/host/platform/plugin_text.h"
#include "tools/host/result_words.h"

namespace korvo {
namespace {

// The plug-ins never report progress; a host still passes a callback that
// lets them go on, for plug-ins that call it without checking for null.
int KORVO_API KeepGoing(int, int, LONG_PTR) { return 0; }

// Calls an export, or answers -1 (not supported) for one the plug-in lacks.
template <typename Function, typename... Arguments>
int CallExport(Function function, Arguments... arguments) {
  return function == nullptr ? -1 : function(arguments...);
}

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

Status CallFailed(const Plugin& plugin, const char* function, int code) {
  return Failed(ResultMessage(plugin.fileName, function, code), code);
}

Status Malformed(const Plugin& plugin, const std::string& what) {
  return Failed(plugin.fileName + " handed out " + what);
}

Status TakeBitmap(const Plugin& filter, HLOCAL info, HLOCAL pixels, DecodedBitmap* bitmap) {
  TakeBlock(info, SIZE_MAX, &bitmap->info);
  BitmapLayout layout;
  std::string error;
  if (!ReadBitmapLayout(bitmap->info.data(), bitmap->info.size(), &layout, &error)) {
    if (pixels != nullptr) platform::GlobalFree(pixels);
    return Failed(error + " (" + filter.fileName + ")");
  }
  TakeBlock(pixels, layout.pixelBytes, &bitmap->pixels);
  if (bitmap->pixels.size() < layout.pixelBytes)
    return Malformed(filter, "a pixel block smaller than its bitmap");
  return Done();
}

// The records of a listing up to the closing one, of either record type.
template <typename Record>
Status ReadListing(const Plugin& extractor, HLOCAL handle, std::vector<ArchiveEntry>* entries) {
  Bytes records;
  TakeBlock(handle, SIZE_MAX, &records);
  entries->clear();
  for (size_t offset = 0;; offset += sizeof(Record)) {
    if (offset + sizeof(Record) > records.size())
      return Malformed(extractor, "a listing without its closing record");
    Record record;
    memcpy(&record, records.data() + offset, sizeof record);
    if (record.method[0] == 0) break;
    ArchiveEntry entry;
    entry.method.assign(reinterpret_cast<const char*>(record.method),
                        strnlen(reinterpret_cast<const char*>(record.method), 8));
    entry.position = record.position;
    entry.storedSize = record.compsize;
    entry.size = record.filesize;
    entry.storedName = StoredNameOf(record);
    entries->push_back(entry);
  }
  return Done();
}

}  // namespace

std::vector<const Plugin*> FindPlugins(const PluginSet& set, PluginKind kind,
                                       const std::string& name, const Bytes& head) {
  std::vector<const Plugin*> found;
  auto dw = reinterpret_cast<ULONG_PTR>(head.data());
  for (const Plugin& plugin : set.plugins) {
    const LoadedPlugin& e = plugin.exports;
    if (plugin.kind == kind && CallWithPaths(e.IsSupportedW != nullptr, [&](const auto& path) {
          return CallExport(ExportFor(e.IsSupported, e.IsSupportedW, path), path.c_str(), dw);
        }, name) == 1)
      found.push_back(&plugin);
  }
  return found;
}

Status DescribePictureFile(const Plugin& filter, const std::string& path, PictureInfo* info) {
  *info = {};
  const LoadedPlugin& e = filter.exports;
  int code = CallWithPaths(e.GetPictureInfoW != nullptr, [&](const auto& name) {
    return CallExport(ExportFor(e.GetPictureInfo, e.GetPictureInfoW, name), name.c_str(), 0, 0u, info);
  }, path);
  if (code != 0) return CallFailed(filter, "GetPictureInfo", code);
  return Done();
}

Status DecodePictureFile(const Plugin& filter, const std::string& path,
                             DecodedBitmap* bitmap) {
  HLOCAL info = nullptr, pixels = nullptr;
  const LoadedPlugin& e = filter.exports;
  int code = CallWithPaths(e.GetPictureW != nullptr, [&](const auto& name) {
    return CallExport(ExportFor(e.GetPicture, e.GetPictureW, name), name.c_str(), 0, 0u, &info,
                      &pixels, KeepGoing, 0);
  }, path);
  if (code != 0) return CallFailed(filter, "GetPicture", code);
  return TakeBitmap(filter, info, pixels, bitmap);
}

Status DecodePictureMemory(const Plugin& filter, const Bytes& data, DecodedBitmap* bitmap) {
  HLOCAL info = nullptr, pixels = nullptr;
  int code = CallExport(filter.exports.GetPicture, reinterpret_cast<LPCSTR>(data.data()),
                        static_cast<LONG_PTR>(data.size()), kFlagMemoryInput, &info, &pixels,
                        KeepGoing, 0);
  if (code != 0) return CallFailed(filter, "GetPicture", code);
  return TakeBitmap(filter, info, pixels, bitmap);
}

// The listing comes from the 8-bit entry point whenever the archive's path
// can be given in 8 bits, since only its records carry the stored bytes;
// the W records, whose names went through the system code page, only for
// paths that need UTF-16.
Status ListArchive(const Plugin& extractor, const std::string& path,
                       std::vector<ArchiveEntry>* entries) {
  HLOCAL handle = nullptr;
  const LoadedPlugin& e = extractor.exports;
  std::string eightBit;
  bool wide = e.GetArchiveInfoW != nullptr && !EightBitPath(path, &eightBit);
  Status result;
  int code = CallWithPaths(wide, [&](const auto& name) {
    using Text = typename std::decay_t<decltype(name)>::value_type;
    int answer = CallExport(ExportFor(e.GetArchiveInfo, e.GetArchiveInfoW, name), name.c_str(), 0, 0u,
                            &handle);
    if (answer == 0) result = ReadListing<typename RecordFor<Text>::type>(extractor, handle, entries);
    return answer;
  }, path);
  if (code != 0) return CallFailed(extractor, "GetArchiveInfo", code);
  return result;
}

Status FetchEntry(const Plugin& extractor, const std::string& path,
                        const ArchiveEntry& entry, Bytes* data) {
  HLOCAL handle = nullptr;
  auto position = static_cast<LONG_PTR>(entry.position);
  const LoadedPlugin& e = extractor.exports;
  int code = CallWithPaths(e.GetFileW != nullptr, [&](const auto& name) {
    using Text = typename std::decay_t<decltype(name)>::value_type;
    return CallExport(ExportFor(e.GetFile, e.GetFileW, name), name.c_str(), position,
                      reinterpret_cast<Text*>(&handle), kFlagMemoryOutput, KeepGoing, 0);
  }, path);
  if (code != 0) return CallFailed(extractor, "GetFile", code);
  TakeBlock(handle, static_cast<size_t>(entry.size), data);
  if (data->size() < entry.size) return Malformed(extractor, "an entry shorter than listed");
  return Done();
}

Status FetchEntryThroughFolder(const Plugin& extractor, const std::string& path,
                                     const ArchiveEntry& entry, const std::string& staging,
                                     Bytes* data) {
  auto position = static_cast<LONG_PTR>(entry.position);
  const LoadedPlugin& e = extractor.exports;
  int code = CallWithPaths(e.GetFileW != nullptr, [&](const auto& name, auto folder) {
    return CallExport(ExportFor(e.GetFile, e.GetFileW, name), name.c_str(), position, &folder[0], 0u,
                      KeepGoing, 0);
  }, path, staging);
  // Whatever the plug-in left in the folder is read and removed, even after a failure.
  std::vector<std::string> written;
  std::error_code failure;
  for (const auto& item : std::filesystem::directory_iterator(PathOf(staging), failure))
    written.push_back(Utf8Of(item.path()));
  Status result;
  if (code != 0)
    result = CallFailed(extractor, "GetFile to a folder", code);
  else if (written.size() != 1)
    result = Malformed(extractor, std::to_string(written.size()) + " files for one entry");
  else if (std::string error; !ReadWholeFile(written[0], data, &error))
    result = Failed(written[0] + ": " + error);
  else if (data->size() < entry.size)
    result = Malformed(extractor, "an entry shorter than listed");
  for (const std::string& file : written) std::filesystem::remove_all(PathOf(file), failure);
  if (result.ok()) data->resize(static_cast<size_t>(entry.size));
  return result;
}

}  // namespace korvo
