// The web engine's decode as a native program: the floor the WebAssembly
// build is measured against (bench/web.sh).
//
//   korvo_engine_bench PICTURE.QKZ REPETITIONS
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "web/engine.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: korvo_engine_bench PICTURE.QKZ REPETITIONS\n");
    return 2;
  }
  // Keep freed blocks for reuse, as the WebAssembly module's allocator
  // does in its memory: otherwise glibc hands every decode's 48 MB back to
  // the system and each repetition pays for fresh pages, not for decoding.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  const int32_t handle = korvo_open(argv[1], argv[1]);
  if (handle == 0) {
    fprintf(stderr, "korvo_engine_bench: %s: %s\n", argv[1], korvo_text());
    return 1;
  }
  const int repetitions = atoi(argv[2]);
  double best = 1e9;
  for (int i = 0; i < repetitions; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (korvo_decode(handle, 0, 1) == 0) {
      fprintf(stderr, "korvo_engine_bench: %s: %s\n", argv[1], korvo_text());
      return 1;
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  printf("%.2f\n", best);
  korvo_close(handle);
  return 0;
}
