// A QKZ picture arriving in pieces, as a picture loader receives it: the
// head first, then the rows. Rows are kept only as they arrive and only as
// far as the head says the picture reaches, so a head that claims more than
// the input holds costs nothing, and bytes behind the last row are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qkz-picture/qkz_picture.h"

namespace korvo {

struct QkzStream {
  uint8_t head[kQkzHeadSize] = {};
  uint32_t headBytes = 0;     // of kQkzHeadSize received
  bool headRead = false;      // head complete and accepted: geometry is set
  QkzGeometry geometry = {};
  std::vector<uint8_t> rows;  // received rows, top row first, at most geometry.rowBytes
};

enum class QkzStreamState { kNeedMore, kComplete, kRefused };

// Takes the next `size` bytes. kRefused, with the reason in *error, when the
// head is not a QKZ picture or describes one larger than this system takes;
// kComplete once every row has arrived (later calls change nothing).
QkzStreamState FeedQkzStream(QkzStream* stream, const uint8_t* data, size_t size,
                             std::string* error);

bool IsQkzStreamComplete(const QkzStream& stream);

// "640 x 480", for messages.
std::string SizeText(const QkzGeometry& geometry);

// Why an incomplete stream cannot be a picture: where the input ended.
std::string QkzTruncation(const QkzStream& stream);

}  // namespace korvo
