// The BITMAPINFO block the host receives: a 40-byte BITMAPINFOHEADER and a
// 256-colour table.
#pragma once

#include <cstdint>

#include "host-contract/block_owner.h"
#include "host-contract/failure.h"
#include "host-contract/host_contract.h"
#include "platform/platform.h"
#include "qkz-picture/qkz_picture.h"

namespace korvo {

constexpr uint32_t kBitmapInfoSize = kBitmapInfoHeaderSize + kColourTableSize;  // 1064

// Allocates the block zero-filled (GHND) into `info`, writes the header for
// an 8-bit bottom-up bitmap of the picture's size and the colours from the
// head's palette. kNone, or kNoMemory when the allocation or the lock failed.
Failure BuildBitmapInfo(const uint8_t* head, const QkzGeometry& geometry, BlockOwner* info);

}  // namespace korvo
