// Reading the start-up parameter file "Readme.txt".
#include <cctype>
#include <cstddef>
#include <fstream>

#include "app/app.h"

namespace {

constexpr std::size_t kWordMax = 255;

// One white-space separated word, as stream extraction reads it, keeping at
// most 255 characters; the rest of an over-long word is skipped.
bool ReadWord(std::istream& in, char (&word)[256]) {
  word[0] = '\0';
  if (!in) return false;
  in >> std::ws;
  std::size_t n = 0;
  for (int c = in.peek(); c != std::char_traits<char>::eof() && !std::isspace(c); c = in.peek()) {
    in.get();
    if (n < kWordMax) word[n++] = static_cast<char>(c);
  }
  word[n] = '\0';
  if (n == 0) {
    in.setstate(std::ios::failbit);
    return false;
  }
  return true;
}

// A number as stream extraction reads it: optional sign and digits, leaving
// whatever follows them ("x10000" of "0x10000", ".0" of "65536.0") to the
// next read. Out of the 32-bit range fails the stream.
bool ReadInt(std::istream& in, int* value) { return static_cast<bool>(in >> *value); }

}  // namespace

bool ReadStartupParameters(const char* fileName, StartupParameters* out) {
  *out = StartupParameters{};
  std::ifstream in(fileName);
  char label[256];
  // One chain of extractions: once one fails, the rest read nothing.
  ReadWord(in, label);
  ReadInt(in, &out->patchSize);
  ReadWord(in, label);
  ReadInt(in, &out->levels);
  ReadWord(in, label);
  ReadInt(in, &out->vertexLimit);
  for (auto& name : out->textures) {
    ReadWord(in, label);
    ReadWord(in, name);
  }
  const bool ok = static_cast<bool>(in);
  in.close();
  return ok && !in.fail();
}
