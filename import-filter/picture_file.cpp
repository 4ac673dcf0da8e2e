#include "import-filter/picture_file.h"

#include "qkz-picture/qkz_picture.h"

namespace korvo {

HANDLE OpenPictureFile(const HostPath& name) {
  return OpenHostFile(name, FILE_FLAG_SEQUENTIAL_SCAN);
}

void ClosePictureFile(HANDLE file) {
  if (file != INVALID_HANDLE_VALUE) platform::CloseHandle(file);
}

bool ReadExactly(HANDLE file, DWORD position, void* buffer, DWORD bytes) {
  DWORD got = 0;
  platform::ReadFileAt(file, position, buffer, bytes, &got);
  return got == bytes;  // only the count decides, as a failed read delivers 0
}

bool FileCanHold(HANDLE file, uint64_t bytes) {
  DWORD high = 0;
  DWORD low = platform::GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE) return true;
  return (uint64_t{high} << 32 | low) >= bytes;
}

Failure OpenAndReadHead(const HostPath& name, HANDLE* file, uint8_t* head) {
  *file = OpenPictureFile(name);
  if (*file == INVALID_HANDLE_VALUE) return Failure::kPictureFileCannotOpen;
  if (!ReadExactly(*file, 0, head, kQkzHeadSize)) return Failure::kHeadTooShort;
  return Failure::kNone;
}

}  // namespace korvo
