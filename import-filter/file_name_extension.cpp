#include "import-filter/file_name_extension.h"

#include "host-contract/host_path.h"

namespace korvo {

template <typename Unit>
bool HasQkzExtension(const Unit* name) {
  const Unit* scan = name;
  if (scan[0] != 0 && scan[1] == Unit(':')) scan += 2;
  const Unit* dot = nullptr;  // the last dot of the last component so far
  while (*scan != 0) {
    if (IsLeadUnit(*scan)) {
      if (scan[1] == 0) break;  // a lead byte without its trail ends the name
      scan += 2;
      continue;
    }
    if (*scan == Unit('\\') || *scan == Unit('/'))
      dot = nullptr;
    else if (*scan == Unit('.'))
      dot = scan;
    ++scan;
  }
  if (dot == nullptr) return false;
  for (int i = 0; i < 5; ++i)  // ".QKZ" and the end of the name
    if (dot[i] != Unit(".QKZ"[i])) return false;
  return true;
}

template bool HasQkzExtension(LPCSTR name);
template bool HasQkzExtension(LPCWSTR name);

}  // namespace korvo
