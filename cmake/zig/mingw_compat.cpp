// What Zig 0.11's mingw-w64 libraries lack for aarch64-windows-gnu and the
// korvo host needs: the Windows Imaging Component's GUIDs (mingw-w64 keeps
// them in a library Zig does not build) and getpid, which its C runtime
// import library has neither under that name nor as _getpid. Linked into
// every program with the korvo host library.
#include <initguid.h>

#include <windows.h>
#include <wincodec.h>

extern "C" int getpid() { return static_cast<int>(GetCurrentProcessId()); }
