#include <cstdio>
#include <filesystem>

#include "tools/korvo/commands/commands.h"
#include "tools/host/platform/files.h"

namespace korvo {

int ReportFailure(const std::string& file, const std::string& message) {
  fprintf(stderr, "korvo: %s: %s\n", file.c_str(), message.c_str());
  return kExitFailure;
}

int ReportStatus(const std::string& file, const Status& status) {
  return ReportFailure(file, status.message);
}

bool IsAnInput(const std::string& output, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    // The same file when both exist, or the same name for one not yet made.
    std::error_code identity, outputName, inputName;
    const bool sameFile = std::filesystem::equivalent(PathOf(output), PathOf(input), identity);
    const bool sameName = std::filesystem::weakly_canonical(PathOf(output), outputName) ==
                          std::filesystem::weakly_canonical(PathOf(input), inputName);
    if ((sameFile && !identity) || (sameName && !outputName && !inputName)) {
      ReportFailure(output, "is also an input (" + input + "); nothing is written over an input");
      return true;
    }
  }
  return false;
}

bool LoadCommandPlugins(const Arguments& arguments, PluginSet* set) {
  const Status status = LoadHostPlugins(arguments.pluginDirectory, set);
  if (!status.ok()) fprintf(stderr, "korvo: %s\n", status.message.c_str());
  return status.ok();
}

bool ChooseNameEncoding(const Arguments& arguments, NameEncoding* encoding) {
  std::string name = arguments.Has("--names") ? arguments.Value("--names") : kDefaultNameEncoding;
  std::string error;
  if (FindNameEncoding(name, encoding, &error)) return true;
  fprintf(stderr, "korvo: %s\n", error.c_str());
  return false;
}

}  // namespace korvo
