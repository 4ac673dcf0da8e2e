// The gdk-pixbuf loader module for QKZ pictures: GTK viewers and thumbnailers
// read them through it as RGB pictures without alpha, each pixel the colour
// its palette index selects. The picture's bytes go through QkzStream, which
// takes them one-shot or in any pieces; the pixbuf is made once every row has
// arrived, so input that ends early or is refused costs no pixbuf.
#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#undef GDK_PIXBUF_ENABLE_BACKEND

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "pixbuf-loader/qkz_stream.h"

namespace korvo {
namespace {

struct LoadContext {
  GdkPixbufModuleSizeFunc sizeFunc = nullptr;
  GdkPixbufModulePreparedFunc preparedFunc = nullptr;
  GdkPixbufModuleUpdatedFunc updatedFunc = nullptr;
  gpointer userData = nullptr;
  QkzStream stream;
  bool sized = false;    // the size was announced
  bool skipped = false;  // the caller wants the size only
  bool handedOut = false;
  // The first refusal, given again when the load ends.
  GdkPixbufError failureCode = GDK_PIXBUF_ERROR_FAILED;
  std::string failure;
};

void SetError(GError** error, GdkPixbufError code, const std::string& message) {
  g_set_error_literal(error, GDK_PIXBUF_ERROR, code, message.c_str());
}

// The messages are built in std::string; should that fail, the call fails
// with a fixed one instead of throwing out of the module.
void SetOutOfMemory(GError** error) {
  g_set_error_literal(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, "out of memory");
}

bool Refuse(LoadContext* context, GError** error, GdkPixbufError code, const std::string& message) {
  context->failureCode = code;
  context->failure = message;
  SetError(error, code, message);
  return false;
}

// Announces the size once the head is accepted; fails when a pixbuf of that
// size cannot exist (gdk-pixbuf counts rows in int bytes).
bool AnnounceSize(LoadContext* context, GError** error) {
  const QkzGeometry& geometry = context->stream.geometry;
  int width = static_cast<int>(geometry.width), height = static_cast<int>(geometry.height);
  if (gdk_pixbuf_calculate_rowstride(GDK_COLORSPACE_RGB, FALSE, 8, width, height) <= 0)
    return Refuse(context, error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
                  "QKZ picture too large: " + SizeText(geometry) + " pixels exceed what a pixbuf holds");
  context->sized = true;
  if (context->sizeFunc != nullptr) {
    context->sizeFunc(&width, &height, context->userData);
    context->skipped = width == 0 || height == 0;
  }
  return true;
}

// Fills the pixbuf with the rows as RGB, each index replaced by its palette
// colour; the bytes behind each row's pixels are zeroed so that none is left
// undefined.
void FillPixbuf(const QkzStream& stream, GdkPixbuf* pixbuf) {
  const QkzGeometry& geometry = stream.geometry;
  uint8_t triples[kQkzTripleTableSize];
  PaletteToRgbTriples(stream.head + kQkzPaletteOffset, triples);
  const auto rowstride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
  const size_t rgbBytes = 3 * size_t{geometry.width};
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  for (uint32_t y = 0; y < geometry.height; ++y) {
    const uint8_t* indices = stream.rows.data() + size_t{y} * geometry.stride;
    guchar* rgb = pixels + y * rowstride;
    for (uint32_t x = 0; x < geometry.width; ++x)
      memcpy(rgb + 3 * size_t{x}, triples + 3 * indices[x], 3);
    if (y + 1 < geometry.height) memset(rgb + rgbBytes, 0, rowstride - rgbBytes);
  }
}

gpointer BeginLoad(GdkPixbufModuleSizeFunc sizeFunc, GdkPixbufModulePreparedFunc preparedFunc,
                   GdkPixbufModuleUpdatedFunc updatedFunc, gpointer userData,
                   GError** error) noexcept {
  auto* context = new (std::nothrow) LoadContext();
  if (context == nullptr) {
    SetOutOfMemory(error);
    return nullptr;
  }
  context->sizeFunc = sizeFunc;
  context->preparedFunc = preparedFunc;
  context->updatedFunc = updatedFunc;
  context->userData = userData;
  return context;
}

gboolean TakePieces(gpointer data, const guchar* buffer, guint size, GError** error) {
  auto* context = static_cast<LoadContext*>(data);
  if (!context->failure.empty()) {
    SetError(error, context->failureCode, context->failure);
    return FALSE;
  }
  if (context->skipped || context->handedOut) return TRUE;
  auto noMemory = [context] {
    return "not enough memory for a " + SizeText(context->stream.geometry) + " QKZ picture";
  };
  std::string reason;
  QkzStreamState state;
  try {
    state = FeedQkzStream(&context->stream, buffer, size, &reason);
  } catch (const std::bad_alloc&) {
    return Refuse(context, error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, noMemory());
  }
  if (state == QkzStreamState::kRefused)
    return Refuse(context, error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, reason);
  if (context->stream.headRead && !context->sized && !AnnounceSize(context, error)) return FALSE;
  if (state != QkzStreamState::kComplete || context->skipped) return TRUE;
  const QkzGeometry& geometry = context->stream.geometry;
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, static_cast<int>(geometry.width),
                                     static_cast<int>(geometry.height));
  if (pixbuf == nullptr) return Refuse(context, error, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY, noMemory());
  context->handedOut = true;
  // As every loader does: the pixbuf is handed over first and filled after,
  // then announced as updated. A viewer may clear it when it arrives (Geeqie
  // does), so pixels written before that would be lost.
  if (context->preparedFunc != nullptr) context->preparedFunc(pixbuf, nullptr, context->userData);
  FillPixbuf(context->stream, pixbuf);
  std::vector<uint8_t>().swap(context->stream.rows);
  if (context->updatedFunc != nullptr)
    context->updatedFunc(pixbuf, 0, 0, gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf),
                         context->userData);
  g_object_unref(pixbuf);
  return TRUE;
}

