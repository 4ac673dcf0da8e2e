#include "pixbuf-loader/qkz_stream.h"

#include <algorithm>
#include <cstring>

#include "common/little_endian.h"

namespace korvo {

std::string SizeText(const QkzGeometry& geometry) {
  return std::to_string(geometry.width) + " x " + std::to_string(geometry.height);
}

namespace {

// Room for `more` rows bytes: at least doubling, never past the picture's
// rows, so memory follows what arrived.
void MakeRoom(QkzStream* stream, size_t more) {
  std::vector<uint8_t>& rows = stream->rows;
  size_t needed = rows.size() + more;
  if (needed <= rows.capacity()) return;
  rows.reserve(std::min<size_t>(stream->geometry.rowBytes, std::max(needed, 2 * rows.capacity())));
}

}  // namespace

bool IsQkzStreamComplete(const QkzStream& stream) {
  return stream.headRead && stream.rows.size() == stream.geometry.rowBytes;
}

QkzStreamState FeedQkzStream(QkzStream* stream, const uint8_t* data, size_t size,
                             std::string* error) {
  if (!stream->headRead) {
    size_t take = std::min<size_t>(size, kQkzHeadSize - stream->headBytes);
    memcpy(stream->head + stream->headBytes, data, take);
    stream->headBytes += static_cast<uint32_t>(take);
    data += take;
    size -= take;
    if (stream->headBytes < kQkzHeadSize) return QkzStreamState::kNeedMore;
    switch (JudgeQkzHead(stream->head, &stream->geometry)) {
      case QkzHeadVerdict::kPicture:
        break;
      case QkzHeadVerdict::kNotAPicture:
        *error = "not a QKZ picture: its head gives a width or height of 0";
        return QkzStreamState::kRefused;
      case QkzHeadVerdict::kTooLarge:
        *error = "QKZ picture too large: its head claims " +
                 std::to_string(ReadLe32(stream->head + kQkzWidthOffset)) + " x " +
                 std::to_string(ReadLe32(stream->head + kQkzHeightOffset)) + " pixels";
        return QkzStreamState::kRefused;
    }
    stream->headRead = true;
  }
  size_t take = std::min<size_t>(size, stream->geometry.rowBytes - stream->rows.size());
  MakeRoom(stream, take);
  stream->rows.insert(stream->rows.end(), data, data + take);
  return IsQkzStreamComplete(*stream) ? QkzStreamState::kComplete : QkzStreamState::kNeedMore;
}

std::string QkzTruncation(const QkzStream& stream) {
  if (!stream.headRead)
    return "truncated QKZ picture: " + std::to_string(stream.headBytes) +
           " bytes, fewer than its 1032-byte head";
  return "truncated QKZ picture: a " + SizeText(stream.geometry) + " picture needs " +
         std::to_string(stream.geometry.rowBytes) + " bytes of rows, " +
         std::to_string(stream.rows.size()) + " arrived";
}

}  // namespace korvo
