// The import filter on a picture in memory: the input is the image, and the
// host's `len` is its size.
#include "fuzz/filter_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::CheckFilterOnMemory(data, size);
  return 0;
}
