// The calls a host makes on the plug-ins, with what it receives copied out of
// the plug-ins' memory handles and checked before use.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "tools/korvo/error_text.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/picture_input.h"
#include "tools/korvo/plugin_set.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvo {
namespace {

// The plug-ins never report progress; a host still passes a callback that
// lets them go on, for plug-ins that call it without checking for null.
int KORVO_API KeepGoing(int, int, LONG_PTR) { return 0; }

// A path for the 8-bit entry points: on Windows in the system code page,
// where a name it cannot spell will not open.
std::string EightBitPath(const std::string& path) {
#ifdef _WIN32
  std::wstring wide = WideOf(path);
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string ansi(static_cast<size_t>(size), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &ansi[0], size,
                        nullptr, nullptr);
  return ansi;
#else
  return path;
#endif
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

// The name of a listing record in the archive's bytes. A W record carries
// the name as the plug-in decoded it from the system code page; encoding it
// back gives the stored bytes, which the user's --names then decodes.
std::string StoredNameOf(const fileInfo& record) {
  return std::string(record.filename, strnlen(record.filename, sizeof record.filename));
}

#ifdef _WIN32
std::string StoredNameOf(const fileInfoW& record) {
  size_t units = 0;
  while (units < 200 && record.filename[units] != 0) ++units;
  int size = WideCharToMultiByte(CP_ACP, 0, record.filename, static_cast<int>(units), nullptr, 0,
                                 nullptr, nullptr);
  std::string stored(static_cast<size_t>(size), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_ACP, 0, record.filename, static_cast<int>(units), &stored[0], size,
                        nullptr, nullptr);
  return stored;
}
#endif

// The records of a listing up to the closing one, of either record type.
template <typename Record>
CallResult ReadListing(const Plugin& extractor, HLOCAL handle, std::vector<ArchiveEntry>* entries) {
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
  return {};
}

}  // namespace

std::vector<const Plugin*> FindPlugins(const PluginSet& set, PluginKind kind,
                                       const std::string& name, const Bytes& head) {
  std::vector<const Plugin*> found;
  auto dw = reinterpret_cast<ULONG_PTR>(head.data());
  for (const Plugin& plugin : set.plugins) {
    if (plugin.kind != kind) continue;
#ifdef _WIN32
    if (plugin.exports.IsSupportedW != nullptr) {
      if (plugin.exports.IsSupportedW(WideOf(name).c_str(), dw) == 1) found.push_back(&plugin);
      continue;
    }
#endif
    if (plugin.exports.IsSupported(EightBitPath(name).c_str(), dw) == 1) found.push_back(&plugin);
  }
  return found;
}

CallResult DescribePictureFile(const Plugin& filter, const std::string& path, PictureInfo* info) {
  *info = {};
  int code;
#ifdef _WIN32
  if (filter.exports.GetPictureInfoW != nullptr)
    code = filter.exports.GetPictureInfoW(WideOf(path).c_str(), 0, 0, info);
  else
#endif
    code = filter.exports.GetPictureInfo == nullptr
               ? -1
               : filter.exports.GetPictureInfo(EightBitPath(path).c_str(), 0, 0, info);
  if (code != 0) return Failed(filter, "GetPictureInfo", code);
  return {};
}

CallResult DecodePictureFile(const Plugin& filter, const std::string& path,
                             DecodedBitmap* bitmap) {
  HLOCAL info = nullptr, pixels = nullptr;
  int code;
#ifdef _WIN32
  if (filter.exports.GetPictureW != nullptr)
    code = filter.exports.GetPictureW(WideOf(path).c_str(), 0, 0, &info, &pixels, KeepGoing, 0);
  else
#endif
    code = filter.exports.GetPicture(EightBitPath(path).c_str(), 0, 0, &info, &pixels, KeepGoing, 0);
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
#ifdef _WIN32
  if (extractor.exports.GetArchiveInfoW != nullptr) {
    int code = extractor.exports.GetArchiveInfoW(WideOf(path).c_str(), 0, 0, &handle);
    if (code != 0) return Failed(extractor, "GetArchiveInfo", code);
    return ReadListing<fileInfoW>(extractor, handle, entries);
  }
#endif
  int code = extractor.exports.GetArchiveInfo(EightBitPath(path).c_str(), 0, 0, &handle);
  if (code != 0) return Failed(extractor, "GetArchiveInfo", code);
  return ReadListing<fileInfo>(extractor, handle, entries);
}

CallResult ExtractEntry(const Plugin& extractor, const std::string& path,
                        const ArchiveEntry& entry, Bytes* data) {
  HLOCAL handle = nullptr;
  auto position = static_cast<LONG_PTR>(entry.position);
  int code;
#ifdef _WIN32
  if (extractor.exports.GetFileW != nullptr)
    code = extractor.exports.GetFileW(WideOf(path).c_str(), position, reinterpret_cast<LPWSTR>(&handle),
                                      kFlagMemoryOutput, KeepGoing, 0);
  else
#endif
    code = extractor.exports.GetFile(EightBitPath(path).c_str(), position,
                                     reinterpret_cast<LPSTR>(&handle), kFlagMemoryOutput, KeepGoing, 0);
  if (code != 0) return Failed(extractor, "GetFile", code);
  TakeBlock(handle, static_cast<size_t>(entry.size), data);
  if (data->size() < entry.size) return Malformed(extractor, "an entry shorter than listed");
  return {};
}

CallResult ExtractEntryThroughFolder(const Plugin& extractor, const std::string& path,
                                     const ArchiveEntry& entry, const std::string& staging,
                                     Bytes* data) {
  auto position = static_cast<LONG_PTR>(entry.position);
  int code;
#ifdef _WIN32
  if (extractor.exports.GetFileW != nullptr) {
    std::wstring folder = WideOf(staging);
    code = extractor.exports.GetFileW(WideOf(path).c_str(), position, &folder[0], 0, KeepGoing, 0);
  } else
#endif
  {
    std::string folder = EightBitPath(staging);
    code = extractor.exports.GetFile(EightBitPath(path).c_str(), position, &folder[0], 0, KeepGoing, 0);
  }
  // Whatever the plug-in left in the folder is read and removed, even after a failure.
  std::vector<std::string> written;
  std::error_code failure;
  for (const auto& item : std::filesystem::directory_iterator(PathOf(staging), failure))
    written.push_back(Utf8Of(item.path()));
  CallResult result;
  if (code != 0)
    result = Failed(extractor, "GetFile to a folder", code);
  else if (written.size() != 1)
    result = Malformed(extractor, std::to_string(written.size()) + " files for one entry");
  else if (std::string error; !ReadWholeFile(written[0], data, &error))
    result = {0, written[0] + ": " + error};
  else if (data->size() < entry.size)
    result = Malformed(extractor, "an entry shorter than listed");
  for (const std::string& file : written) std::filesystem::remove_all(PathOf(file), failure);
  if (result.ok()) data->resize(static_cast<size_t>(entry.size));
  return result;
}

}  // namespace korvo
