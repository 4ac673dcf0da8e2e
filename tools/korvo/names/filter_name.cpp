#include "tools/korvo/names/filter_name.h"

#include <filesystem>
#include <system_error>

#include "common/ascii.h"
#include "tools/host/platform/files.h"
#include "tools/host/platform/output_file.h"

namespace korvo {
namespace {

constexpr char kFilterExtension[] = ".QKZ";

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

bool HasQkzName(const std::string& path) {
  const size_t length = sizeof kFilterExtension - 1;
  return path.size() > length && FoldAsciiText(path.substr(path.size() - length)) ==
                                     FoldAsciiText(std::string(kFilterExtension));
}

FilterName::~FilterName() {
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove(PathOf(path), ignored);
  std::filesystem::remove(PathOf(folder), ignored);
}

void NameForFilter(const std::string& picture, FilterName* name) {
  name->path = picture;
  // Only a name the filter refuses for its letter case needs the link.
  const size_t length = sizeof kFilterExtension - 1;
  if (!HasQkzName(picture) || picture.compare(picture.size() - length, length, kFilterExtension) == 0)
    return;
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
