// The HRESULT a shell host gets for each way a thumbnail can fail.
#pragma once

#include <windows.h>

#include "shell-extension/stream_source.h"
#include "shell-extension/stream_thumbnail.h"

namespace korvo {

// Not ours or damaged: the shell's own "could not extract", after which it
// shows the file's icon. A stream that failed a read is a read fault, even
// where the format code saw only a short read.
inline HRESULT ShellResultOf(ShellFailure failure, const StreamSource& source) {
  if (failure == ShellFailure::kNone) return S_OK;
  if (failure == ShellFailure::kNoMemory) return E_OUTOFMEMORY;
  if (failure == ShellFailure::kCannotRead || source.failed) return STG_E_READFAULT;
  return static_cast<HRESULT>(0x8004B200L);  // WTS_E_FAILEDEXTRACTION
}

}  // namespace korvo
