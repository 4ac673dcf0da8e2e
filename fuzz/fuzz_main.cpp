// A fuzz target as a plain program: runs every file of the folders (or the
// files) it is given through the target once, in name order. Names starting
// with '.' are skipped. A folder that cannot be read is an error, so that a
// mistyped corpus path never passes as an empty one.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  bytes->clear();
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + got);
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

bool ListFolder(const std::string& folder, std::vector<std::string>* paths) {
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return false;
  std::vector<std::string> names;
  while (const dirent* entry = readdir(directory))
    if (entry->d_name[0] != '.') names.push_back(entry->d_name);
  closedir(directory);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) paths->push_back(folder + "/" + name);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    struct stat status;
    if (stat(argv[i], &status) == 0 && S_ISDIR(status.st_mode)) {
      if (!ListFolder(argv[i], &paths)) {
        fprintf(stderr, "cannot read folder %s\n", argv[i]);
        return 2;
      }
    } else {
      paths.push_back(argv[i]);
    }
  }
  size_t bytes = 0;
  std::vector<uint8_t> input;
  for (const std::string& path : paths) {
    if (!ReadWholeFile(path, &input)) {
      fprintf(stderr, "cannot read %s\n", path.c_str());
      return 2;
    }
    // An exact-size copy, so that a read past the input's end is caught.
    std::vector<uint8_t> exact(input);
    LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
    bytes += exact.size();
  }
  printf("replayed %zu inputs, %zu bytes\n", paths.size(), bytes);
  return 0;
}
