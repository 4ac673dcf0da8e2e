// korvo mount ARCHIVE MOUNTPOINT: the archive as a read-only folder through
// libfuse3. The folder holds every entry under the name extract gives it, as
// its QKZ bytes or as a BMP. The archive is listed by the extractor and read
// by its layout parsers once, at mount time; each read is then served from
// the archive where the entry's bytes lie (mount_reads.h), through one
// descriptor, so no entry is ever extracted whole.
#define FUSE_USE_VERSION 31
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/korvo/commands/archive_operand.h"
#include "tools/korvo/names/archive_names.h"
#include "tools/korvo/commands/commands.h"
#include "tools/host/platform/files.h"
#include "tools/korvo/mount/mount_index.h"
#include "tools/korvo/mount/mount_reads.h"
#include "tools/korvo/names/output_names.h"
#include "tools/korvo/pictures/picture_formats.h"
#include "tools/host/platform/positional_file.h"

namespace korvo {
namespace {

// The listing never changes while mounted, so the kernel may keep names and
// attributes for as long as it likes.
constexpr double kAttributeSeconds = 86400;

struct MountedArchive {
  std::string archive;  // absolute: the daemon leaves the current folder
  PositionalFile file;  // the archive, opened once
  MountIndex index;
  std::vector<std::string> paths;                  // "/name", by entry
  std::unordered_map<std::string, size_t> byPath;  // "/name" -> entry
  struct stat atMount = {};
  uid_t owner = 0;  // the mounting user's
  gid_t group = 0;
  // Each entry's shape, kept after its first sound read; null until then.
  std::mutex shapesLock;
  std::vector<std::shared_ptr<const ServedShape>> shapes;
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

// `count` bytes at `offset` of entry `index` into `out`, the archive checked
// against the listing before and after whenever the read reaches it: bytes of
// a changed archive are never served. An entry's shape is built on its first
// read and kept once that read is found sound (two threads may both build
// it; either is right). Reports go to standard error, which only a mount in
// the foreground keeps.
bool ReadEntry(MountedArchive& mounted, size_t index, uint64_t offset, uint32_t count, uint8_t* out) {
  std::shared_ptr<const ServedShape> shape;
  {
    std::lock_guard<std::mutex> held(mounted.shapesLock);
    shape = mounted.shapes[index];
  }
  const bool built = shape != nullptr;
  const bool reachesArchive = !built || offset + count > shape->head.size();
  const std::string& name = mounted.paths[index];
  if (reachesArchive && !Unchanged(mounted)) {
    ReportFailure(mounted.archive, "changed since it was mounted: " + name.substr(1) + " not read");
    return false;
  }
  if (!built) {
    auto made = std::make_shared<ServedShape>();
    if (BuildServedShape(mounted.file, mounted.index, index, made.get())) shape = std::move(made);
  }
  if (shape == nullptr || !ReadServed(mounted.file, *shape, offset, count, out)) {
    ReportFailure(mounted.archive, "cannot read " + name.substr(1) + " where it was listed");
    return false;
  }
  if (reachesArchive && !Unchanged(mounted)) return false;
  if (!built) {
    std::lock_guard<std::mutex> held(mounted.shapesLock);
    if (mounted.shapes[index] == nullptr) mounted.shapes[index] = shape;
  }
  return true;
}

void FillAttributes(const MountedArchive& mounted, const MountEntry* entry, struct stat* attributes) {
  *attributes = {};
  attributes->st_mode = entry == nullptr ? S_IFDIR | 0555 : S_IFREG | 0444;
  attributes->st_nlink = entry == nullptr ? 2 : 1;
  attributes->st_size = entry == nullptr ? 0 : static_cast<off_t>(entry->servedSize);
  // The blocks the bytes would take, so that copies see no holes to skip.
  attributes->st_blocks = (attributes->st_size + 511) / 512;
  attributes->st_uid = mounted.owner;
  attributes->st_gid = mounted.group;
  attributes->st_atim = attributes->st_mtim = attributes->st_ctim = mounted.atMount.st_mtim;
}

// The entry at `path`, or null for the root or a name not listed.
const MountEntry* EntryAt(const MountedArchive& mounted, const char* path, size_t* index) {
  auto found = mounted.byPath.find(path);
  if (found == mounted.byPath.end()) return nullptr;
  *index = found->second;
  return &mounted.index.entries[found->second];
}

// Every callback is a boundary nothing throws out of: libfuse is C.
void* Start(fuse_conn_info*, fuse_config* config) noexcept {
  config->entry_timeout = config->attr_timeout = config->negative_timeout = kAttributeSeconds;
  config->kernel_cache = 1;  // pages read stay valid from one open to the next
  return fuse_get_context()->private_data;
}

int GetAttributes(const char* path, struct stat* attributes, fuse_file_info*) noexcept try {
  const MountedArchive& mounted = Mounted();
  size_t index = 0;
  const MountEntry* entry = EntryAt(mounted, path, &index);
  if (entry == nullptr && strcmp(path, "/") != 0) return -ENOENT;
  FillAttributes(mounted, entry, attributes);
  return 0;
} catch (...) {
  return -ENOMEM;
}

int ReadFolder(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
               fuse_readdir_flags) noexcept {
  const MountedArchive& mounted = Mounted();
  if (strcmp(path, "/") != 0) return -ENOTDIR;
  fill(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  fill(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  struct stat attributes;
  for (size_t i = 0; i < mounted.index.entries.size(); ++i) {
    FillAttributes(mounted, &mounted.index.entries[i], &attributes);
    if (fill(buffer, mounted.paths[i].c_str() + 1, &attributes, 0, FUSE_FILL_DIR_PLUS) != 0)
      return -ENOMEM;
  }
  return 0;
}

int Open(const char* path, fuse_file_info* file) noexcept try {
  size_t index = 0;
  if (EntryAt(Mounted(), path, &index) == nullptr) return -ENOENT;
  if ((file->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  file->fh = index;
  return 0;
} catch (...) {
  return -ENOMEM;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) noexcept try {
  MountedArchive& mounted = Mounted();
  const auto index = static_cast<size_t>(file->fh);
  if (offset < 0) return -EINVAL;
  const auto start = static_cast<uint64_t>(offset);
  const uint64_t served = mounted.index.entries[index].servedSize;
  if (start >= served) return 0;
  // libfuse asks for at most a few hundred KiB at a time.
  const auto count = static_cast<uint32_t>(std::min<uint64_t>({uint64_t{size}, served - start, uint64_t{INT32_MAX}}));
  if (!ReadEntry(mounted, index, start, count, reinterpret_cast<uint8_t*>(buffer))) return -EIO;
  return static_cast<int>(count);
} catch (...) {
  return -ENOMEM;
}

// Whatever changes the folder: the mount is read-only, so the kernel
// refuses first; these answer the same should a request get through.
int RefuseChange(const char*) noexcept { return -EROFS; }
int RefuseChange2(const char*, const char*) noexcept { return -EROFS; }

fuse_operations Operations() {
  fuse_operations operations = {};
  operations.init = Start;
  operations.getattr = GetAttributes;
  operations.readdir = ReadFolder;
  operations.open = Open;
  operations.read = Read;
  operations.unlink = RefuseChange;
  operations.rmdir = RefuseChange;
  operations.mkdir = [](const char*, mode_t) noexcept { return -EROFS; };
  operations.create = [](const char*, mode_t, fuse_file_info*) noexcept { return -EROFS; };
  operations.rename = [](const char*, const char*, unsigned) noexcept { return -EROFS; };
  operations.link = RefuseChange2;
  operations.symlink = RefuseChange2;
  operations.write = [](const char*, const char*, size_t, off_t, fuse_file_info*) noexcept { return -EROFS; };
  operations.truncate = [](const char*, off_t, fuse_file_info*) noexcept { return -EROFS; };
  return operations;
}

// libfuse's messages while mounting, kept for the one line that reports a
// failure.
std::string fuseMessages;

void KeepFuseMessage(fuse_log_level, const char* format, va_list arguments) noexcept try {
  char line[512];
  vsnprintf(line, sizeof line, format, arguments);
  if (fuseMessages.empty()) fuseMessages = line;
  while (!fuseMessages.empty() && (fuseMessages.back() == '\n' || fuseMessages.back() == ' '))
    fuseMessages.pop_back();
} catch (...) {
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
  PictureFormat format = PictureFormat::kQkz;
  if (arguments.Has("--format") && (!PictureFormatByName(arguments.Value("--format"), &format) ||
                                    format == PictureFormat::kPng)) {
    fprintf(stderr, "korvo: mount: unknown format '%s' (qkz or bmp)\n", arguments.Value("--format").c_str());
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
  std::vector<ArchiveEntry> entries;
  if (OpenNamedArchive(set, archive, encoding, &entries) == nullptr) return kExitFailure;
  if (!stated) return ReportFailure(archive, "cannot find the file's size and date");
  std::string undecoded = UndecodableNames(encoding, entries);
  if (!undecoded.empty()) return ReportFailure(archive, undecoded);
  // The descriptor every read goes through, and the parse: both must see
  // the archive as it was listed.
  std::string error;
  if (!OpenPositionalFile(mounted.archive, &mounted.file, &error)) return ReportFailure(archive, error);
  if (!IndexArchive(mounted.archive, mounted.file, entries,
                    format == PictureFormat::kBmp ? MountFormat::kBmp : MountFormat::kQkz, &mounted.index, &error))
    return ReportFailure(archive, error);
  struct stat opened;
  if (fstat(fileno(mounted.file.file), &opened) != 0 || opened.st_ino != mounted.atMount.st_ino ||
      opened.st_dev != mounted.atMount.st_dev || !Unchanged(mounted))
    return ReportFailure(archive, "changed while it was being mounted");
  if (!std::filesystem::is_directory(PathOf(mountPoint), failure))
    return ReportFailure(mountPoint, "not a folder to mount on");
  // Absolute too: libfuse unmounts by this path after an interrupt.
  const std::string mountPath = Utf8Of(std::filesystem::absolute(PathOf(mountPoint), failure));
  if (failure) return ReportFailure(mountPoint, failure.message());

  UsedNames used;
  const std::string extension = format == PictureFormat::kQkz ? "" : ExtensionOf(format);
  for (size_t i = 0; i < entries.size(); ++i) {
    mounted.paths.push_back("/" + OutputName(entries[i].decodedName, extension, &used));
    mounted.byPath[mounted.paths.back()] = i;
  }
  mounted.shapes.resize(entries.size());
  mounted.owner = getuid();
  mounted.group = getgid();

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
  printf("%s: %zu %s mounted read-only on %s\n", archive.c_str(), entries.size(),
         entries.size() == 1 ? "entry" : "entries", mountPoint.c_str());
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
