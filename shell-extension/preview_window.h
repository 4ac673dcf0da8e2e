// The preview pane's window: the picture decoded once, painted fitted to
// the window (aspect kept, centred, on the window colour) whenever it is
// drawn, so a resize redraws it at the new size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "shell-extension/stream_thumbnail.h"

namespace korvo {

struct PreviewPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> bgra;  // top row first, 4 x width bytes a row
};

// The input's picture, no larger than size x size.
ShellFailure LoadPreviewPicture(const ByteSource& source, ShellInput input, uint32_t size,
                                PreviewPicture* picture) noexcept;

// The largest rectangle of the picture's aspect inside `area`, centred.
RECT FittedRect(uint32_t width, uint32_t height, const RECT& area) noexcept;

// A child window of `parent` covering `area` that paints `picture`, which
// must outlive it; nullptr when it cannot be made.
HWND CreatePreviewWindow(HWND parent, const RECT& area, const PreviewPicture* picture) noexcept;
void PlacePreviewWindow(HWND window, const RECT& area) noexcept;

// At unload: the window class goes with the code it names.
void UnregisterPreviewWindowClass() noexcept;

}  // namespace korvo
