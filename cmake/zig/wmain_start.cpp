// Zig 0.11 has no -municode, so its start-up calls main, not wmain. This
// main hands wmain the UTF-16 arguments from the C runtime, as mingw-w64's
// Unicode start-up does.
#include <cstddef>

extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expand,
                              int* startupNewMode);
int wmain(int argc, wchar_t** argv);

int main() {
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** environment = nullptr;
  int newMode = 0;
  if (__wgetmainargs(&argc, &argv, &environment, 0, &newMode) < 0) return 255;
  return wmain(argc, argv);
}
