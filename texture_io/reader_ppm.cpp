// Portable pixmaps: "P3" (samples as decimal text) and "P6" (samples as
// bytes, two big-endian bytes each when the maximum exceeds 255). The header
// holds width, height and the maximum sample value, separated by white space,
// with "#" comments running to the end of their line.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

bool IsSpace(std::uint8_t ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\v' || ch == '\f';
}

// Where the next word starts after white space and comments.
std::size_t SkipBlanks(const TexCursor& c) {
  const std::uint8_t* base = c.Base();
  std::size_t pos = c.Pos();
  const std::size_t size = c.Size();
  for (;;) {
    while (pos < size && IsSpace(base[pos])) ++pos;
    if (pos < size && base[pos] == '#') {
      while (pos < size && base[pos] != '\n' && base[pos] != '\r') ++pos;
      continue;
    }
    return pos;
  }
}

// Skips white space and comments, then reads a decimal number. False when
// no digit follows or the number exceeds `limit`.
bool ReadNumber(TexCursor& c, std::uint32_t limit, std::uint32_t& value) {
  const std::uint8_t* base = c.Base();
  std::size_t pos = SkipBlanks(c);
  const std::size_t size = c.Size();
  if (pos >= size || base[pos] < '0' || base[pos] > '9') return false;
  std::uint64_t v = 0;
  while (pos < size && base[pos] >= '0' && base[pos] <= '9') {
    v = v * 10 + (base[pos] - '0');
    if (v > limit) return false;
    ++pos;
  }
  c.Seek(pos);
  value = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace

ReadResult ReadPpm(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  if (size < 2 || data[0] != 'P' || (data[1] != '3' && data[1] != '6')) return ReadResult::Rejected;
  if (size < 3 || (!IsSpace(data[2]) && data[2] != '#')) return ReadResult::Rejected;
  const bool text = data[1] == '3';
  TexCursor c(data, size);
  c.Skip(2);
  std::uint32_t w = 0, h = 0, maxval = 0;
  if (!ReadNumber(c, 0x7FFFFFFF, w) || !ReadNumber(c, 0x7FFFFFFF, h) || !ReadNumber(c, 65535, maxval))
    return Reject(TexRejection::BadHeader);
  if (maxval == 0) return Reject(TexRejection::BadHeader);
  if (w == 0 || h == 0) return Reject(TexRejection::NoPixels);
  // Every pixel takes at least three bytes of the file, which also keeps the
  // byte counts below from overflowing.
  if (std::uint64_t(w) * h > size) return Reject(TexRejection::CutShort);

  TexImage img;
  img.format = D3DFMT_X8R8G8B8;
  img.width = w;
  img.height = h;
  img.pitch = w * 4;
  const std::size_t pixels = std::size_t(w) * h;
  // Each sample is scaled from 0..maxval to 0..255, rounding to nearest.
  auto scale = [maxval](std::uint32_t v) {
    return static_cast<std::uint8_t>((v * 255u + maxval / 2) / maxval);
  };

  if (text) {
    // Every sample needs at least two bytes (a digit and a separator), which
    // bounds what a short file can make us allocate above.
    if ((size - c.Pos()) / 2 + 1 < pixels * 3) return Reject(TexRejection::CutShort);
    const ReadResult fits = CheckImageSize(w, h);
    if (fits != ReadResult::Accepted) return fits;
    img.storage.resize(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
      std::uint32_t rgb[3];
      for (std::uint32_t& s : rgb)
        if (!ReadNumber(c, maxval, s))
          return Reject(SkipBlanks(c) >= size ? TexRejection::CutShort : TexRejection::BadSample);
      std::uint8_t* p = &img.storage[i * 4];
      p[0] = scale(rgb[2]);
      p[1] = scale(rgb[1]);
      p[2] = scale(rgb[0]);
      p[3] = 255;
    }
  } else {
    // Exactly one white-space byte separates the header from the samples.
    if (!IsSpace(c.U8())) return Reject(TexRejection::BadHeader);
    const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
    const std::uint8_t* s = c.Take(pixels * 3 * sampleBytes);
    if (!s) return Reject(TexRejection::CutShort);
    const ReadResult fits = CheckImageSize(w, h);
    if (fits != ReadResult::Accepted) return fits;
    img.storage.resize(pixels * 4);
    for (std::size_t i = 0; i < pixels; ++i) {
      std::uint32_t rgb[3];
      for (int k = 0; k < 3; ++k) {
        const std::uint8_t* q = s + (i * 3 + k) * sampleBytes;
        rgb[k] = sampleBytes == 2 ? (std::uint32_t(q[0]) << 8 | q[1]) : q[0];
        if (rgb[k] > maxval) return Reject(TexRejection::BadSample);
      }
      std::uint8_t* p = &img.storage[i * 4];
      p[0] = scale(rgb[2]);
      p[1] = scale(rgb[1]);
      p[2] = scale(rgb[0]);
      p[3] = 255;
    }
  }
  img.data = img.storage.data();
  out.levels.clear();
  out.levels.push_back(std::move(img));
  out.fileFormat = D3DXIFF_PPM;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
