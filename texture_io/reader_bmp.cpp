// BMP files: a 14-byte file header ("BM", file size, reserved words, offset
// of the pixels) in front of a device-independent bitmap.
#include "texture_io/tex_image.h"

namespace qv::tex {

ReadResult ReadBmp(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  TexCursor c(data, size);
  if (size < 14 || data[0] != 'B' || data[1] != 'M') return ReadResult::Rejected;
  c.Skip(2);
  const std::uint32_t fileSize = c.U32LE();
  c.Skip(4);
  const std::uint32_t pixelOffset = c.U32LE();
  if (fileSize > size) return Reject(TexRejection::SizeFieldPastEnd);
  const ReadResult r = ReadDibBody(data, size, 14, pixelOffset, out);
  if (r != ReadResult::Accepted) {
    out.levels.clear();
    return r;
  }
  out.fileFormat = D3DXIFF_BMP;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
