// Device-independent bitmaps: an information header, an optional colour
// table and the pixel rows (bottom-up unless the height is negative),
// uncompressed, run-length encoded (8 or 4 bits) or with bit-field masks.
#include <algorithm>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitFields = 3;

struct Masks {
  std::uint32_t r, g, b, a;
  bool Is(std::uint32_t mr, std::uint32_t mg, std::uint32_t mb, std::uint32_t ma) const {
    return r == mr && g == mg && b == mb && a == ma;
  }
};

// The format whose channel layout the masks describe; UNKNOWN when none does.
D3DFORMAT FormatFromMasks(std::uint32_t bits, const Masks& m) {
  if (bits == 24 && m.Is(0xFF0000, 0xFF00, 0xFF, 0)) return D3DFMT_R8G8B8;
  if (bits == 32 && m.Is(0xFF0000, 0xFF00, 0xFF, 0)) return D3DFMT_X8R8G8B8;
  if (bits == 32 && m.Is(0xFF0000, 0xFF00, 0xFF, 0xFF000000u)) return D3DFMT_A8R8G8B8;
  if (bits == 16) {
    if (m.Is(0xF800, 0x7E0, 0x1F, 0)) return D3DFMT_R5G6B5;
    if (m.Is(0x7C00, 0x3E0, 0x1F, 0)) return D3DFMT_X1R5G5B5;
    if (m.Is(0x7C00, 0x3E0, 0x1F, 0x8000)) return D3DFMT_A1R5G5B5;
    if (m.Is(0xFF, 0xFF, 0xFF, 0xFF00)) return D3DFMT_A8L8;
    if (m.Is(0xE0, 0x1C, 0x3, 0xFF00)) return D3DFMT_A8R3G3B2;
  }
  return D3DFMT_UNKNOWN;
}

// Run-length pixels: pairs of (count, index) or escapes (0 then 0 end of
// line, 1 end of bitmap, 2 delta, n >= 3 literal). Runs that go past the
// row are cut at its end; rows are bottom-up. The stream must reach its end
// marker or fill the last row: a stream that runs out is rejected.
bool DecodeRle(TexCursor& c, bool four, std::uint32_t w, std::uint32_t h, std::uint8_t* out) {
  std::uint32_t x = 0, y = 0;  // y counts from the bottom row
  auto put = [&](std::uint8_t index) {
    if (x < w && y < h) out[static_cast<std::size_t>(h - 1 - y) * w + x] = index;
    ++x;
  };
  for (;;) {
    if (y >= h) return true;
    std::uint8_t count = c.U8();
    std::uint8_t value = c.U8();
    if (c.Failed()) return false;
    if (count > 0) {
      for (std::uint32_t i = 0; i < count && x < w; ++i)
        put(four ? ((i & 1) ? (value & 0x0F) : (value >> 4)) : value);
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // delta
        std::uint8_t dx = c.U8();
        std::uint8_t dy = c.U8();
        if (c.Failed()) return false;
        x += dx;
        y += dy;
        break;
      }
      default: {  // literal run of `value` pixels, padded to a 16-bit boundary
        std::size_t bytes = four ? (value + 1u) / 2u : value;
        const std::uint8_t* p = c.Take(bytes + (bytes & 1));
        if (!p) return false;
        for (std::uint32_t i = 0; i < value && x < w; ++i)
          put(four ? ((i & 1) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4)) : p[i]);
        break;
      }
    }
  }
}

}  // namespace

