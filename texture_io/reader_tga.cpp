// Truevision TGA files: colour-mapped (1), true-colour (2) and grey (3)
// images and their run-length forms (9, 10, 11). TGA has no signature, so
// this reader comes last but one and checks every header field it can.
#include <algorithm>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

constexpr std::uint8_t kDescRightToLeft = 0x10;
constexpr std::uint8_t kDescTopDown = 0x20;

// A colour-map entry of 15, 16, 24 or 32 bits as a palette entry.
PALETTEENTRY MapEntry(const std::uint8_t* p, std::uint32_t bits) {
  switch (bits) {
    case 15:
    case 16: {
      const std::uint32_t v = p[0] | (p[1] << 8);
      auto five = [](std::uint32_t x) { return static_cast<BYTE>((x << 3) | (x >> 2)); };
      const BYTE alpha = bits == 16 && !(v & 0x8000) ? 0 : 255;
      return PALETTEENTRY{five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31), alpha};
    }
    case 24: return PALETTEENTRY{p[2], p[1], p[0], 255};
    default: return PALETTEENTRY{p[2], p[1], p[0], p[3]};
  }
}

}  // namespace

ReadResult ReadTga(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  if (size < 18) return ReadResult::Rejected;
  TexCursor c(data, size);
  const std::uint8_t idLength = c.U8();
  const std::uint8_t mapType = c.U8();
  const std::uint8_t imageType = c.U8();
  const std::uint16_t mapFirst = c.U16LE();
  const std::uint16_t mapLength = c.U16LE();
  const std::uint8_t mapBits = c.U8();
  c.Skip(4);  // origin
  const std::uint16_t width = c.U16LE();
  const std::uint16_t height = c.U16LE();
  const std::uint8_t bits = c.U8();
  const std::uint8_t descriptor = c.U8();

  if (mapType > 1 || (imageType & ~0x0B) != 0 || (imageType & 3) == 0) return ReadResult::Rejected;
  if (width == 0 || height == 0) return ReadResult::Rejected;
  const bool rle = (imageType & 8) != 0;
  const int kind = imageType & 3;  // 1 colour-mapped, 2 true colour, 3 grey

  TexImage img;
  img.width = width;
  img.height = height;
  switch (kind) {
    case 1:
      if (mapType != 1 || bits != 8) return ReadResult::Rejected;
      img.format = D3DFMT_P8;
      break;
    case 2:
      img.format = bits == 15   ? D3DFMT_X1R5G5B5
                   : bits == 16 ? D3DFMT_A1R5G5B5
                   : bits == 24 ? D3DFMT_R8G8B8
                   : bits == 32 ? D3DFMT_A8R8G8B8
                                : D3DFMT_UNKNOWN;
      if (img.format == D3DFMT_UNKNOWN) return ReadResult::Rejected;
      break;
    default:
      if (bits != 8) return ReadResult::Rejected;
      img.format = D3DFMT_L8;
      break;
  }

  // The header names a TGA image: from here on a refusal has a reason.
  if (!c.Skip(idLength)) return Reject(TexRejection::CutShort);
  if (mapType == 1) {
    if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
      return Reject(TexRejection::BadColourMap);
    const std::size_t entryBytes = (mapBits + 7u) / 8u;
    const std::uint8_t* map = c.Take(entryBytes * mapLength);
    if (!map) return Reject(TexRejection::CutShort);
    if (kind == 1) {
      if (std::uint32_t(mapFirst) + mapLength > 256) return Reject(TexRejection::ColourMapPastEnd);
      img.palette = WhitePalette();
      for (std::uint32_t i = 0; i < mapLength; ++i)
        img.palette[mapFirst + i] = MapEntry(map + i * entryBytes, mapBits);
    }
  }

  const std::uint32_t bpp = (bits + 7u) / 8u;
  const std::size_t pixels = std::size_t(width) * height;
  img.pitch = width * bpp;

  // Pixels in file order, decoded from run-length packets when needed.
  std::vector<std::uint8_t> unpacked;
  const std::uint8_t* filePixels = nullptr;
  if (rle) {
    // Each packet of at most 128 pixels takes at least 1 + bpp bytes: a file
    // too short for that cannot hold the image, whatever it claims.
    if (c.Remaining() / (1 + bpp) < (pixels + 127) / 128) return Reject(TexRejection::CutShort);
    const ReadResult fits = CheckImageSize(width, height);
    if (fits != ReadResult::Accepted) return fits;
    unpacked.resize(pixels * bpp);
    std::size_t done = 0;
    while (done < pixels) {
      const std::uint8_t head = c.U8();
      const std::size_t count = (head & 0x7Fu) + 1;
      const std::size_t n = std::min(count, pixels - done);  // a packet past the end is cut
      if (head & 0x80) {
        const std::uint8_t* p = c.Take(bpp);
        if (!p) return Reject(TexRejection::CutShort);
        for (std::size_t i = 0; i < n; ++i) std::memcpy(&unpacked[(done + i) * bpp], p, bpp);
      } else {
        const std::uint8_t* p = c.Take(count * bpp);
        if (!p) return Reject(TexRejection::CutShort);
        std::memcpy(&unpacked[done * bpp], p, n * bpp);
      }
      if (c.Failed()) return Reject(TexRejection::CutShort);
      done += n;
    }
    filePixels = unpacked.data();
  } else {
    filePixels = c.Take(pixels * bpp);
    if (!filePixels) return Reject(TexRejection::CutShort);
    const ReadResult fits = CheckImageSize(width, height);
    if (fits != ReadResult::Accepted) return fits;
  }

  const bool topDown = (descriptor & kDescTopDown) != 0;
  const bool rightToLeft = (descriptor & kDescRightToLeft) != 0;
  if (topDown && !rightToLeft && rle) {
    img.storage = std::move(unpacked);
  } else if (topDown && !rightToLeft) {
    img.data = filePixels;  // already in the texture's order: no copy
  } else {
    img.storage.resize(pixels * bpp);
    for (std::uint32_t y = 0; y < height; ++y) {
      const std::uint8_t* src = filePixels + std::size_t(topDown ? y : height - 1 - y) * img.pitch;
      std::uint8_t* dst = img.storage.data() + std::size_t(y) * img.pitch;
      if (!rightToLeft) {
        std::memcpy(dst, src, img.pitch);
      } else {
        for (std::uint32_t x = 0; x < width; ++x)
          std::memcpy(dst + x * bpp, src + (width - 1 - x) * bpp, bpp);
      }
    }
  }
  if (!img.data) img.data = img.storage.data();
  out.levels.clear();
  out.levels.push_back(std::move(img));
  out.fileFormat = D3DXIFF_TGA;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
