// PNG through the Windows Imaging Component, in memory.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdint>

#include "qkz-picture/qkz_picture.h"
#include "common/row_stride.h"
#include "tools/korvo/pictures/png_file.h"
#include "tools/korvo/pictures/png_policy.h"

namespace korvo {
namespace {

// Releases a COM interface when it goes out of scope.
template <typename Interface>
struct ComReference {
  Interface* pointer = nullptr;
  ComReference() = default;
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;
  ~ComReference() {
    if (pointer != nullptr) pointer->Release();
  }
  Interface** out() { return &pointer; }
  Interface* operator->() const { return pointer; }
};

bool CreateFactory(ComReference<IWICImagingFactory>* factory, std::string* error) {
  HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(started) && started != RPC_E_CHANGED_MODE) {
    *error = "cannot start COM for the Windows Imaging Component";
    return false;
  }
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, reinterpret_cast<void**>(factory->out())))) {
    *error = "the Windows Imaging Component is not available; use --format bmp";
    return false;
  }
  return true;
}

bool Failed(HRESULT result, const char* step, std::string* error) {
  if (SUCCEEDED(result)) return false;
  char code[16];
  snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(result));
  *error = std::string("PNG: the Windows Imaging Component failed to ") + step + " (" + code + ")";
  return true;
}

// Bits per index of an indexed pixel format, 0 for any other.
unsigned IndexedBits(const WICPixelFormatGUID& format) {
  if (IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed)) return 8;
  if (IsEqualGUID(format, GUID_WICPixelFormat4bppIndexed)) return 4;
  if (IsEqualGUID(format, GUID_WICPixelFormat2bppIndexed)) return 2;
  if (IsEqualGUID(format, GUID_WICPixelFormat1bppIndexed)) return 1;
  return 0;
}

// The PNG colour type behind a pixel format the PNG decoder gives, in the
// words libpng's back end uses.
const char* ColourTypeName(const WICPixelFormatGUID& format) {
  for (const GUID* grey : {&GUID_WICPixelFormatBlackWhite, &GUID_WICPixelFormat2bppGray,
                           &GUID_WICPixelFormat4bppGray, &GUID_WICPixelFormat8bppGray,
                           &GUID_WICPixelFormat16bppGray})
    if (IsEqualGUID(format, *grey)) return "greyscale";
  for (const GUID* rgb : {&GUID_WICPixelFormat24bppBGR, &GUID_WICPixelFormat24bppRGB,
                          &GUID_WICPixelFormat48bppRGB})
    if (IsEqualGUID(format, *rgb)) return "RGB";
  for (const GUID* rgba : {&GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat32bppRGBA,
                           &GUID_WICPixelFormat64bppRGBA})
    if (IsEqualGUID(format, *rgba)) return "RGBA";
  return "unknown colour type";
}

const GUID* IndexedFormat(uint16_t bitCount) {
  switch (bitCount) {
    case 1: return &GUID_WICPixelFormat1bppIndexed;
    case 4: return &GUID_WICPixelFormat4bppIndexed;
    case 8: return &GUID_WICPixelFormat8bppIndexed;
    default: return nullptr;
  }
}

}  // namespace

