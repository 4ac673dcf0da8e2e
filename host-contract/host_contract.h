// What crosses the boundary between a host and a KORVO plug-in: the records,
// the result codes, the flag bits and the exported functions' signatures.
//
// On 32-bit targets the records are the interface's byte-packed originals
// (fileInfo 428 bytes). On 64-bit targets they follow the interface's 64-bit
// convention: pointer-sized `len`, `lData` and `dw`, pointer-sized positions,
// sizes and time stamp, fileInfo padded to 448 bytes and PictureInfo with two
// pad bytes before hInfo. Values keep their 32-bit meaning on both.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

#ifdef _WIN32
#define KORVO_API __stdcall
#define KORVO_EXPORT
#else
#define KORVO_API
#define KORVO_EXPORT __attribute__((visibility("default")))
#endif

namespace korvo {

constexpr bool kWideRecords = sizeof(void*) == 8;

#pragma pack(push, 1)
struct fileInfo {
  unsigned char method[8];
  ULONG_PTR position;
  ULONG_PTR compsize;
  ULONG_PTR filesize;
  ULONG_PTR timestamp;
  char path[200];
  char filename[200];
  uint32_t crc;
#if UINTPTR_MAX > 0xFFFFFFFFu
  char padding[4];
#endif
};

// The record of the Unicode listing: the 8-bit record's fields with `path`
// and `filename` as NUL-terminated UTF-16 (828 bytes; 848 on 64-bit targets).
struct fileInfoW {
  unsigned char method[8];
  ULONG_PTR position;
  ULONG_PTR compsize;
  ULONG_PTR filesize;
  ULONG_PTR timestamp;
  WCHAR path[200];
  WCHAR filename[200];
  uint32_t crc;
#if UINTPTR_MAX > 0xFFFFFFFFu
  char padding[4];
#endif
};

struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t x_density;
  uint16_t y_density;
  int16_t colorDepth;
#if UINTPTR_MAX > 0xFFFFFFFFu
  char padding[2];
#endif
  HLOCAL hInfo;
};
#pragma pack(pop)

static_assert(sizeof(fileInfo) == (kWideRecords ? 448 : 428), "fileInfo size");
static_assert(offsetof(fileInfo, position) == 8, "fileInfo layout");
static_assert(offsetof(fileInfo, path) == (kWideRecords ? 40 : 24), "fileInfo layout");
static_assert(offsetof(fileInfo, filename) == (kWideRecords ? 240 : 224), "fileInfo layout");
static_assert(offsetof(fileInfo, crc) == (kWideRecords ? 440 : 424), "fileInfo layout");
static_assert(sizeof(WCHAR) == 2, "WCHAR is a UTF-16 code unit");
static_assert(sizeof(fileInfoW) == (kWideRecords ? 848 : 828), "fileInfoW size");
static_assert(offsetof(fileInfoW, path) == (kWideRecords ? 40 : 24), "fileInfoW layout");
static_assert(offsetof(fileInfoW, filename) == (kWideRecords ? 440 : 424), "fileInfoW layout");
static_assert(offsetof(fileInfoW, crc) == (kWideRecords ? 840 : 824), "fileInfoW layout");
static_assert(sizeof(PictureInfo) == (kWideRecords ? 32 : 26), "PictureInfo size");
static_assert(offsetof(PictureInfo, colorDepth) == 20, "PictureInfo layout");

// The BITMAPINFOHEADER that opens every BITMAPINFO block a picture export
// hands over: its biSize, and where masks or colours start behind it.
constexpr uint32_t kBitmapInfoHeaderSize = 40;

// Result codes of every export but IsSupported (which answers 1 or 0).
enum ResultCode : int {
  kResultSuccess = 0,
  kResultNotHandled = -1,    // request not served, entry or memory image not found
  kResultBadFormat = 2,      // not this plug-in's format, or a failed structural check
  kResultMemoryError = 4,    // allocating or locking a block failed
  kResultFileError = 6,      // opening, positioning or reading a file failed or fell short
};

// The only bits of `flag` that are tested.
constexpr unsigned kFlagMemoryInput = 0x0001;   // buf/src points to data in memory
constexpr unsigned kFlagIgnoreCase = 0x0080;    // GetFileInfo: compare names without case
constexpr unsigned kFlagMemoryOutput = 0x0100;  // GetFile: output to a handle through dest

// The method tag of every directory record this system writes.
constexpr char kMethodTag[8] = "IfKorvo";

typedef int(KORVO_API* ProgressCallback)(int nNum, int nDenom, LONG_PTR lData);

// Signatures of the exports, for hosts that look them up by name. `Text` is
// char for the 8-bit functions (Exports) and WCHAR for their Unicode twins
// (ExportsW), which take UTF-16 file names, entry names and strings and hand
// out fileInfoW records; with memory input `buf`/`src` still points to bytes.
// GetPreview and GetPreviewW take GetPicture's parameters.
template <typename Text, typename Record>
struct ExportSignatures {
  typedef int(KORVO_API* GetPluginInfo)(int infono, Text* buf, int buflen);
  typedef int(KORVO_API* IsSupported)(const Text* filename, ULONG_PTR dw);
  typedef int(KORVO_API* GetPictureInfo)(const Text* buf, LONG_PTR len, unsigned flag,
                                         PictureInfo* lpInfo);
  typedef int(KORVO_API* GetPicture)(const Text* buf, LONG_PTR len, unsigned flag,
                                     HLOCAL* pHBInfo, HLOCAL* pHBm,
                                     ProgressCallback lpPrgressCallback, LONG_PTR lData);
  typedef int(KORVO_API* GetArchiveInfo)(const Text* buf, LONG_PTR len, unsigned flag,
                                         HLOCAL* lphInf);
  typedef int(KORVO_API* GetFileInfo)(const Text* buf, LONG_PTR len, const Text* filename,
                                      unsigned flag, Record* lpInfo);
  typedef int(KORVO_API* GetFile)(const Text* src, LONG_PTR len, Text* dest, unsigned flag,
                                  ProgressCallback prgressCallback, LONG_PTR lData);
};
// The directory record of the exports that take `Unit` names.
template <typename Unit>
struct RecordFor;
template <>
struct RecordFor<char> {
  typedef fileInfo type;
};
template <>
struct RecordFor<WCHAR> {
  typedef fileInfoW type;
};

typedef ExportSignatures<char, fileInfo> Exports;
typedef ExportSignatures<WCHAR, fileInfoW> ExportsW;

}  // namespace korvo
