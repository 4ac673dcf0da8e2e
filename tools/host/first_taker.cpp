#include "tools/host/first_taker.h"

#include <vector>

#include "tools/host/plugin_calls.h"

namespace korvo {
namespace {

std::string NobodyTakes(const PluginSet& set, PluginKind kind) {
  return kind == PluginKind::kArchiveExtractor
             ? "not a supported archive (no archive extractor in " + set.directory + " takes it)"
             : "not a supported picture (no import filter in " + set.directory + " takes it)";
}

}  // namespace

const Plugin* FirstTaker(const PluginSet& set, PluginKind kind, const std::string& name,
                         const Bytes& head, const std::function<Status(const Plugin&)>& attempt,
                         Status* status) {
  std::vector<const Plugin*> candidates = FindPlugins(set, kind, name, head);
  if (candidates.empty())
    for (const Plugin& plugin : set.plugins)
      if (plugin.kind == kind && MaskTakesName(plugin.fileMask, name)) candidates.push_back(&plugin);
  Status claimed, unclaimed;
  for (const Plugin* plugin : candidates) {
    Status result = attempt(*plugin);
    if (result.ok()) {
      *status = Done();
      return plugin;
    }
    Status& kept = MaskTakesName(plugin->fileMask, name) ? claimed : unclaimed;
    if (kept.ok()) kept = result;
  }
  if (!claimed.ok()) {
    *status = claimed;
    status->kind = Status::kFailed;
  } else if (!unclaimed.ok()) {
    *status = unclaimed;
    status->kind = Status::kNotTaken;
  } else {
    *status = NotTaken(NobodyTakes(set, kind));
  }
  return nullptr;
}

}  // namespace korvo