bool EncodePng(const DecodedBitmap& bitmap, const BitmapLayout& layout, Bytes* png,
               std::string* error) {
  ComReference<IWICImagingFactory> factory;
  if (!CreateFactory(&factory, error)) return false;
  ComReference<IStream> stream;
  ComReference<IWICBitmapEncoder> encoder;
  ComReference<IWICBitmapFrameEncode> frame;
  ComReference<IPropertyBag2> properties;
  if (Failed(CreateStreamOnHGlobal(nullptr, TRUE, stream.out()), "make a stream", error) ||
      Failed(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out()),
             "make an encoder", error) ||
      Failed(encoder->Initialize(stream.pointer, WICBitmapEncoderNoCache), "start the encoder",
             error) ||
      Failed(encoder->CreateNewFrame(frame.out(), properties.out()), "make a frame", error) ||
      Failed(frame->Initialize(properties.pointer), "start the frame", error) ||
      Failed(frame->SetSize(layout.width, layout.height), "size the frame", error))
    return false;

  // Palette bitmaps keep their indices and colours; the rest go as BGR.
  const GUID* indexed = IndexedFormat(layout.bitCount);
  WICPixelFormatGUID format = indexed != nullptr ? *indexed : GUID_WICPixelFormat24bppBGR;
  if (Failed(frame->SetPixelFormat(&format), "set the pixel format", error)) return false;
  if (indexed != nullptr && !IsEqualGUID(format, *indexed)) {
    *error = "PNG: this Windows Imaging Component cannot write indexed PNGs; use --format bmp";
    return false;
  }
  // WIC takes the rows' size in 32 bits; RowStride wraps beyond them.
  const uint64_t rgbStride = RowStride(layout.width, 24);
  if (indexed == nullptr && (layout.width > (UINT32_MAX - 3) / 3 || rgbStride * layout.height > UINT32_MAX)) {
    *error = "PNG: the picture is too large for the Windows Imaging Component";
    return false;
  }
  auto stride = static_cast<uint32_t>(indexed != nullptr ? layout.stride : rgbStride);
  Bytes rows(size_t{stride} * layout.height);
  for (uint32_t y = 0; y < layout.height; ++y) {
    uint8_t* row = &rows[size_t{y} * stride];
    if (indexed != nullptr) {
      std::copy_n(bitmap.pixels.data() + BitmapRowOffset(layout, y), layout.stride, row);
    } else {
      RowToRgb(bitmap, layout, y, row);
      for (uint32_t x = 0; x < layout.width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
    }
  }
  if (indexed != nullptr) {
    Bytes triples = PaletteTriples(bitmap, layout);
    std::vector<WICColor> colours(triples.size() / 3);
    for (size_t i = 0; i < colours.size(); ++i)
      colours[i] = 0xFF000000u | (WICColor{triples[3 * i]} << 16) |
                   (WICColor{triples[3 * i + 1]} << 8) | triples[3 * i + 2];
    ComReference<IWICPalette> palette;
    if (Failed(factory->CreatePalette(palette.out()), "make a palette", error) ||
        Failed(palette->InitializeCustom(colours.data(), static_cast<UINT>(colours.size())),
               "fill the palette", error) ||
        Failed(frame->SetPalette(palette.pointer), "set the palette", error))
      return false;
  }
  if (Failed(frame->WritePixels(layout.height, stride, static_cast<UINT>(rows.size()), rows.data()),
             "write the pixels", error) ||
      Failed(frame->Commit(), "finish the frame", error) ||
      Failed(encoder->Commit(), "finish the file", error))
    return false;

  HGLOBAL memory = nullptr;
  STATSTG status = {};
  if (Failed(GetHGlobalFromStream(stream.pointer, &memory), "reach its output", error) ||
      Failed(stream->Stat(&status, STATFLAG_NONAME), "measure its output", error))
    return false;
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(memory));
  if (bytes == nullptr) {
    *error = "out of memory";
    return false;
  }
  png->assign(bytes, bytes + status.cbSize.QuadPart);
  GlobalUnlock(memory);
  return true;
}

bool DecodeIndexedPng(const Bytes& data, uint64_t largestPicture, IndexedPicture* picture,
                      std::string* error) {
  ComReference<IWICImagingFactory> factory;
  if (!CreateFactory(&factory, error)) return false;
  ComReference<IWICStream> stream;
  if (Failed(factory->CreateStream(stream.out()), "make a stream", error) ||
      Failed(stream->InitializeFromMemory(const_cast<BYTE*>(data.data()),
                                          static_cast<DWORD>(data.size())),
             "read the file", error))
    return false;
  ComReference<IWICBitmapDecoder> decoder;
  ComReference<IWICBitmapFrameDecode> frame;
  if (FAILED(factory->CreateDecoderFromStream(stream.pointer, nullptr, WICDecodeMetadataCacheOnDemand,
                                              decoder.out())) ||
      FAILED(decoder->GetFrame(0, frame.out()))) {
    *error = "damaged PNG";
    return false;
  }
  UINT width = 0, height = 0;
  WICPixelFormatGUID format;
  if (Failed(frame->GetSize(&width, &height), "read the size", error) ||
      Failed(frame->GetPixelFormat(&format), "read the pixel format", error))
    return false;
  const unsigned bits = IndexedBits(format);
  QkzGeometry geometry;
  *error = bits == 0 ? NotIndexedPng(ColourTypeName(format))
                     : CheckPngSize(width, height, largestPicture, &geometry);
  if (!error->empty()) return false;
  ComReference<IWICPalette> palette;
  WICColor colours[256] = {};
  UINT colourCount = 0;
  if (Failed(factory->CreatePalette(palette.out()), "make a palette", error) ||
      Failed(frame->CopyPalette(palette.pointer), "read the palette", error) ||
      Failed(palette->GetColors(256, colours, &colourCount), "read the palette", error))
    return false;
  IndexedPicture result;
  StartIndexedPicture(geometry, &result);
  for (UINT i = 0; i < colourCount; ++i)
    SetPaletteColour(i, static_cast<uint8_t>(colours[i] >> 16), static_cast<uint8_t>(colours[i] >> 8),
                     static_cast<uint8_t>(colours[i]), &result);
  // Packed rows as WIC gives them, then one index per byte; a 2-bit row
  // packs as a 1-bit row twice as wide.
  const UINT packedStride = RowStride(width * bits, 1);
  Bytes packed(size_t{packedStride} * height);
  if (Failed(frame->CopyPixels(nullptr, packedStride, static_cast<UINT>(packed.size()), packed.data()),
             "read the pixels", error))
    return false;
  for (UINT y = 0; y < height; ++y)
    for (UINT x = 0; x < width; ++x) {
      uint8_t byte = packed[size_t{y} * packedStride + x * bits / 8];
      unsigned shift = 8 - bits - (x * bits % 8);
      result.rows[size_t{y} * geometry.stride + x] =
          static_cast<uint8_t>((byte >> shift) & ((1u << bits) - 1));
    }
  *picture = std::move(result);
  return true;
}

}  // namespace korvo
