// Writes code page 932 as this system's iconv decodes it, as C++ tables for
// the web engine, whose C library has no code page 932: every single byte,
// and every pair that starts with a lead byte. The web viewer then shows and
// refuses exactly the names korvo list shows and refuses on Linux.
//
//   cp932_table OUTPUT.inc
#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint16_t kInvalid = 0xFFFF;
constexpr uint16_t kLead = 0xFFFE;

// The one UTF-16 unit `bytes` decode to, kLead when they are the start of a
// longer character, or kInvalid.
uint16_t Decode(iconv_t converter, const unsigned char* bytes, size_t length) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
  size_t inLeft = length;
  unsigned char out[8];
  char* outAt = reinterpret_cast<char*>(out);
  size_t outLeft = sizeof out;
  size_t done = iconv(converter, &in, &inLeft, &outAt, &outLeft);
  if (done == static_cast<size_t>(-1)) return errno == EINVAL ? kLead : kInvalid;
  if (inLeft != 0 || sizeof out - outLeft != 2) return kInvalid;
  return static_cast<uint16_t>(out[0] | out[1] << 8);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: cp932_table OUTPUT.inc\n");
    return 2;
  }
  iconv_t converter = iconv_open("UTF-16LE", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    perror("cp932_table: iconv_open CP932");
    return 1;
  }
  uint16_t single[256];
  std::vector<int> leads;
  for (int b = 0; b < 256; ++b) {
    const unsigned char byte = static_cast<unsigned char>(b);
    single[b] = Decode(converter, &byte, 1);
    if (single[b] == kLead) leads.push_back(b);
  }
  FILE* out = fopen(argv[1], "w");
  if (out == nullptr) {
    perror(argv[1]);
    return 1;
  }
  fprintf(out, "// Code page 932 as glibc's iconv decodes it; written by cp932_table.\n");
  fprintf(out, "constexpr uint16_t kCp932Invalid = 0x%04X, kCp932Lead = 0x%04X;\n", kInvalid, kLead);
  fprintf(out, "constexpr uint16_t kCp932Single[256] = {");
  for (int b = 0; b < 256; ++b) fprintf(out, "%s0x%04X,", b % 12 ? "" : "\n", single[b]);
  fprintf(out, "\n};\n// Row of each lead byte in kCp932Pairs, plus 1; 0 for other bytes.\n");
  fprintf(out, "constexpr uint8_t kCp932LeadRow[256] = {");
  int row = 0;
  for (int b = 0; b < 256; ++b)
    fprintf(out, "%s%d,", b % 24 ? "" : "\n", single[b] == kLead ? ++row : 0);
  fprintf(out, "\n};\nconstexpr uint16_t kCp932Pairs[%zu][256] = {\n", leads.size());
  for (int lead : leads) {
    fprintf(out, "{");
    for (int trail = 0; trail < 256; ++trail) {
      const unsigned char pair[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
      fprintf(out, "%s0x%04X,", trail % 12 ? "" : "\n", Decode(converter, pair, 2));
    }
    fprintf(out, "},\n");
  }
  fprintf(out, "};\n");
  iconv_close(converter);
  return fclose(out) == 0 ? 0 : 1;
}
