// Direct3D formats to GL formats. Direct3D names channels from the most
// significant bit down and stores them little-endian, so A8R8G8B8 is the
// bytes B, G, R, A in memory: GL_BGRA with GL_UNSIGNED_BYTE. Formats without
// alpha are stored in GL formats without alpha so that alpha reads as 1.
#include "platform/d3d8/d3d8_formats.h"

namespace qv::d3d8 {
namespace {

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, Z = GL_ZERO, O = GL_ONE;

const FormatInfo s_formats[] = {
    {D3DFMT_R8G8B8, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, {R, G, B, O}, 3, false, false},
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, A}, 4, false, false},
    {D3DFMT_X8R8G8B8, GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {R, G, B, O}, 4, false, false},
    {D3DFMT_R5G6B5, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {R, G, B, O}, 2, false, false},
    {D3DFMT_X1R5G5B5, GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, O}, 2, false, false},
    {D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {R, G, B, A}, 2, false, false},
    {D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, A}, 2, false, false},
    {D3DFMT_X4R4G4B4, GL_RGB4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {R, G, B, O}, 2, false, false},
    {D3DFMT_R3G3B2, GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, {R, G, B, O}, 1, false, false},
    {D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {Z, Z, Z, R}, 1, false, false},
    {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, {R, R, R, O}, 1, false, false},
    {D3DFMT_A8L8, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {R, R, R, G}, 2, false, false},
    {D3DFMT_V8U8, GL_RG8_SNORM, GL_RG, GL_BYTE, {R, G, O, O}, 2, false, false},
    {D3DFMT_Q8W8V8U8, GL_RGBA8_SNORM, GL_RGBA, GL_BYTE, {R, G, B, A}, 4, false, false},
    {D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, {R, G, B, A}, 8, true, true},
    {D3DFMT_DXT2, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {R, G, B, A}, 16, true, true},
    {D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, {R, G, B, A}, 16, true, true},
    {D3DFMT_DXT4, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {R, G, B, A}, 16, true, true},
    {D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, {R, G, B, A}, 16, true, true},
};

}  // namespace

const FormatInfo* FindTextureFormat(D3DFORMAT format) {
  for (const FormatInfo& f : s_formats)
    if (f.format == format) return &f;
  return nullptr;
}

const FormatInfo* FindTextureFormat(D3DFORMAT format, bool s3tc) {
  const FormatInfo* f = FindTextureFormat(format);
  if (f && f->needsS3tc && !s3tc) return nullptr;
  return f;
}

std::uint32_t FormatPitch(const FormatInfo& f, std::uint32_t width) {
  if (f.compressed) return ((width + 3) / 4) * f.blockBytes;
  return width * f.blockBytes;
}

std::uint32_t FormatRows(const FormatInfo& f, std::uint32_t height) {
  return f.compressed ? (height + 3) / 4 : height;
}

std::uint64_t FormatLevelSize(const FormatInfo& f, std::uint32_t width, std::uint32_t height) {
  return static_cast<std::uint64_t>(FormatPitch(f, width)) * FormatRows(f, height);
}

GLenum RenderTargetFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_R5G6B5: return GL_RGB565;
    case D3DFMT_X1R5G5B5: return GL_RGB5;
    case D3DFMT_A1R5G5B5: return GL_RGB5_A1;
    case D3DFMT_X8R8G8B8: return GL_RGB8;
    case D3DFMT_A8R8G8B8: return GL_RGBA8;
    default: return 0;
  }
}

GLenum DepthStencilFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE: return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8: return GL_DEPTH_COMPONENT24;
    case D3DFMT_D24S8: return GL_DEPTH24_STENCIL8;
    case D3DFMT_D32: return GL_DEPTH_COMPONENT32;
    default: return 0;
  }
}

void DitherLevels(D3DFORMAT format, float levels[3]) {
  switch (format) {
    case D3DFMT_R5G6B5:
      levels[0] = levels[2] = 31.0f;
      levels[1] = 63.0f;
      break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: levels[0] = levels[1] = levels[2] = 31.0f; break;
    default: break;
  }
}

}  // namespace qv::d3d8
