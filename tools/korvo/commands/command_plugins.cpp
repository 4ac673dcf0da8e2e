// korvo plugins: every plug-in of the folder with its information strings.
#include <cstdio>

#include "tools/korvo/commands/commands.h"

namespace korvo {
namespace {

const char* const kInformationNames[] = {"API version", "description", "file mask",
                                         "file type"};

const char* KindName(PluginKind kind) {
  switch (kind) {
    case PluginKind::kImportFilter: return "import filter";
    case PluginKind::kArchiveExtractor: return "archive extractor";
    default: return "not used by korvo";
  }
}

}  // namespace

int RunPlugins(const Arguments& arguments) {
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  for (const Plugin& plugin : set.plugins) {
    printf("%s (%s)\n", plugin.path.c_str(), KindName(plugin.kind));
    for (int infono = 0; infono < 4; ++infono) {
      char text[512] = {};
      plugin.exports.GetPluginInfo(infono, text, sizeof text - 1);
      printf("  %d %-12s %s\n", infono, kInformationNames[infono], text);
    }
  }
  for (const std::string& path : set.failures) ReportFailure(path, "cannot load the plug-in");
  return set.failures.empty() ? 0 : kExitFailure;
}

}  // namespace korvo
