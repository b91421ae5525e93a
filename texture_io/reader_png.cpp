// PNG files through libpng. Grey becomes D3DFMT_L8, grey with alpha
// D3DFMT_A8L8, palette images D3DFMT_P8, colour D3DFMT_X8R8G8B8 (filled to
// four bytes) and colour with alpha D3DFMT_A8R8G8B8. A transparency chunk
// in a grey or colour image adds an alpha channel. 16-bit samples are cut to
// 8 bits, smaller ones widened.
//
// libpng reports errors by longjmp to the jump buffer in its read structure.
// Each function below that calls into libpng sets that buffer itself and
// holds only C data, so a jump never skips a C++ destructor; buffers that
// must survive are owned by the caller.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include <png.h>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

struct PngState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  png_uint_32 width = 0, height = 0;
  int colorType = 0;
  bool transparency = false;
  std::size_t rowBytes = 0;
  int channels = 0;
  int paletteCount = 0;
  png_color palette[256];
  png_byte paletteAlpha[256];
  int paletteAlphaCount = 0;
  bool cutShort = false;  // libpng asked for bytes past the end of the file
};

extern "C" void PngRead(png_structp png, png_bytep out, png_size_t length) {
  PngState* s = static_cast<PngState*>(png_get_io_ptr(png));
  if (length > s->size - s->pos) {
    s->cutShort = true;
    png_error(png, "read past the end of the data");
  }
  std::memcpy(out, s->data + s->pos, length);
  s->pos += length;
}

// libpng's words for the error that ended the last decoding. Kept outside
// the frame that setjmp returns to, whose locals changed since the setjmp
// are not to be read after the jump.
thread_local char s_errorMessage[160];

extern "C" void PngError(png_structp png, png_const_charp message) {
  std::snprintf(s_errorMessage, sizeof s_errorMessage, "%s", message ? message : "");
  png_longjmp(png, 1);
}
extern "C" void PngWarning(png_structp, png_const_charp) {}

// Records why libpng stopped: the end of the file, or damage it describes.
void RejectForLibpng(const PngState* s) {
  if (s->cutShort)
    Reject(TexRejection::CutShort);
  else
    Reject(TexRejection::DamagedData, s_errorMessage);
}

// Reads the header, sets the transformations and works out the row layout.
ReadResult ReadInfo(PngState* s) {
  if (setjmp(png_jmpbuf(s->png))) {
    RejectForLibpng(s);
    return ReadResult::Rejected;
  }
  png_set_read_fn(s->png, s, PngRead);
  // Our own size limits are checked once the file is known to be long
  // enough; libpng's are lifted to what the format allows.
  png_set_user_limits(s->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_read_info(s->png, s->info);
  int bitDepth = 0, interlace = 0;
  png_get_IHDR(s->png, s->info, &s->width, &s->height, &bitDepth, &s->colorType, &interlace, nullptr,
               nullptr);
  // Deflate packs at most 1032 bytes into one, so a file this short cannot
  // hold the rows its header claims. Checked, like the size limits, before
  // libpng allocates its row buffers.
  const std::uint64_t fileBytes = (std::uint64_t(png_get_rowbytes(s->png, s->info)) + 1) * s->height;
  if (s->size < fileBytes / 1032) return Reject(TexRejection::CutShort);
  const ReadResult fits = CheckImageSize(s->width, s->height);
  if (fits != ReadResult::Accepted) return fits;
  s->transparency = png_get_valid(s->png, s->info, PNG_INFO_tRNS) != 0;

  if (bitDepth == 16) png_set_strip_16(s->png);
  if (bitDepth < 8) {
    if (s->colorType == PNG_COLOR_TYPE_GRAY)
      png_set_expand_gray_1_2_4_to_8(s->png);
    else
      png_set_packing(s->png);
  }
  int srgbIntent = 0;
  double fileGamma = 0;
  if (png_get_sRGB(s->png, s->info, &srgbIntent)) {
    png_set_gamma(s->png, PNG_DEFAULT_sRGB, PNG_DEFAULT_sRGB);
  } else if (png_get_gAMA(s->png, s->info, &fileGamma)) {
    png_set_gamma(s->png, 2.2, fileGamma);
  }
  if (s->colorType != PNG_COLOR_TYPE_PALETTE && s->transparency) {
    png_set_tRNS_to_alpha(s->png);
  }
  if (s->colorType & PNG_COLOR_MASK_COLOR && s->colorType != PNG_COLOR_TYPE_PALETTE) {
    png_set_bgr(s->png);
    if (!(s->colorType & PNG_COLOR_MASK_ALPHA) && !s->transparency)
      png_set_filler(s->png, 0xFF, PNG_FILLER_AFTER);
  }
  png_set_interlace_handling(s->png);
  png_read_update_info(s->png, s->info);
  s->rowBytes = png_get_rowbytes(s->png, s->info);
  s->channels = png_get_channels(s->png, s->info);
  // Read after the update: the gamma correction applies to the palette.
  if (s->colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp pal = nullptr;
    if (png_get_PLTE(s->png, s->info, &pal, &s->paletteCount) && pal) {
      if (s->paletteCount > 256) s->paletteCount = 256;
      std::memcpy(s->palette, pal, sizeof(png_color) * s->paletteCount);
    }
    png_bytep alpha = nullptr;
    if (s->transparency && png_get_tRNS(s->png, s->info, &alpha, &s->paletteAlphaCount, nullptr) && alpha) {
      if (s->paletteAlphaCount > 256) s->paletteAlphaCount = 256;
      std::memcpy(s->paletteAlpha, alpha, s->paletteAlphaCount);
    } else {
      s->paletteAlphaCount = 0;
    }
  }
  return ReadResult::Accepted;
}

// Reads every row; on failure the reason is recorded.
bool ReadRows(PngState* s, png_bytepp rows) {
  if (setjmp(png_jmpbuf(s->png))) {
    RejectForLibpng(s);
    return false;
  }
  png_read_image(s->png, rows);
  png_read_end(s->png, nullptr);
  return true;
}

// Owns the libpng structures of one decode.
struct PngStructs {
  PngState state;
  PngStructs() {
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (state.png) state.info = png_create_info_struct(state.png);
  }
  ~PngStructs() {
    if (state.png) png_destroy_read_struct(&state.png, state.info ? &state.info : nullptr, nullptr);
  }
};

// Decodes the whole file again into rows `pitch` bytes apart; the header
// must give the layout the first reading found.
bool DecodePngRows(const std::uint8_t* data, std::size_t size, std::size_t rowBytes, std::uint32_t height,
                   std::uint8_t* dst, std::size_t pitch) {
  PngStructs structs;
  PngState& s = structs.state;
  if (!s.png || !s.info) return false;
  s.data = data;
  s.size = size;
  if (ReadInfo(&s) != ReadResult::Accepted) return false;
  if (s.rowBytes != rowBytes || s.height != height) {
    Reject(TexRejection::BadHeader);
    return false;
  }
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = dst + pitch * y;
  return ReadRows(&s, rows.data());
}

}  // namespace