gboolean LoadIncrement(gpointer data, const guchar* buffer, guint size, GError** error) noexcept {
  try {
    return TakePieces(data, buffer, size, error);
  } catch (...) {
    SetOutOfMemory(error);
    return FALSE;
  }
}

gboolean StopLoad(gpointer data, GError** error) noexcept {
  auto* context = static_cast<LoadContext*>(data);
  bool whole = context->failure.empty() && (context->handedOut || context->skipped);
  try {
    if (!context->failure.empty())
      SetError(error, context->failureCode, context->failure);
    else if (!whole)
      SetError(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, QkzTruncation(context->stream));
  } catch (...) {
    SetOutOfMemory(error);
  }
  delete context;
  return whole ? TRUE : FALSE;
}

void KeepPixbuf(GdkPixbuf* pixbuf, GdkPixbufAnimation*, gpointer data) {
  *static_cast<GdkPixbuf**>(data) = static_cast<GdkPixbuf*>(g_object_ref(pixbuf));
}

// One-shot: the same pieces path, fed from the file.
GdkPixbuf* Load(FILE* file, GError** error) noexcept {
  GdkPixbuf* pixbuf = nullptr;
  gpointer context = BeginLoad(nullptr, KeepPixbuf, nullptr, &pixbuf, error);
  if (context == nullptr) return nullptr;
  guchar buffer[65536];
  bool fed = true;
  size_t got;
  while (fed && (got = fread(buffer, 1, sizeof buffer, file)) > 0)
    fed = LoadIncrement(context, buffer, static_cast<guint>(got), error) != FALSE;
  if (fed && ferror(file)) {
    g_set_error(error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_FAILED, "cannot read the file: %s",
                g_strerror(errno));
    fed = false;
  }
  // A failure was reported already: ending the load must not add a second.
  if (!StopLoad(context, fed ? error : nullptr) || !fed) {
    if (pixbuf != nullptr) g_object_unref(pixbuf);
    return nullptr;
  }
  return pixbuf;
}

}  // namespace
}  // namespace korvo

extern "C" {

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule* module) {
  module->load = korvo::Load;
  module->begin_load = korvo::BeginLoad;
  module->stop_load = korvo::StopLoad;
  module->load_increment = korvo::LoadIncrement;
}

// QKZ pictures have no signature: they are recognised by the MIME type their
// file name gives them.
G_MODULE_EXPORT void fill_info(GdkPixbufFormat* info) {
  static GdkPixbufModulePattern signature[] = {{nullptr, nullptr, 0}};
  static gchar* mimeTypes[] = {const_cast<gchar*>("image/x-brimmel-qkz"), nullptr};
  static gchar* extensions[] = {const_cast<gchar*>("qkz"), nullptr};
  info->name = const_cast<gchar*>("qkz");
  info->signature = signature;
  info->description = const_cast<gchar*>("Brimmel QKZ picture");
  info->mime_types = mimeTypes;
  info->extensions = extensions;
  info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
}

}  // extern "C"
