// QKZ pictures and Brimmel archives on a desktop made of an install into a
// temporary prefix (tests/desktop_install.sh, which ctest runs first): the
// loader module through gdk-pixbuf's own API, gdk-pixbuf-thumbnailer, and the
// .thumbnailer files run as the desktop runs them. Skipped without it.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/korvo_runs.h"
#include "tests/support/picture_files.h"
#include "tools/host/plugin_calls.h"

namespace {

std::string Prefix() {
  const char* prefix = getenv("KORVO_DESKTOP_PREFIX");
  return prefix == nullptr ? std::string() : prefix;
}

#define REQUIRE_DESKTOP() \
  if (Prefix().empty()) GTEST_SKIP() << "needs the desktop_install fixture of ctest"

// A picture as red, green, blue triples, top row first.
struct Rgb {
  uint32_t width = 0, height = 0;
  Bytes pixels;
  bool operator==(const Rgb& other) const {
    return width == other.width && height == other.height && pixels == other.pixels;
  }
};

std::ostream& operator<<(std::ostream& out, const Rgb& rgb) {
  return out << rgb.width << " x " << rgb.height << ", " << rgb.pixels.size() << " bytes";
}

// The pixbuf must be RGB without alpha, 8 bits a channel; or, where a
// program saved it with alpha (tumbler), every pixel opaque.
Rgb RgbOfPixbuf(GdkPixbuf* pixbuf, bool opaqueAlpha = false) {
  Rgb rgb;
  const int channels = opaqueAlpha && gdk_pixbuf_get_has_alpha(pixbuf) ? 4 : 3;
  EXPECT_EQ(gdk_pixbuf_get_n_channels(pixbuf), channels);
  EXPECT_EQ(gdk_pixbuf_get_has_alpha(pixbuf), channels == 4);
  EXPECT_EQ(gdk_pixbuf_get_bits_per_sample(pixbuf), 8);
  rgb.width = static_cast<uint32_t>(gdk_pixbuf_get_width(pixbuf));
  rgb.height = static_cast<uint32_t>(gdk_pixbuf_get_height(pixbuf));
  const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
  const auto stride = static_cast<size_t>(gdk_pixbuf_get_rowstride(pixbuf));
  for (uint32_t y = 0; y < rgb.height; ++y)
    for (uint32_t x = 0; x < rgb.width; ++x) {
      const guchar* pixel = pixels + y * stride + size_t{x} * static_cast<size_t>(channels);
      rgb.pixels.insert(rgb.pixels.end(), pixel, pixel + 3);
      if (channels == 4) {
        EXPECT_EQ(pixel[3], 255) << x << ", " << y;
      }
    }
  return rgb;
}

// What the import filter decodes from the file, through its exports.
Rgb FilterRgb(const std::string& path) {
  korvo::PluginSet set;
  const korvo::Status loaded =
      korvo::LoadPluginSet(korvo::BuildPluginDirectory(), korvo::PluginChoice::kOwnByName, &set);
  EXPECT_TRUE(loaded.ok()) << loaded.message;
  std::string error;
  for (const korvo::Plugin& filter : set.plugins) {
    korvo::DecodedBitmap bitmap;
    korvo::BitmapLayout layout;
    if (filter.kind != korvo::PluginKind::kImportFilter ||
        !korvo::DecodePictureFile(filter, path, &bitmap).ok() ||
        !korvo::ReadBitmapLayout(bitmap.info.data(), bitmap.info.size(), &layout, &error))
      continue;
    Bytes triples = korvo::PaletteTriples(bitmap, layout);
    Rgb rgb = {layout.width, layout.height, {}};
    for (uint32_t y = 0; y < layout.height; ++y)
      for (uint32_t x = 0; x < layout.width; ++x) {
        uint8_t index = bitmap.pixels[korvo::BitmapRowOffset(layout, y) + x];
        rgb.pixels.insert(rgb.pixels.end(), &triples[3 * index], &triples[3 * index] + 3);
      }
    return rgb;
  }
  ADD_FAILURE() << "no import filter decodes " << path;
  return Rgb();
}

Rgb PngRgb(const std::string& path) {
  Rgb rgb;
  rgb.pixels = ReadPngRgb(ReadBytes(path), &rgb.width, &rgb.height);
  return rgb;
}

// The sample pictures korvo draws, and pictures of odd sizes whose rows all
// carry fill bytes.
std::vector<std::string> SamplePictures(const std::string& folder) {
  std::vector<std::string> paths;
  for (const char* pattern : {"bars", "arrow", "rings", "checker"}) {
    paths.push_back(folder + pattern + ".QKZ");
    EXPECT_EQ(RunKorvo({"sample-picture", "--pattern", pattern, paths.back()}).status, 0);
  }
  for (TestPicture picture : {MakeTestPicture("one", 1, 1, 1, 2), MakeTestPicture("five", 5, 3, 2, 3),
                              MakeTestPicture("odd", 17, 9, 3, 4)}) {
    paths.push_back(folder + picture.name + ".QKZ");
    WriteBytes(paths.back(), QkzFileOf(picture));
  }
  return paths;
}

// Feeds `bytes` to a loader for the QKZ MIME type `piece` bytes at a time;
// the picture, or the loader's error.
// The loader is watched as Geeqie watches it: the pixbuf is cleared when it
// is first handed over, so a loader that filled it before would show black.
void ClearOnPrepared(GdkPixbufLoader* loader, gpointer) {
  gdk_pixbuf_fill(gdk_pixbuf_loader_get_pixbuf(loader), 0);
}

GdkPixbuf* LoadInPieces(const Bytes& bytes, size_t piece, GError** error) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_mime_type("image/x-brimmel-qkz", error);
  if (loader == nullptr) return nullptr;
  g_signal_connect(loader, "area-prepared", G_CALLBACK(ClearOnPrepared), nullptr);
  bool fed = true;
  for (size_t at = 0; fed && at < bytes.size(); at += piece)
    fed = gdk_pixbuf_loader_write(loader, bytes.data() + at, std::min(piece, bytes.size() - at), error);
  bool closed = gdk_pixbuf_loader_close(loader, fed ? error : nullptr);
  GdkPixbuf* pixbuf = fed && closed ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

TEST(Desktop, TheMimeDatabaseKnowsBothTypesByExtensionInAnyCase) {
  REQUIRE_DESKTOP();
  for (auto [name, type] : {std::pair{"a.QKZ", "image/x-brimmel-qkz"}, std::pair{"a.qkz", "image/x-brimmel-qkz"},
                            std::pair{"a.Qkz", "image/x-brimmel-qkz"}, std::pair{"b.cg", "application/x-brimmel-archive"},
                            std::pair{"b.CG", "application/x-brimmel-archive"}}) {
    gchar* guessed = g_content_type_guess(name, nullptr, 0, nullptr);
    EXPECT_STREQ(guessed, type) << name;
    g_free(guessed);
  }
}

// Every sample picture, read by file name in either letter case and fed one
// byte at a time, gives the import filter's pixels and colours.
TEST(Desktop, TheLoaderGivesTheImportFiltersPixels) {
  REQUIRE_DESKTOP();
  const std::string folder = NewFolder("desktop-loader");
  for (const std::string& path : SamplePictures(folder)) {
    SCOPED_TRACE(path);
    const Rgb expected = FilterRgb(path);
    const std::string lower = path.substr(0, path.size() - 4) + ".qkz";
    WriteBytes(lower, ReadBytes(path));
    for (const std::string& name : {path, lower}) {
      GError* error = nullptr;
      GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(name.c_str(), &error);
      ASSERT_NE(pixbuf, nullptr) << name << ": " << (error != nullptr ? error->message : "");
      EXPECT_EQ(RgbOfPixbuf(pixbuf), expected) << name;
      g_object_unref(pixbuf);
    }
    GdkPixbufFormat* format = gdk_pixbuf_get_file_info(lower.c_str(), nullptr, nullptr);
    ASSERT_NE(format, nullptr);
    gchar* formatName = gdk_pixbuf_format_get_name(format);
    EXPECT_STREQ(formatName, "qkz");
    g_free(formatName);
    // Bytes behind the last row change nothing.
    Bytes fed = ReadBytes(path);
    fed.insert(fed.end(), 100, 0x5A);
    GError* error = nullptr;
    GdkPixbuf* pixbuf = LoadInPieces(fed, 1, &error);
    ASSERT_NE(pixbuf, nullptr) << (error != nullptr ? error->message : "");
    EXPECT_EQ(RgbOfPixbuf(pixbuf), expected);
    g_object_unref(pixbuf);
  }
}

// Each refusal is a GError in gdk-pixbuf's domain saying what is wrong, from
// a file and fed in pieces alike, and no pixbuf.
TEST(Desktop, TruncatedForeignAndOversizedPicturesGiveAGError) {
  REQUIRE_DESKTOP();
  const std::string folder = NewFolder("desktop-refusals");
  Bytes picture = QkzFileOf(MakeTestPicture("odd", 17, 9, 3, 4));
  auto head = [](uint32_t width, uint32_t height, size_t rows) {
    Bytes bytes(1032 + rows, 0x33);
    for (int i = 0; i < 4; ++i) {
      bytes[i] = static_cast<uint8_t>(width >> (8 * i));
      bytes[4 + i] = static_cast<uint8_t>(height >> (8 * i));
    }
    return bytes;
  };
  struct Case {
    const char* name;
    Bytes bytes;
    GdkPixbufError code;
    const char* message;
  } cases[] = {
      {"head", Bytes(picture.begin(), picture.begin() + 700), GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
       "truncated QKZ picture: 700 bytes, fewer than its 1032-byte head"},
      {"rows", Bytes(picture.begin(), picture.end() - 1), GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
       "truncated QKZ picture: a 17 x 9 picture needs 180 bytes of rows, 179 arrived"},
      {"foreign", head(0, 5, 100), GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "not a QKZ picture"},
      // (65536 would start with the icon format's signature, 0 0 1 0.)
      {"4gib", head(65537, 65536, 4096), GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
       "QKZ picture too large: its head claims 65537 x 65536 pixels"},
      {"pixbuf", head(0x7FFFFFFF, 1, 4096), GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
       "QKZ picture too large: 2147483647 x 1 pixels exceed what a pixbuf holds"},
      {"claims", head(16384, 65535, 5000), GDK_PIXBUF_ERROR_CORRUPT_IMAGE,
       "needs 1073725440 bytes of rows, 5000 arrived"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder + c.name + ".qkz";
    WriteBytes(path, c.bytes);
    for (size_t piece : {size_t{0}, size_t{1}, size_t{4096}}) {
      GError* error = nullptr;
      GdkPixbuf* pixbuf = piece == 0 ? gdk_pixbuf_new_from_file(path.c_str(), &error)
                                     : LoadInPieces(c.bytes, piece, &error);
      EXPECT_EQ(pixbuf, nullptr) << piece;
      ASSERT_NE(error, nullptr) << piece;
      EXPECT_EQ(error->domain, GDK_PIXBUF_ERROR) << piece;
      EXPECT_EQ(error->code, c.code) << piece;
      EXPECT_NE(std::string(error->message).find(c.message), std::string::npos) << piece << ": " << error->message;
      g_error_free(error);
      if (pixbuf != nullptr) g_object_unref(pixbuf);
    }
  }
}

// A program built without sanitizers that loads the loader module: under
// the sanitizers it runs behind their runtimes, its own leaks not counted.
RunResult RunUninstrumented(const std::string& program, const std::vector<std::string>& arguments) {
  const char* runtimes = getenv("KORVO_SANITIZER_RUNTIMES");
  if (runtimes == nullptr || *runtimes == '\0') return RunProgram(program, arguments);
  setenv("LD_PRELOAD", runtimes, 1);
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  RunResult run = RunProgram(program, arguments);
  unsetenv("LD_PRELOAD");
  unsetenv("ASAN_OPTIONS");
  return run;
}

// gdk-pixbuf's thumbnailer reads QKZ pictures of either letter case through
// the loader; at the picture's own size it shows what korvo convert writes.
TEST(Desktop, GdkPixbufThumbnailerShowsWhatKorvoConvertWrites) {
  REQUIRE_DESKTOP();
  const std::string folder = NewFolder("desktop-gdk-thumbnailer");
  for (const std::string& path : SamplePictures(folder)) {
    SCOPED_TRACE(path);
    ASSERT_EQ(RunKorvo({"convert", path, "-o", folder + "convert.png"}).status, 0);
    const Rgb expected = PngRgb(folder + "convert.png");
    const std::string lower = path.substr(0, path.size() - 4) + ".qkz";
    WriteBytes(lower, ReadBytes(path));
    for (const std::string& name : {path, lower}) {
      std::remove((folder + "thumb.png").c_str());
      RunResult run = RunUninstrumented("/usr/bin/gdk-pixbuf-thumbnailer",
                                 {"-s", std::to_string(std::max(expected.width, expected.height)), name,
                                  folder + "thumb.png"});
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(PngRgb(folder + "thumb.png"), expected) << name;
    }
  }
}

// Each .thumbnailer file's Exec line with the desktop's %i, %u, %o and %s,
// run as tumbler runs it: the output file is created first and held open,
// and the thumbnail is read back through that handle (`seen`).
RunResult RunThumbnailer(const std::string& kind, const std::string& input, const std::string& output,
                         int size, Bytes* seen = nullptr) {
  const Bytes text = ReadBytes(Prefix() + "/share/thumbnailers/korvo-" + kind + ".thumbnailer");
  std::istringstream file(std::string(text.begin(), text.end()));
  std::string line, exec;
  while (std::getline(file, line))
    if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
  std::vector<std::string> words;
  std::istringstream split(exec);
  for (std::string word; split >> word;) {
    if (word == "%i") word = input;
    else if (word == "%u") word = "file://" + input;
    else if (word == "%o") word = output;
    else if (word == "%s") word = std::to_string(size);
    words.push_back(word);
  }
  if (words.empty()) return RunResult();
  std::string program = words[0];
  words.erase(words.begin());
  FILE* held = fopen(output.c_str(), "w+b");
  EXPECT_NE(held, nullptr) << output;
  RunResult run = RunProgram(program, words);
  if (held == nullptr) return run;
  if (seen != nullptr) {
    seen->assign(1 << 20, 0);
    seen->resize(fread(seen->data(), 1, seen->size(), held));
  }
  fclose(held);
  return run;
}

TEST(Desktop, TheThumbnailersMakePicturesOfTheRightSizeAndNothingForADamagedArchive) {
  REQUIRE_DESKTOP();
  const std::string folder = NewFolder("desktop-thumbnailers");
  const std::vector<TestPicture> pictures = {MakeTestPicture("wide", 40, 10, 1, 2), MakeTestPicture("b", 7, 9, 2, 2)};
  for (const TestPicture& picture : pictures) WriteBytes(folder + picture.name + ".QKZ", QkzFileOf(picture));
  WriteBytes(folder + "lower.qkz", QkzFileOf(pictures[0]));
  for (const char* layout : {"offset-table", "named-entry"}) {
    ASSERT_EQ(RunKorvo({"pack", "--layout", layout, "-o", folder + layout + ".cg", folder + "wide.QKZ",
                        folder + "b.QKZ"}).status, 0);
  }
  Bytes good = ReadBytes(folder + "named-entry.cg");
  WriteBytes(folder + "torn.cg", Bytes(good.begin(), good.begin() + good.size() / 2));
  struct Case {
    const char* kind;
    const char* input;
    int size;
    uint32_t width, height;
  } cases[] = {{"picture", "wide.QKZ", 20, 20, 5}, {"picture", "lower.qkz", 128, 40, 10},
               {"archive", "offset-table.cg", 8, 8, 2}, {"archive", "named-entry.cg", 16, 16, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Bytes seen;
    RunResult run = RunThumbnailer(c.kind, folder + c.input, folder + "out.png", c.size, &seen);
    ASSERT_EQ(run.status, 0) << run.err;
    Rgb thumbnail;
    thumbnail.pixels = ReadPngRgb(seen, &thumbnail.width, &thumbnail.height);
    EXPECT_EQ(thumbnail.width, c.width);
    EXPECT_EQ(thumbnail.height, c.height);
    ASSERT_EQ(RunKorvo({"thumbnail", folder + c.input, folder + "direct.png", "--size",
                        std::to_string(c.size)}).status, 0);
    EXPECT_EQ(thumbnail, PngRgb(folder + "direct.png"));
    std::remove((folder + "direct.png").c_str());
  }
  // A damaged archive leaves the desktop's file empty: nothing to cache.
  std::vector<std::string> before = FilesIn(folder);
  Bytes seen;
  RunResult run = RunThumbnailer("archive", folder + "torn.cg", folder + "out.png", 128, &seen);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("torn.cg"), std::string::npos) << run.err;
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(FilesIn(folder), before);
  for (auto [kind, line] : {std::pair{"picture", "MimeType=image/x-brimmel-qkz;"},
                            std::pair{"archive", "MimeType=application/x-brimmel-archive;"}}) {
    const Bytes text = ReadBytes(Prefix() + "/share/thumbnailers/korvo-" + kind + ".thumbnailer");
    EXPECT_NE(std::string(text.begin(), text.end()).find(line), std::string::npos) << kind;
  }
}

// Xfce's thumbnailer service itself, as Thunar asks it: tumblerd on a
// private session bus, with the prefix's thumbnailers and loader, queued a
// picture and both archive layouts over D-Bus. Each thumbnail it saves
// holds the pixels korvo thumbnail gives at tumbler's normal size, 128.
struct TumblerReplies {
  guint handle = 0;
  bool finished = false;
  std::vector<std::string> ready, errors;
};

void OnTumblerSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name,
                     GVariant* parameters, gpointer data) {
  auto* replies = static_cast<TumblerReplies*>(data);
  guint handle = 0;
  g_variant_get_child(parameters, 0, "u", &handle);
  if (handle != replies->handle) return;
  if (g_strcmp0(name, "Finished") == 0) replies->finished = true;
  if (g_strcmp0(name, "Ready") == 0 || g_strcmp0(name, "Error") == 0) {
    GVariantIter* uris = nullptr;
    g_variant_get_child(parameters, 1, "as", &uris);
    for (const gchar* uri = nullptr; g_variant_iter_next(uris, "&s", &uri);)
      (g_strcmp0(name, "Ready") == 0 ? replies->ready : replies->errors).push_back(uri);
    g_variant_iter_free(uris);
    if (g_strcmp0(name, "Error") == 0) {
      const gchar* message = nullptr;
      g_variant_get_child(parameters, 3, "&s", &message);
      replies->errors.push_back(message);
    }
  }
}

// Starts a program with `environment`, its standard output piped; 0 when it cannot.
GPid Spawn(const std::vector<std::string>& words, gchar** environment, gint* output, bool quiet = false) {
  std::vector<gchar*> argv;
  for (const std::string& word : words) argv.push_back(const_cast<gchar*>(word.c_str()));
  argv.push_back(nullptr);
  GPid pid = 0;
  GError* error = nullptr;
  if (!g_spawn_async_with_pipes(nullptr, argv.data(), environment,
                                GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                            (quiet ? G_SPAWN_STDERR_TO_DEV_NULL : 0)), nullptr, nullptr, &pid,
                                nullptr, output, nullptr, &error)) {
    ADD_FAILURE() << words[0] << ": " << error->message;
    g_error_free(error);
  }
  return pid;
}

