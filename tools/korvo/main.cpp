// korvo: a host of the plug-in interface on the command line. It loads
// plug-ins by file name and talks to them only through their exports.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/korvo/commands.h"
#include "tools/plugin-loader/plugin_loader.h"

namespace {

const char* const kInformationNames[] = {"API version", "description", "file mask",
                                         "file type"};

int ShowPlugins(const std::string& directory) {
  int status = 0;
  for (const char* name : {"IFKORVO", "AXKORVO"}) {
    std::string path = directory + korvo::PluginFileName(name);
    korvo::LoadedPlugin plugin;
    if (!korvo::LoadPlugin(path, &plugin)) {
      fprintf(stderr, "korvo: %s: cannot load the plug-in\n", path.c_str());
      status = 1;
      continue;
    }
    printf("%s\n", path.c_str());
    for (int infono = 0; infono < 4; ++infono) {
      char text[256] = {};
      plugin.GetPluginInfo(infono, text, sizeof text);
      printf("  %d %-12s %s\n", infono, kInformationNames[infono], text);
    }
    korvo::UnloadPlugin(&plugin);
  }
  return status;
}

void Usage(FILE* out) {
  fprintf(out,
          "usage: korvo [--plugins DIR] COMMAND\n"
          "  plugins                       show each plug-in's information strings\n"
          "  convert PICTURE [-o OUT.bmp]  decode a picture through the import filters\n"
          "                                and write it as a .bmp file\n"
          "  sample-picture OUT.QKZ        write a QKZ test picture\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  std::string directory = korvo::ExecutableDirectory() + "../plugins/";
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--plugins" && i + 1 < arguments.size()) {
      directory = arguments[i + 1];
      if (!directory.empty() && directory.back() != '/' && directory.back() != '\\')
        directory += '/';
      arguments.erase(arguments.begin() + i, arguments.begin() + i + 2);
      --i;
    }
  }
  if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h") {
    Usage(arguments.empty() ? stderr : stdout);
    return arguments.empty() ? 2 : 0;
  }
  const std::string& command = arguments[0];
  if (command == "plugins" && arguments.size() == 1) return ShowPlugins(directory);
  if (command == "sample-picture" && arguments.size() == 2) return WriteSamplePicture(arguments[1]);
  if (command == "convert" && arguments.size() == 2)
    return ConvertPicture(directory, arguments[1], std::string());
  if (command == "convert" && arguments.size() == 4 && arguments[2] == "-o")
    return ConvertPicture(directory, arguments[1], arguments[3]);
  fprintf(stderr, "korvo: unknown command or arguments: '%s'\n", command.c_str());
  Usage(stderr);
  return 2;
}
