// korvo mount ARCHIVE MOUNTPOINT: the archive as a read-only folder through
// libfuse3. The folder holds every entry under the name extract gives it, as
// its QKZ bytes; the listing is taken once, at mount time, and each entry is
// extracted through GetFile to memory on its first read and served from the
// entry cache after that.
#define FUSE_USE_VERSION 31
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/korvo/archive_access.h"
#include "tools/korvo/commands.h"
#include "tools/korvo/entry_cache.h"
#include "tools/korvo/file_system.h"

namespace korvo {
namespace {

constexpr uint64_t kDefaultCacheMiB = 256, kMostCacheMiB = uint64_t{1} << 20;
// The listing never changes while mounted, so the kernel may keep names and
// attributes for as long as it likes.
constexpr double kAttributeSeconds = 86400;

struct MountedArchive {
  const Plugin* extractor = nullptr;
  std::string archive;  // absolute: the daemon leaves the current folder
  std::vector<ArchiveEntry> entries;
  std::vector<std::string> paths;                  // "/name", by entry
  std::unordered_map<std::string, size_t> byPath;  // "/name" -> entry
  struct stat atMount = {};
  uid_t owner = 0;  // the mounting user's
  gid_t group = 0;
  EntryCache cache;
};

MountedArchive& Mounted() {
  return *static_cast<MountedArchive*>(fuse_get_context()->private_data);
}

// The archive is the one listed when its size, modification time (to the
// nanosecond), inode and device are. Every write moves the time; saving
// through a new file renamed over the old one changes the inode, even when
// the time is set back. The change time is left out: chmod and backup tools
// move it without touching the bytes.
bool Unchanged(const MountedArchive& mounted) {
  struct stat now;
  const struct stat& then = mounted.atMount;
  return stat(mounted.archive.c_str(), &now) == 0 && now.st_size == then.st_size &&
         now.st_mtim.tv_sec == then.st_mtim.tv_sec && now.st_mtim.tv_nsec == then.st_mtim.tv_nsec &&
         now.st_ino == then.st_ino && now.st_dev == then.st_dev;
}

// One entry through GetFile to memory, checked against the archive as
// listed before and after, so bytes of a changed archive are never served.
// Reports go to standard error, which only a mount in the foreground keeps.
SharedBytes ExtractUnchanged(const MountedArchive& mounted, size_t index) noexcept {
  const ArchiveEntry& entry = mounted.entries[index];
  try {
    if (!Unchanged(mounted)) {
      ReportFailure(mounted.archive, "changed since it was mounted: " + entry.name + " not read");
      return nullptr;
    }
    auto bytes = std::make_shared<Bytes>();
    CallResult result = ExtractEntry(*mounted.extractor, mounted.archive, entry, bytes.get());
    if (!result.ok()) {
      ReportFailure(mounted.archive + ": " + entry.name, result.message);
      return nullptr;
    }
    return Unchanged(mounted) ? bytes : nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void FillAttributes(const MountedArchive& mounted, const ArchiveEntry* entry, struct stat* attributes) {
  *attributes = {};
  attributes->st_mode = entry == nullptr ? S_IFDIR | 0555 : S_IFREG | 0444;
  attributes->st_nlink = entry == nullptr ? 2 : 1;
  attributes->st_size = entry == nullptr ? 0 : static_cast<off_t>(entry->size);
  attributes->st_uid = mounted.owner;
  attributes->st_gid = mounted.group;
  attributes->st_atim = attributes->st_mtim = attributes->st_ctim = mounted.atMount.st_mtim;
}

// The entry at `path`, or null for the root or a name not listed.
const ArchiveEntry* EntryAt(const MountedArchive& mounted, const char* path, size_t* index) {
  auto found = mounted.byPath.find(path);
  if (found == mounted.byPath.end()) return nullptr;
  *index = found->second;
  return &mounted.entries[found->second];
}

void* Start(fuse_conn_info*, fuse_config* config) {
  config->entry_timeout = config->attr_timeout = config->negative_timeout = kAttributeSeconds;
  config->kernel_cache = 1;  // pages read stay valid from one open to the next
  return fuse_get_context()->private_data;
}

int GetAttributes(const char* path, struct stat* attributes, fuse_file_info*) {
  const MountedArchive& mounted = Mounted();
  size_t index = 0;
  const ArchiveEntry* entry = EntryAt(mounted, path, &index);
  if (entry == nullptr && strcmp(path, "/") != 0) return -ENOENT;
  FillAttributes(mounted, entry, attributes);
  return 0;
}

int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) {
  const MountedArchive& mounted = Mounted();
  if (strcmp(path, "/") != 0) return -ENOTDIR;
  fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  struct stat attributes;
  for (size_t i = 0; i < mounted.entries.size(); ++i) {
    FillAttributes(mounted, &mounted.entries[i], &attributes);
    if (fill(buffer, mounted.paths[i].c_str() + 1, &attributes, 0, FUSE_FILL_DIR_PLUS) != 0)
      return -ENOMEM;
  }
  return 0;
}

int Open(const char* path, fuse_file_info* file) {
  size_t index = 0;
  if (EntryAt(Mounted(), path, &index) == nullptr) return -ENOENT;
  if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  file->fh = index;
  return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
  MountedArchive& mounted = Mounted();
  size_t index = static_cast<size_t>(file->fh);
  SharedBytes bytes;
  try {
    bytes = CachedEntry(&mounted.cache, index, [&] { return ExtractUnchanged(mounted, index); });
  } catch (const std::bad_alloc&) {
    return -ENOMEM;
  }
  if (bytes == nullptr) return -EIO;
  if (offset < 0) return -EINVAL;
  auto start = static_cast<uint64_t>(offset);
  if (start >= bytes->size()) return 0;
  size_t count = std::min<uint64_t>(size, bytes->size() - start);
  memcpy(buffer, bytes->data() + start, count);
  return static_cast<int>(count);
}

// Whatever changes the folder: the mount is read-only, so the kernel
// refuses first; these answer the same should a request get through.
int RefuseChange(const char*) { return -EROFS; }
int RefuseChange2(const char*, const char*) { return -EROFS; }

fuse_operations Operations() {
  fuse_operations operations = {};
  operations.init = Start;
  operations.getattr = GetAttributes;
  operations.readdir = ReadFolder;
  operations.open = Open;
  operations.read = Read;
  operations.unlink = RefuseChange;
  operations.rmdir = RefuseChange;
  operations.mkdir = [](const char*, mode_t) { return -EROFS; };
  operations.create = [](const char*, mode_t, fuse_file_info*) { return -EROFS; };
  operations.rename = [](const char*, const char*, unsigned) { return -EROFS; };
  operations.link = RefuseChange2;
  operations.symlink = RefuseChange2;
  operations.write = [](const char*, const char*, size_t, off_t, fuse_file_info*) { return -EROFS; };
  operations.truncate = [](const char*, off_t, fuse_file_info*) { return -EROFS; };
  return operations;
}

// libfuse's messages while mounting, kept for the one line that reports a
// failure.
std::string fuseMessages;

void KeepFuseMessage(fuse_log_level, const char* format, va_list arguments) {
  char line[512];
  vsnprintf(line, sizeof line, format, arguments);
  if (fuseMessages.empty()) fuseMessages = line;
  while (!fuseMessages.empty() && (fuseMessages.back() == '\n' || fuseMessages.back() == ' '))
    fuseMessages.pop_back();
}

bool ParseCacheMiB(const Arguments& arguments, uint64_t* mib) {
  *mib = kDefaultCacheMiB;
  if (!arguments.Has("--cache-mib")) return true;
  const std::string text = arguments.Value("--cache-mib");
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  *mib = std::stoull(text);
  return *mib >= 1 && *mib <= kMostCacheMiB;
}

// libfuse's session, undone in reverse on every way out.
struct FuseSession {
  fuse_args arguments = FUSE_ARGS_INIT(0, nullptr);
  fuse* session = nullptr;
  bool mounted = false, signalsSet = false;
  ~FuseSession() {
    if (signalsSet) fuse_remove_signal_handlers(fuse_get_session(session));
    if (mounted) fuse_unmount(session);
    if (session != nullptr) fuse_destroy(session);
    fuse_opt_free_args(&arguments);
  }
};

}  // namespace

int RunMount(const Arguments& arguments) {
  NameEncoding encoding;
  if (!ChooseNameEncoding(arguments, &encoding)) return kExitUsage;
  uint64_t cacheMiB = 0;
  if (!ParseCacheMiB(arguments, &cacheMiB)) {
    fprintf(stderr, "korvo: mount: --cache-mib takes a whole number of MiB from 1 to %llu\n",
            static_cast<unsigned long long>(kMostCacheMiB));
    return kExitUsage;
  }
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  const std::string& archive = arguments.operands[0];
  const std::string& mountPoint = arguments.operands[1];
  MountedArchive mounted;
  // The archive's state is taken before the listing, so that a change while
  // it is listed shows too.
  std::error_code failure;
  mounted.archive = Utf8Of(std::filesystem::absolute(PathOf(archive), failure));
  bool stated = !failure && stat(mounted.archive.c_str(), &mounted.atMount) == 0;
  mounted.extractor = OpenArchive(set, archive, encoding, &mounted.entries);
  if (mounted.extractor == nullptr) return kExitFailure;
  if (!stated) return ReportFailure(archive, "cannot find the file's size and date");
  std::string undecoded = UndecodableNames(encoding, mounted.entries);
  if (!undecoded.empty()) return ReportFailure(archive, undecoded);
  if (!std::filesystem::is_directory(PathOf(mountPoint), failure))
    return ReportFailure(mountPoint, "not a folder to mount on");
  // Absolute too: libfuse unmounts by this path after an interrupt.
  const std::string mountPath = Utf8Of(std::filesystem::absolute(PathOf(mountPoint), failure));
  if (failure) return ReportFailure(mountPoint, failure.message());

  std::set<std::string> used;
  for (size_t i = 0; i < mounted.entries.size(); ++i) {
    mounted.paths.push_back("/" + OutputName(mounted.entries[i], PictureFormat::kQkz, &used));
    mounted.byPath[mounted.paths.back()] = i;
  }
  mounted.owner = getuid();
  mounted.group = getgid();
  StartEntryCache(&mounted.cache, mounted.entries.size(), cacheMiB << 20);

  FuseSession fuse;
  fuse_set_log_func(KeepFuseMessage);
  const fuse_operations operations = Operations();
  if (fuse_opt_add_arg(&fuse.arguments, "korvo") != 0 ||
      fuse_opt_add_arg(&fuse.arguments, "-oro,default_permissions,fsname=korvo,subtype=korvo") != 0)
    return ReportFailure(mountPoint, "out of memory");
  fuse.session = fuse_new(&fuse.arguments, &operations, sizeof operations, &mounted);
  fuse.mounted = fuse.session != nullptr && fuse_mount(fuse.session, mountPath.c_str()) == 0;
  fuse_set_log_func(nullptr);
  if (!fuse.mounted)
    return ReportFailure(mountPoint, fuseMessages.empty() ? "cannot mount" : fuseMessages);

  // From here the folder is mounted: say so, then leave the terminal (the
  // parent exits 0 once the daemon has started) unless told not to.
  printf("%s: %zu %s mounted read-only on %s\n", archive.c_str(), mounted.entries.size(),
         mounted.entries.size() == 1 ? "entry" : "entries", mountPoint.c_str());
  fflush(stdout);
  if (fuse_daemonize(arguments.Has("--foreground") ? 1 : 0) != 0)
    return ReportFailure(mountPoint, "cannot run in the background");
  // Interrupts end the loop, which unmounts; libfuse only takes signals
  // whose handlers are the default.
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) signal(signalNumber, SIG_DFL);
  fuse.signalsSet = fuse_set_signal_handlers(fuse_get_session(fuse.session)) == 0;
  if (!fuse.signalsSet) return ReportFailure(mountPoint, "cannot take interrupts");
  // The loop ends with 0 when the folder is unmounted, with the signal's
  // number after an interrupt, and below 0 on a failure.
  return fuse_loop_mt(fuse.session, 0) < 0 ? kExitFailure : 0;
}

}  // namespace korvo
