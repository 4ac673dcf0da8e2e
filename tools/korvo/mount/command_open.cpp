// korvo open ARCHIVE: what a double-click on an archive does on the Linux
// desktop. The archive is mounted read-only (korvo mount) in a folder of the
// user's runtime folder and that folder is opened in the file manager
// (xdg-open). A second open of the same archive opens the mount already
// there; a mount whose daemon has gone is unmounted and made again.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/korvo/commands/commands.h"
#include "tools/host/platform/files.h"

extern char** environ;

namespace korvo {
namespace {

// Runs a program found on PATH (or by its path), waiting for its exit
// status; -1 when it cannot start.
int RunAndWait(const std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A folder of the user's own, made 0700 when missing; an existing one must
// be a real folder of this user, never a link.
bool OwnFolder(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = std::string("cannot create: ") + strerror(errno);
    return false;
  }
  struct stat about = {};
  if (lstat(path.c_str(), &about) != 0 || !S_ISDIR(about.st_mode) || about.st_uid != getuid()) {
    *error = "not a folder of this user's";
    return false;
  }
  return true;
}

// $XDG_RUNTIME_DIR/korvo/<device>-<inode>-<size>-<time>/<archive's name>:
// one mount per archive as it is on disk, shown under the archive's name.
bool MountPointFor(const std::string& archive, const struct stat& about, std::string* mountPoint,
                   std::string* error) {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime != '/') {
    *error = "XDG_RUNTIME_DIR names no folder to mount the archive in";
    return false;
  }
  char key[96];
  snprintf(key, sizeof key, "%llx-%llx-%llx-%llx.%09ld", static_cast<unsigned long long>(about.st_dev),
           static_cast<unsigned long long>(about.st_ino), static_cast<unsigned long long>(about.st_size),
           static_cast<unsigned long long>(about.st_mtim.tv_sec), about.st_mtim.tv_nsec);
  std::string korvo = runtime;
  while (korvo.size() > 1 && korvo.back() == '/') korvo.pop_back();
  korvo += "/korvo";
  const std::string folder = korvo + "/" + key;
  *mountPoint = folder + "/" + Utf8Of(PathOf(archive).filename());
  for (const std::string& path : {korvo, folder, *mountPoint})
    if (!OwnFolder(path, error)) {
      *error = path + ": " + *error;
      return false;
    }
  return true;
}

// True when a file system is mounted on `path`: its device differs from
// its parent's. A mount whose daemon has gone answers ENOTCONN.
bool IsMounted(const std::string& path, bool* stale) {
  struct stat self = {}, parent = {};
  *stale = stat(path.c_str(), &self) != 0 && errno == ENOTCONN;
  if (*stale) return false;
  return stat((path + "/..").c_str(), &parent) == 0 && self.st_dev != parent.st_dev;
}

}  // namespace

int RunOpen(const Arguments& arguments) {
  const std::string& archive = arguments.operands[0];
  struct stat about = {};
  if (stat(archive.c_str(), &about) != 0) return ReportFailure(archive, std::string("cannot open: ") + strerror(errno));
  if (!S_ISREG(about.st_mode)) return ReportFailure(archive, "not a file");
  std::string mountPoint, error;
  if (!MountPointFor(archive, about, &mountPoint, &error)) return ReportFailure(archive, error);
  bool stale = false;
  if (!IsMounted(mountPoint, &stale)) {
    if (stale) RunAndWait({"fusermount3", "-u", "-z", mountPoint});
    // korvo mount reports its own failures, and returns once mounted.
    std::vector<std::string> mount = {"/proc/self/exe", "mount", archive, mountPoint};
    if (!arguments.pluginDirectory.empty()) mount.insert(mount.begin() + 1, {"--plugins", arguments.pluginDirectory});
    if (arguments.Has("--names")) mount.insert(mount.end(), {"--names", arguments.Value("--names")});
    const int status = RunAndWait(mount);
    if (status != 0) {
      // Nothing left for the next open to mistake: the mount point and the
      // archive's folder above it, which held nothing else.
      rmdir(mountPoint.c_str());
      rmdir(PathOf(mountPoint).parent_path().c_str());
      return status > 0 ? status : ReportFailure(archive, "cannot run korvo mount");
    }
  }
  if (RunAndWait({"xdg-open", mountPoint}) != 0)
    return ReportFailure(mountPoint, "mounted, but xdg-open could not open it in the file manager");
  return 0;
}

}  // namespace korvo