ReadResult ReadPng(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  if (size < 8 || png_sig_cmp(const_cast<png_bytep>(data), 0, 8) != 0) return ReadResult::Rejected;
  PngStructs structs;
  PngState& s = structs.state;
  if (!s.png || !s.info) return ReadResult::Rejected;
  s.data = data;
  s.size = size;
  const ReadResult header = ReadInfo(&s);
  if (header != ReadResult::Accepted) return header;

  TexImage img;
  img.width = s.width;
  img.height = s.height;
  switch (s.colorType) {
    case PNG_COLOR_TYPE_GRAY: img.format = s.transparency ? D3DFMT_A8L8 : D3DFMT_L8; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: img.format = D3DFMT_A8L8; break;
    case PNG_COLOR_TYPE_PALETTE: img.format = D3DFMT_P8; break;
    case PNG_COLOR_TYPE_RGB: img.format = s.transparency ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: img.format = D3DFMT_A8R8G8B8; break;
    default: return Reject(TexRejection::UnsupportedLayout);
  }
  const std::uint32_t bytesPerPixel = img.format == D3DFMT_L8 || img.format == D3DFMT_P8 ? 1
                                      : img.format == D3DFMT_A8L8                        ? 2
                                                                                         : 4;
  // The row layout libpng will deliver must be the one the format says.
  if (s.rowBytes != std::size_t(s.width) * bytesPerPixel) return Reject(TexRejection::UnsupportedLayout);
  img.pitch = static_cast<std::uint32_t>(s.rowBytes);
  img.decode = [data, size, rowBytes = s.rowBytes, height = s.height](std::uint8_t* rows, std::size_t pitch) {
    const TexReaderScope running(TexReader::Png);  // the loader may decode long after the read
    return DecodePngRows(data, size, rowBytes, height, rows, pitch);
  };
  if (!out.deferPixels) {
    img.storage.resize(s.rowBytes * s.height);
    std::vector<png_bytep> rows(s.height);
    for (png_uint_32 y = 0; y < s.height; ++y) rows[y] = img.storage.data() + s.rowBytes * y;
    if (!ReadRows(&s, rows.data())) return ReadResult::Rejected;
    img.data = img.storage.data();
  }

  if (img.format == D3DFMT_P8) {
    img.palette = WhitePalette();
    for (int i = 0; i < s.paletteCount; ++i)
      img.palette[i] = PALETTEENTRY{s.palette[i].red, s.palette[i].green, s.palette[i].blue, 255};
    for (int i = 0; i < s.paletteAlphaCount; ++i) img.palette[i].peFlags = s.paletteAlpha[i];
  }
  out.levels.clear();
  out.levels.push_back(std::move(img));
  out.fileFormat = D3DXIFF_PNG;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
