// The loader's inside: the image records the readers fill, the cursor they
// read through, and the readers themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "texture_io/d3dx8_tex.h"
#include "texture_io/tex_reject.h"

namespace qv::tex {

// The largest image the readers decode: 2^28 pixels (1 GiB at four bytes a
// pixel, e.g. 16384 x 16384) and 2^24 on a side, which keeps every row's
// byte count within 32 bits. A valid file beyond this is not refused as bad
// data; the loader answers E_OUTOFMEMORY. Readers check first that the file
// can hold the pixels it claims, so a short file is still rejected as such.
constexpr std::uint32_t kMaxImageSide = std::uint32_t(1) << 24;
constexpr std::uint64_t kMaxImagePixels = std::uint64_t(1) << 28;

// One level of an image. Pixels either point into the file (data) or into
// storage, which the record owns.
struct TexImage {
  D3DFORMAT format = D3DFMT_UNKNOWN;
  const std::uint8_t* data = nullptr;
  std::uint32_t pitch = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<PALETTEENTRY> palette;  // 256 entries for palette formats, empty otherwise
  std::vector<std::uint8_t> storage;
  // Set instead of the pixels when the reader was asked to leave them in the
  // file (data is then null): decodes them into rows `pitch` bytes apart,
  // each `this->pitch` bytes long; false for a file damaged past its header.
  std::function<bool(std::uint8_t* rows, std::size_t pitch)> decode;
};

// The levels a reader found, largest first (several for a DDS mip chain).
struct TexImageChain {
  std::vector<TexImage> levels;
  D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
  // Asks the JPEG and PNG readers to check the header only and leave the
  // decoding to TexImage::decode, so that the loader can decode straight
  // into the texture.
  bool deferPixels = false;
};

// Reads little- or big-endian values and byte ranges without ever reading
// past the end: past the end every read gives 0 and marks the cursor failed.
class TexCursor {
 public:
  TexCursor(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

  std::size_t Size() const { return m_size; }
  std::size_t Pos() const { return m_pos; }
  std::size_t Remaining() const { return m_size - m_pos; }
  bool Failed() const { return m_failed; }
  const std::uint8_t* Base() const { return m_data; }

  std::uint8_t U8() {
    if (m_pos >= m_size) return Fail();
    return m_data[m_pos++];
  }
  std::uint16_t U16LE() {
    const std::uint8_t* p = Take(2);
    return p ? static_cast<std::uint16_t>(p[0] | (p[1] << 8)) : 0;
  }
  std::uint32_t U32LE() {
    const std::uint8_t* p = Take(4);
    return p ? (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                std::uint32_t(p[3]) << 24)
             : 0;
  }
  std::int32_t S32LE() { return static_cast<std::int32_t>(U32LE()); }
  // n bytes at the cursor, or null (and failed) when fewer remain.
  const std::uint8_t* Take(std::size_t n) {
    if (n > m_size - m_pos) {
      Fail();
      return nullptr;
    }
    const std::uint8_t* p = m_data + m_pos;
    m_pos += n;
    return p;
  }
  bool Skip(std::size_t n) { return Take(n) != nullptr; }
  bool Seek(std::size_t pos) {
    if (pos > m_size) return Fail(), false;
    m_pos = pos;
    return true;
  }

 private:
  std::uint8_t Fail() {
    m_failed = true;
    m_pos = m_size;
    return 0;
  }

  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
  bool m_failed = false;
};

// Reader results: a reader fills the chain, rejects the file, or
// recognises a file whose image is beyond the decoding limits above.
enum class ReadResult { Accepted, Rejected, TooLarge };

// While a reader runs, the reasons it gives are recorded under its name.
// ReadImage sets the running reader; so do the pixel decoders that the
// loader calls after ReadImage has returned.
class TexReaderScope {
 public:
  explicit TexReaderScope(TexReader reader);
  ~TexReaderScope();
  TexReaderScope(const TexReaderScope&) = delete;
  TexReaderScope& operator=(const TexReaderScope&) = delete;

 private:
  TexReader m_previous;
};
// Records why the running reader refuses the file (detail: the decoding
// library's message, or null) and returns Rejected.
ReadResult Reject(TexRejection why, const char* detail = nullptr);
// Forgets the running reader's reason: the file was not of its format.
void ForgetRejection();
// Forgets every reader's reason, as a new file is read.
void ClearRejections();

// Each reader looks at the whole file; on rejection the chain is left empty.
ReadResult ReadBmp(const std::uint8_t* data, std::size_t size, TexImageChain& out);
ReadResult ReadPpm(const std::uint8_t* data, std::size_t size, TexImageChain& out);
ReadResult ReadDds(const std::uint8_t* data, std::size_t size, TexImageChain& out);
ReadResult ReadJpeg(const std::uint8_t* data, std::size_t size, TexImageChain& out);
ReadResult ReadPng(const std::uint8_t* data, std::size_t size, TexImageChain& out);
ReadResult ReadTga(const std::uint8_t* data, std::size_t size, TexImageChain& out);
ReadResult ReadDib(const std::uint8_t* data, std::size_t size, TexImageChain& out);

// The bitmap body after an information header at headerPos; the pixels
// start at pixelPos, or right after the header and colour table when
// pixelPos is kPackedDib. Shared by the BMP and DIB readers.
constexpr std::size_t kPackedDib = ~std::size_t(0);
ReadResult ReadDibBody(const std::uint8_t* data, std::size_t size, std::size_t headerPos,
                       std::size_t pixelPos, TexImageChain& out);

// Tries the readers in their fixed order (BMP, PPM, DDS, JPEG, PNG, TGA, DIB);
// the first reader that accepts the file or finds it too large decides.
ReadResult ReadImage(const std::uint8_t* data, std::size_t size, TexImageChain& out,
                     bool deferPixels = false);

// Makes a texture from an image already read, as
// D3DXCreateTextureFromFileInMemoryEx does after reading its file (the
// same arguments, with the chain in place of the file). The records'
// pixels are released once the texture no longer needs them.
HRESULT CreateTextureFromImage(IDirect3DDevice8* device, TexImageChain& chain, UINT width, UINT height,
                               UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                               DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                               PALETTEENTRY* paletteOut, IDirect3DTexture8** ppTexture);

// Rejected for an empty image, TooLarge beyond the limits above, Accepted
// otherwise. Readers call it once they know the file holds the pixels.
inline ReadResult CheckImageSize(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) return Reject(TexRejection::NoPixels);
  if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels) {
    Reject(TexRejection::TooLarge, (std::to_string(width) + " x " + std::to_string(height)).c_str());
    return ReadResult::TooLarge;
  }
  return ReadResult::Accepted;
}

// A palette of 256 opaque white entries, for readers to fill.
inline std::vector<PALETTEENTRY> WhitePalette() {
  return std::vector<PALETTEENTRY>(256, PALETTEENTRY{255, 255, 255, 255});
}

}  // namespace qv::tex
