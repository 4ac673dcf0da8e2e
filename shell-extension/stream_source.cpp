#include "shell-extension/stream_source.h"

namespace korvo {
namespace {

uint32_t ReadStream(void* context, uint64_t position, uint8_t* out, uint32_t count) {
  StreamSource* source = static_cast<StreamSource*>(context);
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  if (position > static_cast<uint64_t>(INT64_MAX) ||
      FAILED(source->stream->Seek(to, STREAM_SEEK_SET, nullptr))) {
    source->failed = true;
    return 0;
  }
  // A stream may hand over less than asked before its end: read on until
  // the count is in or a read brings nothing.
  uint32_t got = 0;
  while (got < count) {
    ULONG read = 0;
    const HRESULT result = source->stream->Read(out + got, count - got, &read);
    if (FAILED(result) || read > count - got) {
      source->failed = true;
      return got;
    }
    if (read == 0) break;
    got += read;
  }
  // Short of the size the stream stated: as much a failed read as an error.
  if (got < count && position + got < source->source.size) source->failed = true;
  return got;
}

}  // namespace

HRESULT OpenStreamSource(IStream* stream, StreamSource* source) noexcept {
  *source = StreamSource{};
  source->stream = stream;
  STATSTG status = {};
  uint64_t size = 0;
  if (SUCCEEDED(stream->Stat(&status, STATFLAG_NONAME))) {
    size = status.cbSize.QuadPart;
  } else {
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER end = {};
    const HRESULT result = stream->Seek(zero, STREAM_SEEK_END, &end);
    if (FAILED(result)) return result;
    size = end.QuadPart;
  }
  source->source = {ReadStream, source, size};
  return S_OK;
}

}  // namespace korvo
