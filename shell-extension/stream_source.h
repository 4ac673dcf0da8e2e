// A COM stream as a ByteSource: each read seeks to its position and reads
// there, so only the bytes asked for are read, never the stream whole.
#pragma once

#include <objidl.h>

#include "common/byte_source.h"

namespace korvo {

struct StreamSource {
  IStream* stream = nullptr;  // not owned
  bool failed = false;        // a seek or read reported an error
  ByteSource source = {};
};

// Takes the stream's size from Stat (or, where Stat fails, from a seek to its
// end). S_OK, or the failing HRESULT.
HRESULT OpenStreamSource(IStream* stream, StreamSource* source) noexcept;

}  // namespace korvo
