// A picture's name as the import filter takes it. IFKORVO opens files named
// .QKZ only, while users and the desktop name them in any letter case: such
// a file reaches the filter under an upper-case name, through a link korvo
// creates new in a private folder of its own, so that the filter reads it
// from the disk row by row, as it reads any picture, and never whole.
#pragma once

#include <string>

namespace korvo {

struct FilterName {
  std::string path;    // the name to hand the filter
  std::string folder;  // the private folder holding the link, or ""
  FilterName() = default;
  FilterName(const FilterName&) = delete;
  FilterName& operator=(const FilterName&) = delete;
  ~FilterName();  // removes the link and its folder
};

// The name ends in .qkz, in any letter case.
bool HasQkzName(const std::string& path);

// `picture` itself unless it ends in .qkz in another letter case than
// .QKZ; then a link to it named picture.QKZ. Where no link can be made
// (on Windows: a hard link needs the same volume, a symbolic one a right
// the user may lack), `picture` itself, which the filter then refuses.
void NameForFilter(const std::string& picture, FilterName* name);

}  // namespace korvo
