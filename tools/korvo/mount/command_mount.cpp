// korvo mount ARCHIVE MOUNTPOINT: the archive as a read-only folder through
// libfuse3. The folder holds every entry under the name extract gives it, as
// its QKZ bytes or as a BMP. The archive is listed by the extractor and read
// by its layout parsers once, at mount time; each read is then served from
// the archive where the entry's bytes lie (mount_reads.h), through one
// descriptor, so no entry is ever extracted whole.
//
// libfuse's low-level interface: entry i is inode i + 2 (1 is the folder),
// so a request names its entry directly, and the folder is listed from any
// offset without libfuse keeping a node and a path per entry.
#define FUSE_USE_VERSION 31
#include <fuse_lowlevel.h>
#include <malloc.h>
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
#include <vector>

#include "tools/korvo/commands/archive_operand.h"
#include "tools/korvo/names/archive_names.h"
#include "tools/korvo/commands/commands.h"
#include "tools/host/platform/files.h"
#include "tools/korvo/mount/mount_index.h"
#include "tools/korvo/mount/mount_names.h"
#include "tools/korvo/mount/mount_reads.h"
#include "tools/korvo/names/output_names.h"
#include "tools/korvo/pictures/picture_formats.h"
#include "tools/host/platform/positional_file.h"

namespace korvo {
namespace {

// The listing never changes while mounted, so the kernel may keep names and
// attributes for as long as it likes.
constexpr double kAttributeSeconds = 86400;
constexpr fuse_ino_t kFirstEntryInode = FUSE_ROOT_ID + 1;

struct MountedArchive {
  std::string archive;  // absolute: the daemon leaves the current folder
  PositionalFile file;  // the archive, opened once
  MountIndex index;
  MountNames names;  // by entry
  struct stat atMount = {};
  uid_t owner = 0;  // the mounting user's
  gid_t group = 0;
  // Each entry's shape, kept after its first sound read; null until then.
  std::mutex shapesLock;
  std::vector<std::shared_ptr<const ServedShape>> shapes;
};

MountedArchive& Mounted(fuse_req_t request) {
  return *static_cast<MountedArchive*>(fuse_req_userdata(request));
}

// The entry of inode `inode`, or null for the folder or an inode never given.
const MountEntry* EntryOf(const MountedArchive& mounted, fuse_ino_t inode, uint32_t* index) {
  if (inode < kFirstEntryInode || inode - kFirstEntryInode >= mounted.index.entries.size()) return nullptr;
  *index = static_cast<uint32_t>(inode - kFirstEntryInode);
  return &mounted.index.entries[*index];
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
bool ReadEntry(MountedArchive& mounted, uint32_t index, uint64_t offset, uint32_t count, uint8_t* out) {
  std::shared_ptr<const ServedShape> shape;
  {
    std::lock_guard<std::mutex> held(mounted.shapesLock);
    shape = mounted.shapes[index];
  }
  const bool built = shape != nullptr;
  const bool reachesArchive = !built || offset + count > shape->head.size();
  const std::string_view name = MountName(mounted.names, index);
  if (reachesArchive && !Unchanged(mounted)) {
    ReportFailure(mounted.archive, "changed since it was mounted: " + std::string(name) + " not read");
    return false;
  }
  if (!built) {
    auto made = std::make_shared<ServedShape>();
    if (BuildServedShape(mounted.file, mounted.index, index, made.get())) shape = std::move(made);
  }
  if (shape == nullptr || !ReadServed(mounted.file, *shape, offset, count, out)) {
    ReportFailure(mounted.archive, "cannot read " + std::string(name) + " where it was listed");
    return false;
  }
  if (reachesArchive && !Unchanged(mounted)) return false;
  if (!built) {
    std::lock_guard<std::mutex> held(mounted.shapesLock);
    if (mounted.shapes[index] == nullptr) mounted.shapes[index] = shape;
  }
  return true;
}

// The attributes of the folder (entry null) or of an entry.
struct stat AttributesOf(const MountedArchive& mounted, const MountEntry* entry, fuse_ino_t inode) {
  struct stat attributes = {};
  attributes.st_ino = inode;
  attributes.st_mode = entry == nullptr ? S_IFDIR | 0555 : S_IFREG | 0444;
  attributes.st_nlink = entry == nullptr ? 2 : 1;
  attributes.st_size = entry == nullptr ? 0 : static_cast<off_t>(entry->servedSize);
  // The blocks the bytes would take, so that copies see no holes to skip.
  attributes.st_blocks = (attributes.st_size + 511) / 512;
  attributes.st_uid = mounted.owner;
  attributes.st_gid = mounted.group;
  attributes.st_atim = attributes.st_mtim = attributes.st_ctim = mounted.atMount.st_mtim;
  return attributes;
}

fuse_entry_param EntryParameters(const MountedArchive& mounted, uint32_t index) {
  fuse_entry_param parameters = {};
  parameters.ino = kFirstEntryInode + index;
  parameters.attr = AttributesOf(mounted, &mounted.index.entries[index], parameters.ino);
  parameters.attr_timeout = parameters.entry_timeout = kAttributeSeconds;
  return parameters;
}

// Every callback is a boundary nothing throws out of: libfuse is C.
void Start(void*, fuse_conn_info* connection) noexcept {
  // Every part of a listing comes with the entries' attributes, not only the
  // first (the kernel's own choice): ls -l of 100,000 entries reads the
  // folder in hundreds of parts, then asks for each entry's attributes.
  if (connection->capable & FUSE_CAP_READDIRPLUS) connection->want |= FUSE_CAP_READDIRPLUS;
  connection->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS_AUTO);
}

void LookUp(fuse_req_t request, fuse_ino_t parent, const char* name) noexcept {
  const MountedArchive& mounted = Mounted(request);
  const uint32_t index = parent == FUSE_ROOT_ID ? FindMountName(mounted.names, name) : kNoMountName;
  if (index == kNoMountName) {
    // Remembered as absent for as long as names are.
    fuse_entry_param absent = {};
    absent.entry_timeout = kAttributeSeconds;
    fuse_reply_entry(request, &absent);
    return;
  }
  const fuse_entry_param parameters = EntryParameters(mounted, index);
  fuse_reply_entry(request, &parameters);
}

void GetAttributes(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) noexcept {
  const MountedArchive& mounted = Mounted(request);
  uint32_t index = 0;
  const MountEntry* entry = EntryOf(mounted, inode, &index);
  if (entry == nullptr && inode != FUSE_ROOT_ID) {
    fuse_reply_err(request, ENOENT);
    return;
  }
  const struct stat attributes = AttributesOf(mounted, entry, inode);
  fuse_reply_attr(request, &attributes, kAttributeSeconds);
}

void OpenFolder(fuse_req_t request, fuse_ino_t inode, fuse_file_info* folder) noexcept {
  if (inode != FUSE_ROOT_ID) {
    fuse_reply_err(request, ENOTDIR);
    return;
  }
  folder->keep_cache = 1;
  fuse_reply_open(request, folder);
}

// The folder's listing from `offset` on, as much as `size` bytes hold:
// offsets 0 and 1 are "." and "..", offset 2 + i is entry i. With `plus`,
// each entry comes with its attributes, as a lookup would give them.
void ListFolder(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, bool plus) noexcept try {
  const MountedArchive& mounted = Mounted(request);
  if (inode != FUSE_ROOT_ID) {
    fuse_reply_err(request, ENOTDIR);
    return;
  }
  std::vector<char> buffer(size);
  size_t used = 0;
  const uint64_t total = 2 + uint64_t{mounted.index.entries.size()};
  for (uint64_t at = offset < 0 ? total : static_cast<uint64_t>(offset); at < total; ++at) {
    const auto next = static_cast<off_t>(at + 1);
    std::string name;
    fuse_entry_param parameters = {};
    if (at < 2) {
      name = at == 0 ? "." : "..";
      parameters.attr.st_ino = FUSE_ROOT_ID;
      parameters.attr.st_mode = S_IFDIR;
    } else {
      const auto index = static_cast<uint32_t>(at - 2);
      name = MountName(mounted.names, index);
      parameters = EntryParameters(mounted, index);
    }
    char* place = buffer.data() + used;
    const size_t left = size - used;
    const size_t needed =
        plus ? fuse_add_direntry_plus(request, place, left, name.c_str(), &parameters, next)
             : fuse_add_direntry(request, place, left, name.c_str(), &parameters.attr, next);
    if (needed > left) break;
    used += needed;
  }
  fuse_reply_buf(request, buffer.data(), used);
} catch (...) {
  fuse_reply_err(request, ENOMEM);
}

void ReadFolder(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) noexcept {
  ListFolder(request, inode, size, offset, false);
}

void ReadFolderPlus(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset,
                    fuse_file_info*) noexcept {
  ListFolder(request, inode, size, offset, true);
}

void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) noexcept {
  uint32_t index = 0;
  if (EntryOf(Mounted(request), inode, &index) == nullptr) {
    fuse_reply_err(request, inode == FUSE_ROOT_ID ? EISDIR : ENOENT);
    return;
  }
  if ((file->flags & O_ACCMODE) != O_RDONLY) {
    fuse_reply_err(request, EROFS);
    return;
  }
  file->keep_cache = 1;  // pages read stay valid from one open to the next
  fuse_reply_open(request, file);
}

void Read(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) noexcept try {
  MountedArchive& mounted = Mounted(request);
  uint32_t index = 0;
  const MountEntry* entry = EntryOf(mounted, inode, &index);
  if (entry == nullptr || offset < 0) {
    fuse_reply_err(request, entry == nullptr ? ENOENT : EINVAL);
    return;
  }
  const auto start = static_cast<uint64_t>(offset);
  if (start >= entry->servedSize) {
    fuse_reply_buf(request, nullptr, 0);
    return;
  }
  // The kernel asks for at most a few hundred KiB at a time; each thread
  // keeps its buffer from one read to the next.
  const auto count = static_cast<uint32_t>(
      std::min<uint64_t>({uint64_t{size}, entry->servedSize - start, uint64_t{INT32_MAX}}));
  thread_local std::vector<uint8_t> buffer;
  if (buffer.size() < count) buffer.resize(count);
  if (!ReadEntry(mounted, index, start, count, buffer.data())) {
    fuse_reply_err(request, EIO);
    return;
  }
  fuse_reply_buf(request, reinterpret_cast<const char*>(buffer.data()), count);
} catch (...) {
  fuse_reply_err(request, ENOMEM);
}

// Whatever changes the folder: the mount is read-only, so the kernel
// refuses first; these answer the same should a request get through.
void RefuseName(fuse_req_t request, fuse_ino_t, const char*) noexcept { fuse_reply_err(request, EROFS); }

fuse_lowlevel_ops Operations() {
  fuse_lowlevel_ops operations = {};
  operations.init = Start;
  operations.lookup = LookUp;
  operations.getattr = GetAttributes;
  operations.opendir = OpenFolder;
  operations.readdir = ReadFolder;
  operations.readdirplus = ReadFolderPlus;
  operations.open = Open;
  operations.read = Read;
  operations.unlink = RefuseName;
  operations.rmdir = RefuseName;
  operations.mkdir = [](fuse_req_t request, fuse_ino_t, const char*, mode_t) noexcept {
    fuse_reply_err(request, EROFS);
  };
  operations.mknod = [](fuse_req_t request, fuse_ino_t, const char*, mode_t, dev_t) noexcept {
    fuse_reply_err(request, EROFS);
  };
  operations.create = [](fuse_req_t request, fuse_ino_t, const char*, mode_t, fuse_file_info*) noexcept {
    fuse_reply_err(request, EROFS);
  };
  operations.rename = [](fuse_req_t request, fuse_ino_t, const char*, fuse_ino_t, const char*,
                         unsigned int) noexcept { fuse_reply_err(request, EROFS); };
  operations.link = [](fuse_req_t request, fuse_ino_t, fuse_ino_t, const char*) noexcept {
    fuse_reply_err(request, EROFS);
  };
  operations.symlink = [](fuse_req_t request, const char*, fuse_ino_t, const char*) noexcept {
    fuse_reply_err(request, EROFS);
  };
  operations.write = [](fuse_req_t request, fuse_ino_t, const char*, size_t, off_t, fuse_file_info*) noexcept {
    fuse_reply_err(request, EROFS);
  };
  operations.setattr = [](fuse_req_t request, fuse_ino_t, struct stat*, int, fuse_file_info*) noexcept {
    fuse_reply_err(request, EROFS);
  };
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
  fuse_session* session = nullptr;
  bool mounted = false, signalsSet = false;
  ~FuseSession() {
    if (signalsSet) fuse_remove_signal_handlers(session);
    if (mounted) fuse_session_unmount(session);
    if (session != nullptr) fuse_session_destroy(session);
    fuse_opt_free_args(&arguments);
  }
};

// Lists the archive through the plug-ins, reads it with the layouts into
// `mounted` and names every entry: 0, or the exit status after reporting.
// The plug-ins and their listing go when this returns, as reads are served
// from the index alone.
int ListAndIndex(const Arguments& arguments, const NameEncoding& encoding, MountFormat format,
                 MountedArchive* mounted) {
  PluginSet set;
  if (!LoadCommandPlugins(arguments, &set)) return kExitFailure;
  const std::string& archive = arguments.operands[0];
  // The archive's state is taken before the listing, so that a change while
  // it is listed shows too.
  std::error_code failure;
  mounted->archive = Utf8Of(std::filesystem::absolute(PathOf(archive), failure));
  bool stated = !failure && stat(mounted->archive.c_str(), &mounted->atMount) == 0;
  std::vector<ArchiveEntry> entries;
  if (OpenNamedArchive(set, archive, encoding, &entries) == nullptr) return kExitFailure;
  if (!stated) return ReportFailure(archive, "cannot find the file's size and date");
  std::string undecoded = UndecodableNames(encoding, entries);
  if (!undecoded.empty()) return ReportFailure(archive, undecoded);
  // The descriptor every read goes through, and the parse: both must see
  // the archive as it was listed.
  std::string error;
  if (!OpenPositionalFile(mounted->archive, &mounted->file, &error)) return ReportFailure(archive, error);
  if (!IndexArchive(mounted->archive, mounted->file, entries, format, &mounted->index, &error))
    return ReportFailure(archive, error);
  struct stat opened;
  if (fstat(fileno(mounted->file.file), &opened) != 0 || opened.st_ino != mounted->atMount.st_ino ||
      opened.st_dev != mounted->atMount.st_dev || !Unchanged(*mounted))
    return ReportFailure(archive, "changed while it was being mounted");

  UsedNames used;
  const std::string extension = format == MountFormat::kQkz ? "" : ExtensionOf(PictureFormat::kBmp);
  for (const ArchiveEntry& entry : entries) AddMountName(&mounted->names, OutputName(entry.decodedName, extension, &used));
  SortMountNames(&mounted->names);
  mounted->shapes.resize(entries.size());
  mounted->owner = getuid();
  mounted->group = getgid();
  return 0;
}

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
  const std::string& archive = arguments.operands[0];
  const std::string& mountPoint = arguments.operands[1];
  MountedArchive mounted;
  const MountFormat served = format == PictureFormat::kBmp ? MountFormat::kBmp : MountFormat::kQkz;
  const int listed = ListAndIndex(arguments, encoding, served, &mounted);
  if (listed != 0) return listed;
  // The listing's blocks lie among those kept: give their pages back to the
  // system, or the mount holds the listing's high-water mark for as long as
  // it runs.
  malloc_trim(0);
  std::error_code failure;
  if (!std::filesystem::is_directory(PathOf(mountPoint), failure))
    return ReportFailure(mountPoint, "not a folder to mount on");
  // Absolute too: libfuse unmounts by this path after an interrupt.
  const std::string mountPath = Utf8Of(std::filesystem::absolute(PathOf(mountPoint), failure));
  if (failure) return ReportFailure(mountPoint, failure.message());
  const size_t entryCount = mounted.index.entries.size();

