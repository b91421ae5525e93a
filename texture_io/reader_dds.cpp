// DirectDraw surface files: "DDS ", a 124-byte header, then each level's
// pixels in turn (for cube maps, each of the six faces with its own chain).
// Uncompressed 16- and 32-bit layouts and DXT1 to DXT5 blocks are read.
#include <utility>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

constexpr std::uint32_t kPfAlphaPixels = 0x1;
constexpr std::uint32_t kPfRgb = 0x40;
constexpr std::uint32_t kCubeFaces = 0xFC00;  // the six face bits of the second caps word
// More levels than a 16384-texel side can have are checked but not kept.
constexpr std::size_t kMaxKeptLevels = 32;

D3DFORMAT FormatFromPixelFormat(std::uint32_t flags, std::uint32_t fourCC, std::uint32_t bits,
                                std::uint32_t gMask, std::uint32_t aMask) {
  switch (fourCC) {
    case D3DFMT_DXT1: return D3DFMT_DXT1;
    case D3DFMT_DXT2: return D3DFMT_DXT2;
    case D3DFMT_DXT3: return D3DFMT_DXT3;
    case D3DFMT_DXT4: return D3DFMT_DXT4;
    case D3DFMT_DXT5: return D3DFMT_DXT5;
    default: break;
  }
  const std::uint32_t withAlpha = kPfRgb | kPfAlphaPixels;
  if (flags == withAlpha && bits == 32 && aMask == 0xFF000000u) return D3DFMT_A8R8G8B8;
  if (flags == kPfRgb && bits == 32) return D3DFMT_X8R8G8B8;
  if (flags == kPfRgb && bits == 16 && gMask == 0x7E0) return D3DFMT_R5G6B5;
  if (flags == kPfRgb && bits == 16 && gMask == 0x3E0) return D3DFMT_X1R5G5B5;
  if (flags == withAlpha && bits == 16 && aMask == 0x8000) return D3DFMT_A1R5G5B5;
  if (flags == withAlpha && bits == 16 && aMask == 0xF000) return D3DFMT_A4R4G4B4;
  return D3DFMT_UNKNOWN;
}

// Bytes of one row (of 4x4 blocks for DXT) and the number of rows of a level.
void LevelLayout(D3DFORMAT f, std::uint64_t w, std::uint64_t h, std::uint64_t& pitch, std::uint64_t& rows) {
  switch (f) {
    case D3DFMT_DXT1:
      pitch = ((w + 3) / 4) * 8;
      rows = (h + 3) / 4;
      break;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
      pitch = ((w + 3) / 4) * 16;
      rows = (h + 3) / 4;
      break;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
      pitch = w * 4;
      rows = h;
      break;
    default:
      pitch = w * 2;
      rows = h;
      break;
  }
}

}  // namespace

ReadResult ReadDds(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  if (size < 128 || std::memcmp(data, "DDS ", 4) != 0) return ReadResult::Rejected;
  TexCursor c(data, size);
  c.Seek(12);
  const std::uint32_t height = c.U32LE();
  const std::uint32_t width = c.U32LE();
  c.Seek(28);
  const std::uint32_t mipCount = c.U32LE();
  c.Seek(80);
  const std::uint32_t pfFlags = c.U32LE();
  const std::uint32_t fourCC = c.U32LE();
  const std::uint32_t bits = c.U32LE();
  c.Skip(4);  // red mask
  const std::uint32_t gMask = c.U32LE();
  c.Skip(4);  // blue mask
  const std::uint32_t aMask = c.U32LE();
  c.Seek(112);
  const std::uint32_t caps2 = c.U32LE();
  if (c.Failed() || width == 0 || height == 0) return Reject(TexRejection::NoPixels);

  const D3DFORMAT format = FormatFromPixelFormat(pfFlags, fourCC, bits, gMask, aMask);
  if (format == D3DFMT_UNKNOWN) return Reject(TexRejection::UnknownPixelFormat);
  const std::uint32_t faceBits = caps2 & kCubeFaces;
  if (faceBits != 0 && faceBits != kCubeFaces) return Reject(TexRejection::SomeCubeFaces);
  const int faces = faceBits ? 6 : 1;
  const std::uint32_t levels = mipCount == 0 ? 1 : mipCount;

  // Only the first face becomes image levels (a texture has one face); the
  // others must still be present in full.
  std::vector<TexImage> chain;
  c.Seek(128);
  for (int face = 0; face < faces; ++face) {
    std::uint32_t w = width, h = height;
    for (std::uint32_t level = 0; level < levels; ++level) {
      std::uint64_t pitch = 0, rows = 0;
      LevelLayout(format, w, h, pitch, rows);
      if (pitch > c.Remaining() / rows) return Reject(TexRejection::CutShort);
      const std::uint8_t* p = c.Take(std::size_t(pitch) * rows);
      if (!p) return Reject(TexRejection::CutShort);
      if (face == 0 && chain.size() < kMaxKeptLevels) {
        TexImage img;
        img.format = format;
        img.data = p;
        img.pitch = static_cast<std::uint32_t>(pitch);  // within the file's size
        img.width = w;
        img.height = h;
        chain.push_back(std::move(img));
      }
      w = w > 1 ? w / 2 : 1;
      h = h > 1 ? h / 2 : 1;
    }
  }
  // The levels lie in the file, checked above; the size limits still bound
  // what converting them may allocate.
  const ReadResult fits = CheckImageSize(width, height);
  if (fits != ReadResult::Accepted) return fits;
  out.levels = std::move(chain);
  out.fileFormat = D3DXIFF_DDS;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