ReadResult ReadDibBody(const std::uint8_t* data, std::size_t size, std::size_t headerPos,
                       std::size_t pixelPos, TexImageChain& out) {
  TexCursor c(data, size);
  if (!c.Seek(headerPos)) return ReadResult::Rejected;
  const std::uint32_t headerSize = c.U32LE();
  const std::int32_t width = c.S32LE();
  const std::int32_t rawHeight = c.S32LE();
  const std::uint16_t planes = c.U16LE();
  const std::uint16_t bits = c.U16LE();
  const std::uint32_t compression = c.U32LE();
  c.Skip(12);  // image size, resolution
  std::uint32_t colorsUsed = c.U32LE();
  c.Skip(4);  // important colours
  if (c.Failed() || headerSize < 40 || planes != 1 || headerSize > size - headerPos)
    return Reject(TexRejection::BadInfoHeader);
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return Reject(TexRejection::NoPixels);
  const bool topDown = rawHeight < 0;
  const std::uint32_t w = static_cast<std::uint32_t>(width);
  const std::uint32_t h = static_cast<std::uint32_t>(topDown ? -rawHeight : rawHeight);

  switch (compression) {
    case kBiRgb:
      if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Reject(TexRejection::UnsupportedLayout);
      break;
    case kBiRle8:
      if (bits != 8 || topDown) return Reject(TexRejection::UnsupportedLayout);
      break;
    case kBiRle4:
      if (bits != 4 || topDown) return Reject(TexRejection::UnsupportedLayout);
      break;
    case kBiBitFields:
      if ((bits != 16 && bits != 24 && bits != 32) || headerSize < 108)
        return Reject(TexRejection::UnsupportedLayout);
      break;
    default: return Reject(TexRejection::UnsupportedLayout);
  }

  TexImage img;
  img.width = w;
  img.height = h;
  if (compression == kBiBitFields) {
    Masks m;
    m.r = c.U32LE();
    m.g = c.U32LE();
    m.b = c.U32LE();
    m.a = c.U32LE();
    img.format = FormatFromMasks(bits, m);
    if (c.Failed()) return Reject(TexRejection::CutShort);
    if (img.format == D3DFMT_UNKNOWN) return Reject(TexRejection::UnknownMasks);
  } else if (bits == 16) {
    img.format = D3DFMT_X1R5G5B5;
  } else if (bits == 24) {
    img.format = D3DFMT_R8G8B8;
  } else if (bits == 32) {
    img.format = D3DFMT_X8R8G8B8;
  } else {
    img.format = D3DFMT_P8;
  }

  // The colour table follows the header; entries are blue, green, red, unused.
  c.Seek(headerPos + headerSize);
  if (bits <= 8) {
    const std::uint32_t entries = colorsUsed == 0 ? (1u << bits) : std::min<std::uint32_t>(colorsUsed, 256);
    const std::uint8_t* table = c.Take(std::size_t(entries) * 4);
    if (!table) return Reject(TexRejection::CutShort);
    img.palette = WhitePalette();
    for (std::uint32_t i = 0; i < entries; ++i)
      img.palette[i] = PALETTEENTRY{table[i * 4 + 2], table[i * 4 + 1], table[i * 4], 255};
    // An over-long table (more than 256 entries) is skipped, not read.
    if (colorsUsed > entries && !c.Skip(std::size_t(colorsUsed - entries) * 4))
      return Reject(TexRejection::CutShort);
  } else if (pixelPos == kPackedDib && !c.Skip(std::size_t(colorsUsed) * 4)) {
    // Deeper images may still carry a table (a display hint); in a packed
    // bitmap the pixels follow it.
    return Reject(TexRejection::CutShort);
  }
  if (pixelPos != kPackedDib && !c.Seek(pixelPos)) return Reject(TexRejection::CutShort);

  // Uncompressed rows must all be in the file before anything is allocated
  // for them; run-length data has no such bound (an end-of-bitmap code may
  // come early), so only the size limits apply to it.
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  const std::uint64_t stride = ((std::uint64_t(w) * bits + 31) / 32) * 4;
  const std::uint8_t* rows = nullptr;
  if (!rle) {
    if (stride > c.Remaining() / h) return Reject(TexRejection::CutShort);
    rows = c.Take(stride * h);
  }
  const ReadResult fits = CheckImageSize(w, h);
  if (fits != ReadResult::Accepted) return fits;

  const std::uint32_t outBpp = bits <= 8 ? 1 : bits / 8;
  img.pitch = w * outBpp;
  if (rle) {
    img.storage.assign(std::size_t(img.pitch) * h, 0);
    if (!DecodeRle(c, compression == kBiRle4, w, h, img.storage.data()))
      return Reject(TexRejection::CutShort);
  } else {
    img.storage.resize(std::size_t(img.pitch) * h);
    for (std::uint32_t y = 0; y < h; ++y) {
      const std::uint8_t* src = rows + stride * (topDown ? y : h - 1 - y);
      std::uint8_t* dst = img.storage.data() + std::size_t(img.pitch) * y;
      if (bits >= 8) {
        std::memcpy(dst, src, img.pitch);
      } else {
        // 1- and 4-bit indices, most significant bits first.
        const std::uint32_t perByte = 8 / bits;
        const std::uint8_t mask = static_cast<std::uint8_t>((1u << bits) - 1);
        for (std::uint32_t x = 0; x < w; ++x) {
          const std::uint32_t shift = (perByte - 1 - x % perByte) * bits;
          dst[x] = static_cast<std::uint8_t>((src[x / perByte] >> shift) & mask);
        }
      }
    }
  }
  img.data = img.storage.data();
  out.levels.clear();
  out.levels.push_back(std::move(img));
  out.fileFormat = D3DXIFF_DIB;
  return ReadResult::Accepted;
}

ReadResult ReadDib(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  const ReadResult r = ReadDibBody(data, size, 0, kPackedDib, out);
  // A bare bitmap has no signature but its header: a file whose first bytes
  // are no bitmap header is of another format, not a damaged bitmap.
  if (LastRejection(TexReader::Dib) == TexRejection::BadInfoHeader) ForgetRejection();
  return r;
}

}  // namespace qv::tex
