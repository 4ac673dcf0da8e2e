#include "tools/korvo/mount/mount_names.h"

#include <algorithm>

namespace korvo {

void AddMountName(MountNames* names, const std::string& name) {
  if (names->starts.empty()) names->starts.push_back(0);
  names->bytes += name;
  names->starts.push_back(static_cast<uint32_t>(names->bytes.size()));
}

void SortMountNames(MountNames* names) {
  const auto count = static_cast<uint32_t>(names->starts.empty() ? 0 : names->starts.size() - 1);
  names->sorted.resize(count);
  for (uint32_t i = 0; i < count; ++i) names->sorted[i] = i;
  std::sort(names->sorted.begin(), names->sorted.end(), [names](uint32_t a, uint32_t b) {
    return MountName(*names, a) < MountName(*names, b);
  });
  names->bytes.shrink_to_fit();
  names->starts.shrink_to_fit();
}

std::string_view MountName(const MountNames& names, uint32_t entry) {
  return std::string_view(names.bytes).substr(names.starts[entry],
                                               names.starts[entry + 1] - names.starts[entry]);
}

uint32_t FindMountName(const MountNames& names, std::string_view name) {
  auto found = std::lower_bound(names.sorted.begin(), names.sorted.end(), name,
                                [&names](uint32_t entry, std::string_view wanted) {
                                  return MountName(names, entry) < wanted;
                                });
  return found != names.sorted.end() && MountName(names, *found) == name ? *found : kNoMountName;
}

}  // namespace korvo