TEST(Desktop, TumblerOverDBusSavesWhatKorvoThumbnailGives) {
  REQUIRE_DESKTOP();
  const std::string tumblerd = "/usr/lib/x86_64-linux-gnu/tumbler-1/tumblerd";
  if (access(tumblerd.c_str(), X_OK) != 0) GTEST_SKIP() << "no tumbler here: " << tumblerd;
  if (access("/usr/bin/dbus-daemon", X_OK) != 0) GTEST_SKIP() << "no dbus-daemon here";
  const std::string folder = NewFolder("tumbler");
  WriteBytes(folder + "small.QKZ", QkzFileOf(MakeTestPicture("small", 40, 30, 1, 2)));
  std::vector<std::string> pictures;
  for (const char* name : {"wide", "tall"}) {
    pictures.push_back(folder + name + ".QKZ");
    ASSERT_EQ(RunKorvo({"sample-picture", "--pattern", "rings", pictures.back()}).status, 0);
  }
  std::vector<std::pair<std::string, std::string>> inputs = {{folder + "small.QKZ", "image/x-brimmel-qkz"}};
  for (const char* layout : {"offset-table", "named-entry"}) {
    ASSERT_EQ(RunKorvo({"pack", "--layout", layout, "-o", folder + layout + ".cg", pictures[0], pictures[1]}).status, 0);
    inputs.emplace_back(folder + layout + ".cg", "application/x-brimmel-archive");
  }

  gint busOutput = -1;
  GPid bus = Spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, nullptr, &busOutput, true);
  ASSERT_NE(bus, 0);
  FILE* addressFile = fdopen(busOutput, "r");
  char address[1024] = {};
  ASSERT_NE(fgets(address, sizeof address, addressFile), nullptr);
  address[strcspn(address, "\n")] = '\0';
  gchar** environment = g_get_environ();
  for (auto [name, value] : {std::pair<const char*, std::string>{"DBUS_SESSION_BUS_ADDRESS", address},
                             {"HOME", folder}, {"XDG_CACHE_HOME", folder + "cache"},
                             {"XDG_DATA_HOME", folder + "data"}, {"XDG_CONFIG_HOME", folder + "config"}})
    environment = g_environ_setenv(environment, name, value.c_str(), TRUE);
  // A loader module built with AddressSanitizer loads only behind its runtimes.
  const char* runtimes = getenv("KORVO_SANITIZER_RUNTIMES");
  if (runtimes != nullptr && *runtimes != '\0') {
    environment = g_environ_setenv(environment, "LD_PRELOAD", runtimes, TRUE);
    environment = g_environ_setenv(environment, "ASAN_OPTIONS", "detect_leaks=0", TRUE);
  }
  GPid daemon = Spawn({tumblerd}, environment, nullptr);
  g_strfreev(environment);
  GError* error = nullptr;
  GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
      address, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error);
  ASSERT_NE(connection, nullptr) << error->message;
  const char* service = "org.freedesktop.thumbnails.Thumbnailer1";
  const char* object = "/org/freedesktop/thumbnails/Thumbnailer1";
  bool owned = false;
  for (int i = 0; i < 1200 && !owned; ++i) {  // up to a minute on a loaded machine
    GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", service),
                                                  G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (reply != nullptr) {
      gboolean has = FALSE;
      g_variant_get(reply, "(b)", &has);
      owned = has;
      g_variant_unref(reply);
    }
    if (!owned) g_usleep(50000);
  }
  TumblerReplies replies;
  if (owned) {
    guint subscription = g_dbus_connection_signal_subscribe(connection, service, service, nullptr, object, nullptr,
                                                            G_DBUS_SIGNAL_FLAGS_NONE, OnTumblerSignal, &replies, nullptr);
    GVariantBuilder uris, types;
    g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
    g_variant_builder_init(&types, G_VARIANT_TYPE("as"));
    for (const auto& [path, type] : inputs) {
      gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
      g_variant_builder_add(&uris, "s", uri);
      g_variant_builder_add(&types, "s", type.c_str());
      g_free(uri);
    }
    GVariant* reply = g_dbus_connection_call_sync(connection, service, object, service, "Queue",
                                                  g_variant_new("(asasssu)", &uris, &types, "normal", "default", 0u),
                                                  G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
    EXPECT_NE(reply, nullptr) << (error != nullptr ? error->message : "");
    if (reply != nullptr) {
      g_variant_get(reply, "(u)", &replies.handle);
      g_variant_unref(reply);
      for (int i = 0; i < 12000 && !replies.finished; ++i) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(10000);
      }
    }
    g_dbus_connection_signal_unsubscribe(connection, subscription);
  }
  g_object_unref(connection);
  kill(daemon, SIGTERM);
  kill(bus, SIGTERM);
  waitpid(daemon, nullptr, 0);
  waitpid(bus, nullptr, 0);
  fclose(addressFile);
  ASSERT_TRUE(owned) << "tumblerd took no name on the private bus";
  ASSERT_TRUE(replies.finished) << "tumbler did not finish in 120 s";
  EXPECT_TRUE(replies.errors.empty()) << replies.errors.front();
  EXPECT_EQ(replies.ready.size(), inputs.size());
  for (const auto& [path, type] : inputs) {
    SCOPED_TRACE(path);
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    gchar* md5 = g_compute_checksum_for_string(G_CHECKSUM_MD5, uri, -1);
    const std::string saved = folder + "cache/thumbnails/normal/" + md5 + ".png";
    g_free(md5);
    g_free(uri);
    ASSERT_EQ(RunKorvo({"thumbnail", path, folder + "expected.png", "--size", "128"}).status, 0);
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(saved.c_str(), &error);
    ASSERT_NE(pixbuf, nullptr) << saved << ": " << error->message;
    EXPECT_EQ(RgbOfPixbuf(pixbuf, true), PngRgb(folder + "expected.png"));
    g_object_unref(pixbuf);
  }
}

}  // namespace
