// The names of a mounted folder: one per entry, kept in one block of bytes
// with an index sorted by name, so that a folder of 100,000 entries costs
// its names and eight bytes more per entry, and a name is found by a binary
// search rather than through a table of strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

constexpr uint32_t kNoMountName = UINT32_MAX;

struct MountNames {
  std::string bytes;             // every name, one after another
  std::vector<uint32_t> starts;  // where name i starts; one more at the end
  std::vector<uint32_t> sorted;  // entry numbers in the order of their names
};

// Appends the name of the next entry. Call SortMountNames after the last.
void AddMountName(MountNames* names, const std::string& name);
void SortMountNames(MountNames* names);

std::string_view MountName(const MountNames& names, uint32_t entry);

// The entry named `name`, or kNoMountName.
uint32_t FindMountName(const MountNames& names, std::string_view name);

}  // namespace korvo
