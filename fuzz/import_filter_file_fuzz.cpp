// The import filter on a picture file: the input is the file's contents,
// served from memory under a ".QKZ" name.
#include "fuzz/filter_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::CheckFilterOnFile("fuzz-picture.QKZ", data, size);
  return 0;
}
