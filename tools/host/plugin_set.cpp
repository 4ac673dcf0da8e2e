#include "tools/host/plugin_set.h"
#include "common/ascii.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/host/platform/files.h"

namespace korvo {
namespace {

bool IsPluginFileName(const std::string& name) {
  const std::string extension = FoldAsciiText(PluginExtension());
  return name.size() > extension.size() &&
         FoldAsciiText(name.substr(name.size() - extension.size())) == extension;
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

// KORVO's own plug-ins by their file names on this platform.
std::vector<std::string> OwnPluginNames() {
  return {PluginFileName("AXKORVO"), PluginFileName("IFKORVO")};
}

// Letter case aside, as Windows names files.
bool IsOwnPluginName(const std::string& name) {
  for (const std::string& own : OwnPluginNames())
    if (FoldAsciiText(name) == FoldAsciiText(own)) return true;
  return false;
}

// A folder counts as holding our plug-ins only when one of them is there by
// name: any other library (Debian puts ld.so in /usr/bin) is not ours.
bool HoldsOwnPlugins(const std::string& directory) {
  std::error_code failure;
  for (const std::string& name : OwnPluginNames())
    if (std::filesystem::is_regular_file(PathOf(directory + name), failure)) return true;
  return false;
}

}  // namespace

PluginSet::~PluginSet() {
  for (Plugin& plugin : plugins) UnloadPlugin(&plugin.exports);
}

std::string DefaultPluginDirectory() {
  const std::string own = ExecutableDirectory();
  // Installed: PREFIX/bin/korvo finds PREFIX/lib/korvo/ from its own path.
  const std::string installed =
      Utf8Of((PathOf(own) / ".." / "lib" / "korvo" / "").lexically_normal());
  if (HoldsOwnPlugins(installed)) return installed;
  // A release folder: the plug-ins beside korvo.
  if (HoldsOwnPlugins(own)) return own;
  return BuildPluginDirectory();
}

bool MaskTakesName(const std::string& mask, const std::string& name) {
  const std::string lowerName = FoldAsciiText(name);
  size_t start = 0;
  while (start <= mask.size()) {
    size_t end = std::min(mask.find(';', start), mask.size());
    std::string pattern = FoldAsciiText(mask.substr(start, end - start));
    // "cg" stands for "*.cg", as some plug-ins give their extension alone.
    if (!pattern.empty() && pattern.find_first_of("*.") == std::string::npos) pattern = "*." + pattern;
    if (pattern.size() > 1 && pattern[0] == '*' && lowerName.size() >= pattern.size() &&
        lowerName.compare(lowerName.size() - (pattern.size() - 1), std::string::npos, pattern, 1) == 0)
      return true;
    start = end + 1;
  }
  return false;
}

Status LoadPluginSet(const std::string& directory, PluginChoice choice, PluginSet* set) {
  set->directory = directory;
  std::vector<std::string> names;
  std::error_code failure;
  for (const auto& item : std::filesystem::directory_iterator(PathOf(directory), failure)) {
    std::string name = Utf8Of(item.path().filename());
    if (choice == PluginChoice::kOwnByName ? IsOwnPluginName(name) : IsPluginFileName(name))
      names.push_back(name);
  }
  if (failure) return Failed(directory + ": cannot read the plug-in folder: " + failure.message());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    Plugin plugin;
    plugin.path = Utf8Of(PathOf(directory) / PathOf(name));
    plugin.fileName = name;
    if (!LoadPlugin(plugin.path, &plugin.exports)) {
      set->failures.push_back(plugin.path);
      continue;
    }
    plugin.version = InformationString(plugin.exports, 0);
    plugin.fileMask = InformationString(plugin.exports, 2);
    plugin.typeName = InformationString(plugin.exports, 3);
    plugin.kind = KindOf(plugin.version, plugin.exports);
    set->plugins.push_back(std::move(plugin));
  }
  if (set->plugins.empty())
    return Failed(directory + ": no plug-in could be loaded from this folder" +
                  (set->failures.empty() ? "" : " (" + set->failures.front() + " would not load)"));
  return Done();
}

Status LoadHostPlugins(const std::string& named, PluginSet* set) {
  if (!named.empty()) return LoadPluginSet(named, PluginChoice::kEvery, set);
  return LoadPluginSet(DefaultPluginDirectory(), PluginChoice::kOwnByName, set);
}

Status ReadHeadBuffer(const std::string& path, Bytes* head) {
  std::string error;
  FILE* file = OpenForReading(path, &error);
  if (file == nullptr) return Failed(error);
  head->assign(kHeadBufferSize, 0);
  size_t got = fread(head->data(), 1, head->size(), file);
  bool failed = ferror(file) != 0;
  fclose(file);
  (void)got;  // a short file leaves zeros, as in a viewer's buffer
  return failed ? Failed("cannot read the file") : Done();
}

Bytes HeadBufferOf(const Bytes& data) {
  Bytes head(kHeadBufferSize, 0);
  std::copy_n(data.begin(), std::min(data.size(), head.size()), head.begin());
  return head;
}

}  // namespace korvo
