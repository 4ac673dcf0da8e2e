#include "tools/korvo/filter_name.h"

#include <filesystem>
#include <system_error>

#include "common/ascii.h"
#include "tools/korvo/file_system.h"
#include "tools/korvo/output_file.h"

namespace korvo {
namespace {

constexpr char kFilterExtension[] = ".QKZ";

bool NeedsLink(const std::string& picture) {
  const size_t length = sizeof kFilterExtension - 1;
  if (picture.size() <= length) return false;
  const std::string extension = picture.substr(picture.size() - length);
  bool sameLetters = true;
  for (size_t i = 0; i < length; ++i)
    sameLetters = sameLetters && FoldAscii(extension[i]) == FoldAscii(kFilterExtension[i]);
  return sameLetters && extension != kFilterExtension;
}

// A hard link where the picture shares the temporary folder's file system,
// else a symbolic link. Hard links first: Windows grants symbolic links to
// few users, and Wine makes ones that its own file opening cannot follow.
bool LinkTo(const std::filesystem::path& target, const std::string& link) {
  std::error_code failure;
  std::filesystem::create_hard_link(target, PathOf(link), failure);
  if (failure) std::filesystem::create_symlink(target, PathOf(link), failure);
  return !failure;
}

}  // namespace

FilterName::~FilterName() {
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(PathOf(path), ignored);
  std::filesystem::remove(PathOf(folder), ignored);
}

void NameForFilter(const std::string& picture, FilterName* name) {
  name->path = picture;
  if (!NeedsLink(picture)) return;
  std::error_code failure;
  const std::filesystem::path target = std::filesystem::absolute(PathOf(picture), failure);
  std::string folder;
  if (failure || !CreatePrivateFolder(&folder)) return;
  const std::string link = Utf8Of(PathOf(folder) / (std::string("picture") + kFilterExtension));
  if (!LinkTo(target, link)) {
    std::filesystem::remove(PathOf(folder), failure);
    return;
  }
  name->folder = folder;
  name->path = link;
}

}  // namespace korvo