  FuseSession fuse;
  fuse_set_log_func(KeepFuseMessage);
  const fuse_lowlevel_ops operations = Operations();
  if (fuse_opt_add_arg(&fuse.arguments, "korvo") != 0 ||
      fuse_opt_add_arg(&fuse.arguments, "-oro,default_permissions,fsname=korvo,subtype=korvo") != 0)
    return ReportFailure(mountPoint, "out of memory");
  fuse.session = fuse_session_new(&fuse.arguments, &operations, sizeof operations, &mounted);
  fuse.mounted = fuse.session != nullptr && fuse_session_mount(fuse.session, mountPath.c_str()) == 0;
  fuse_set_log_func(nullptr);
  if (!fuse.mounted)
    return ReportFailure(mountPoint, fuseMessages.empty() ? "cannot mount" : fuseMessages);

  // From here the folder is mounted: say so, then leave the terminal (the
  // parent exits 0 once the daemon has started) unless told not to.
  printf("%s: %zu %s mounted read-only on %s\n", archive.c_str(), entryCount,
         entryCount == 1 ? "entry" : "entries", mountPoint.c_str());
  fflush(stdout);
  if (fuse_daemonize(arguments.Has("--foreground") ? 1 : 0) != 0)
    return ReportFailure(mountPoint, "cannot run in the background");
  // Interrupts end the loop, which unmounts; libfuse only takes signals
  // whose handlers are the default.
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) signal(signalNumber, SIG_DFL);
  fuse.signalsSet = fuse_set_signal_handlers(fuse.session) == 0;
  if (!fuse.signalsSet) return ReportFailure(mountPoint, "cannot take interrupts");
  // The loop ends with 0 when the folder is unmounted, with the signal's
  // number after an interrupt, and below 0 on a failure.
  return fuse_session_loop_mt(fuse.session, 0) < 0 ? kExitFailure : 0;
}

}  // namespace korvo
