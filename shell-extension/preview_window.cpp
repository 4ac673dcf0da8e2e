#include "shell-extension/preview_window.h"

#include "shell-extension/shell_classes.h"

namespace korvo {
namespace {

constexpr const wchar_t* kWindowClass = L"KorvoShellPreview";

void Paint(HWND window, HDC dc) {
  RECT area;
  GetClientRect(window, &area);
  FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
  const auto* picture = reinterpret_cast<const PreviewPicture*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (picture == nullptr || picture->width == 0) return;
  const RECT fitted = FittedRect(picture->width, picture->height, area);
  const LONG width = fitted.right - fitted.left, height = fitted.bottom - fitted.top;
  // Averaging where the picture shrinks; whole pixels where it grows.
  const bool shrinks = static_cast<uint32_t>(width) < picture->width;
  SetStretchBltMode(dc, shrinks ? HALFTONE : COLORONCOLOR);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(picture->width);
  info.bmiHeader.biHeight = -static_cast<LONG>(picture->height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  StretchDIBits(dc, fitted.left, fitted.top, width, height, 0, 0, static_cast<int>(picture->width),
                static_cast<int>(picture->height), picture->bgra.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

LRESULT CALLBACK PreviewWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // painting covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (dc != nullptr) Paint(window, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(window, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SIZE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterWindowClass() {
  WNDCLASSEXW known = {};
  known.cbSize = sizeof known;
  if (GetClassInfoExW(ShellModule(), kWindowClass, &known)) return true;
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = PreviewWindowProcedure;
  windowClass.hInstance = ShellModule();
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

ShellFailure LoadPreviewPicture(const ByteSource& source, ShellInput input, uint32_t size,
                                PreviewPicture* picture) noexcept {
  *picture = PreviewPicture();
  Thumbnail thumbnail;
  const ShellFailure failure = ShellThumbnail(source, input, size, &thumbnail);
  if (failure != ShellFailure::kNone) return failure;
  try {
    picture->bgra.resize(4 * size_t{thumbnail.width} * thumbnail.height);
  } catch (...) {
    return ShellFailure::kNoMemory;
  }
  BgraPixels(thumbnail, picture->bgra.data());
  picture->width = thumbnail.width;
  picture->height = thumbnail.height;
  return ShellFailure::kNone;
}

RECT FittedRect(uint32_t width, uint32_t height, const RECT& area) noexcept {
  if (width == 0 || height == 0) return {area.left, area.top, area.left, area.top};
  const int64_t areaWidth = area.right > area.left ? area.right - area.left : 0;
  const int64_t areaHeight = area.bottom > area.top ? area.bottom - area.top : 0;
  // The side that binds: the picture's width against the area's, or its height.
  int64_t fittedWidth = areaWidth, fittedHeight = areaHeight;
  if (areaWidth * int64_t{height} > areaHeight * int64_t{width})
    fittedWidth = (areaHeight * width + height / 2) / height;
  else
    fittedHeight = (areaWidth * height + width / 2) / width;
  RECT fitted;
  fitted.left = area.left + static_cast<LONG>((areaWidth - fittedWidth) / 2);
  fitted.top = area.top + static_cast<LONG>((areaHeight - fittedHeight) / 2);
  fitted.right = fitted.left + static_cast<LONG>(fittedWidth);
  fitted.bottom = fitted.top + static_cast<LONG>(fittedHeight);
  return fitted;
}

HWND CreatePreviewWindow(HWND parent, const RECT& area, const PreviewPicture* picture) noexcept {
  if (!RegisterWindowClass()) return nullptr;
  return CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, area.left, area.top,
                         area.right - area.left, area.bottom - area.top, parent, nullptr, ShellModule(),
                         const_cast<PreviewPicture*>(picture));
}

void PlacePreviewWindow(HWND window, const RECT& area) noexcept {
  SetWindowPos(window, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void UnregisterPreviewWindowClass() noexcept { UnregisterClassW(kWindowClass, ShellModule()); }

}  // namespace korvo
