#ifdef _WIN32
#define _CRT_RAND_S  // rand_s, the system's random numbers
#endif
#include "tools/host/platform/output_file.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "tools/host/platform/files.h"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <sys/random.h>
#include <unistd.h>
#endif

namespace korvo {
namespace {

// The temporary file being written, for the interrupt handler: a fixed
// buffer, since the handler may only read plain memory (on Windows the wide
// name, which the handler removes with the wide function).
#ifdef _WIN32
wchar_t pendingTemporary[4096];
#else
char pendingTemporary[4096];
#endif
volatile sig_atomic_t havePending = 0;
// A file being written in place, cut to nothing on an interrupt.
volatile sig_atomic_t pendingDescriptor = -1;

void RemovePending(int signalNumber) {
#ifdef _WIN32
  if (pendingDescriptor >= 0 && _chsize_s(pendingDescriptor, 0) != 0) pendingDescriptor = -1;
  if (havePending) _wremove(pendingTemporary);
#else
  // Nothing more can be done here should the cut fail.
  if (pendingDescriptor >= 0 && ftruncate(pendingDescriptor, 0) != 0) pendingDescriptor = -1;
  if (havePending) remove(pendingTemporary);
#endif
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

// 64 bits from the system's random source, so that nobody can tell a
// temporary name in advance.
uint64_t RandomBits() {
  uint64_t bits = 0;
#ifdef _WIN32
  for (int half = 0; half < 2; ++half) {
    unsigned int word = 0;
    rand_s(&word);
    bits = bits << 32 | word;
  }
#else
  // Should the kernel refuse, the name is only guessable: creation still
  // never follows a link.
  if (getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits))
    bits = static_cast<uint64_t>(time(nullptr)) * 0x9E3779B97F4A7C15u;
#endif
  return bits;
}

std::string TemporaryNameFor(const std::string& path, const std::string& suffix) {
  const std::filesystem::path at = PathOf(path);
  return Utf8Of(at.parent_path() / PathOf("." + Utf8Of(at.filename()) + suffix + ".part"));
}

// Names `path` to the interrupt handler for removal; false when it is too
// long for the handler's buffer.
bool NamePending(const std::string& path) {
#ifdef _WIN32
  std::wstring pending = WideOf(path);
#else
  const std::string& pending = path;
#endif
  if (pending.size() >= sizeof pendingTemporary / sizeof pendingTemporary[0]) return false;
  memcpy(pendingTemporary, pending.c_str(), (pending.size() + 1) * sizeof pendingTemporary[0]);
  havePending = 1;
  return true;
}

}  // namespace

std::string RandomSuffix() {
  char random[18];
  snprintf(random, sizeof random, ".%016llx", static_cast<unsigned long long>(RandomBits()));
  return random;
}

FILE* CreateTemporaryBeside(const std::string& path, std::string* temporary,
                            std::string (*drawSuffix)()) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = TemporaryNameFor(path, drawSuffix());
    FILE* file = CreateNewFile(*temporary);
    if (file != nullptr || errno != EEXIST) return file;
  }
  return nullptr;
}

bool StartPendingOutput(const std::string& path, PendingOutput* output, std::string* error) {
  output->path = path;
  output->file = CreateTemporaryBeside(path, &output->temporary);
  if (output->file == nullptr) {
    *error = std::string("cannot create: ") + strerror(errno);
    return false;
  }
  // Only a file this run created is named to the interrupt handler.
  if (!NamePending(output->temporary)) {
    AbandonPendingOutput(output);
    *error = "path too long";
    return false;
  }
  return true;
}

bool CommitPendingOutput(PendingOutput* output, std::string* error) {
  // The bytes reach the disk before the name does, so that a crash leaves
  // the old file or the new one whole, never a new name on missing bytes.
  bool written = SyncFile(output->file);
  int writeError = errno;
  if (fclose(output->file) != 0 && written) {
    written = false;
    writeError = errno;
  }
  output->file = nullptr;
  if (written && !RenameOver(output->temporary, output->path)) {
    written = false;
    writeError = errno;
  }
  if (!written) {
    RemoveFile(output->temporary);
    *error = std::string("cannot write: ") + strerror(writeError);
  } else {
    SyncFolderOf(output->path);
  }
  havePending = 0;
  return written;
}

void AbandonPendingOutput(PendingOutput* output) {
  if (output->file != nullptr) fclose(output->file);
  output->file = nullptr;
  RemoveFile(output->temporary);
  havePending = 0;
}

bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error) {
  PendingOutput output;
  if (!StartPendingOutput(path, &output, error)) return false;
  if (fwrite(bytes.data(), 1, bytes.size(), output.file) != bytes.size()) {
    *error = std::string("cannot write: ") + strerror(errno);
    AbandonPendingOutput(&output);
    return false;
  }
  return CommitPendingOutput(&output, error);
}

bool WriteFileInPlace(const std::string& path, const Bytes& bytes, std::string* error) {
  bool created = false;
  FILE* file = OpenInPlace(path, &created, error);
  if (file == nullptr) return false;
  if (created && !NamePending(path)) {
    fclose(file);
    RemoveFile(path);
    *error = "path too long";
    return false;
  }
  pendingDescriptor = fileno(file);
  bool written = EmptyFile(file) && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                 SyncFile(file);
  const int writeError = errno;
  if (!written) EmptyFile(file);  // a reader must not take a part for a thumbnail
  pendingDescriptor = -1;
  fclose(file);
  if (!written && created) RemoveFile(path);
  havePending = 0;
  if (!written) *error = std::string("cannot write: ") + strerror(writeError);
  return written;
}

bool CreateNewFolder(const std::string& prefix, std::string* path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *path = prefix + RandomSuffix();
    std::error_code failure;
    if (std::filesystem::create_directory(PathOf(*path), failure)) return true;
    if (failure) break;
  }
  path->clear();  // nothing of someone else's is named as ours
  return false;
}

bool CreatePrivateFolder(std::string* path) {
  std::error_code failure;
  const std::filesystem::path temporary = std::filesystem::temp_directory_path(failure);
  if (failure || !CreateNewFolder(Utf8Of(temporary / "korvo"), path)) return false;
  // New and empty, so nobody else's can be in it; from now on nobody else
  // may enter it either.
  std::filesystem::permissions(PathOf(*path), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::replace, failure);
  if (!failure) return true;
  std::filesystem::remove(PathOf(*path), failure);
  path->clear();
  return false;
}

void CleanUpOnInterrupt() {
  signal(SIGINT, RemovePending);
  signal(SIGTERM, RemovePending);
}

}  // namespace korvo
