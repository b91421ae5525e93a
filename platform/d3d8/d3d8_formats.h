// The texture and render-target formats this layer offers, each mapped to
// the GL format it is stored in. CheckDeviceFormat answers from this table.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

#include "platform/d3d8/d3d8.h"

namespace qv::d3d8 {

struct FormatInfo {
  D3DFORMAT format;
  GLenum internalFormat;
  GLenum glFormat;           // upload format (0 for compressed data)
  GLenum glType;             // upload type (0 for compressed data)
  GLint swizzle[4];          // GL_RED.. / GL_ZERO / GL_ONE for each of r, g, b, a
  std::uint32_t blockBytes;  // bytes per pixel, or per 4x4 block when compressed
  bool compressed;
  bool needsS3tc;  // only offered when the context has GL_EXT_texture_compression_s3tc
};

// Texture format lookup: null when the format is not offered at all.
const FormatInfo* FindTextureFormat(D3DFORMAT format);
// The same, honouring whether the context offers S3TC.
const FormatInfo* FindTextureFormat(D3DFORMAT format, bool s3tc);

// Row pitch in bytes and the number of rows (block rows when compressed) of
// one level, and its total byte size.
std::uint32_t FormatPitch(const FormatInfo& f, std::uint32_t width);
std::uint32_t FormatRows(const FormatInfo& f, std::uint32_t height);
std::uint64_t FormatLevelSize(const FormatInfo& f, std::uint32_t width, std::uint32_t height);

// Back-buffer and depth formats (render buffers); 0 when not offered.
GLenum RenderTargetFormat(D3DFORMAT format);
GLenum DepthStencilFormat(D3DFORMAT format);
// The largest value of each colour channel of a 16-bit target, to which the
// ordered dither quantises; left as it is (zero) for other targets.
void DitherLevels(D3DFORMAT format, float levels[3]);

}  // namespace qv::d3d8
