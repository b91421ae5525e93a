#include "testing/tex_test_files.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace qv::textest {

void Put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

Bytes MakeDib(const DibShape& s) {
  Bytes b;
  const bool fields = !s.masks.empty();
  Put32(b, fields ? 108 : 40);
  Put32(b, static_cast<std::uint32_t>(s.width));
  Put32(b, static_cast<std::uint32_t>(s.topDown ? -s.height : s.height));
  Put16(b, 1);
  Put16(b, s.bits);
  Put32(b, fields ? 3 : s.compression);
  Put32(b, 0);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, static_cast<std::uint32_t>(s.palette.size()));
  Put32(b, 0);
  if (fields) {
    for (std::uint32_t m : s.masks) Put32(b, m);
    b.resize(108, 0);  // colour space fields
  }
  for (std::uint32_t c : s.palette) Put32(b, c & 0xFFFFFF);
  if (s.compression == 1 || s.compression == 2) {
    b.insert(b.end(), s.rle.begin(), s.rle.end());
    return b;
  }
  const std::size_t stride = ((std::size_t(s.width) * s.bits + 31) / 32) * 4;
  for (std::size_t i = 0; i < s.rows.size(); ++i) {
    const Bytes& row = s.rows[s.topDown ? i : s.rows.size() - 1 - i];
    Bytes padded(row);
    padded.resize(stride, 0);
    b.insert(b.end(), padded.begin(), padded.end());
  }
  return b;
}

Bytes MakeBmp(const DibShape& s) {
  const Bytes dib = MakeDib(s);
  const std::uint32_t header = s.masks.empty() ? 40 : 108;
  Bytes b = {'B', 'M'};
  Put32(b, static_cast<std::uint32_t>(14 + dib.size()));
  Put32(b, 0);
  Put32(b, static_cast<std::uint32_t>(14 + header + 4 * s.palette.size()));
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

Bytes MakeTga(const TgaShape& s) {
  Bytes b;
  b.push_back(static_cast<std::uint8_t>(s.id.size()));
  b.push_back(s.mapBits ? 1 : 0);
  b.push_back(s.type);
  Put16(b, s.mapFirst);
  Put16(b, s.mapLength);
  b.push_back(s.mapBits);
  Put16(b, 0);
  Put16(b, 0);
  Put16(b, s.width);
  Put16(b, s.height);
  b.push_back(s.bits);
  b.push_back(s.descriptor);
  b.insert(b.end(), s.id.begin(), s.id.end());
  b.insert(b.end(), s.map.begin(), s.map.end());
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  return b;
}

Bytes MakeDds(const DdsShape& s) {
  Bytes b = {'D', 'D', 'S', ' '};
  Put32(b, 124);
  Put32(b, 0x1007 | (s.mipCount ? 0x20000 : 0));
  Put32(b, s.height);
  Put32(b, s.width);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, s.mipCount);
  b.resize(76, 0);
  Put32(b, 32);
  Put32(b, s.pfFlags);
  Put32(b, s.fourCC);
  Put32(b, s.bits);
  Put32(b, s.rMask);
  Put32(b, s.gMask);
  Put32(b, s.bMask);
  Put32(b, s.aMask);
  Put32(b, 0x1000);
  Put32(b, s.caps2);
  b.resize(128, 0);
  b.insert(b.end(), s.payload.begin(), s.payload.end());
  return b;
}

namespace {

extern "C" void PngWriteData(png_structp png, png_bytep data, png_size_t length) {
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
extern "C" void PngFlush(png_structp) {}

bool WritePngRows(png_structp png, png_infop info, const PngShape& s, Bytes* out, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, PngWriteData, PngFlush);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
               s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color pal[256];
  for (std::size_t i = 0; i < s.palette.size() && i < 256; ++i)
    pal[i] = png_color{static_cast<png_byte>(s.palette[i] >> 16), static_cast<png_byte>(s.palette[i] >> 8),
                       static_cast<png_byte>(s.palette[i])};
  if (!s.palette.empty()) png_set_PLTE(png, info, pal, static_cast<int>(s.palette.size()));
  if (!s.trnsPalette.empty())
    png_set_tRNS(png, info, s.trnsPalette.data(), static_cast<int>(s.trnsPalette.size()), nullptr);
  if (s.trnsColour) {
    png_color_16 c{};
    c.gray = s.trns[0];
    c.red = s.trns[0];
    c.green = s.trns[1];
    c.blue = s.trns[2];
    png_set_tRNS(png, info, nullptr, 0, &c);
  }
  if (s.gamma > 0) png_set_gAMA(png, info, s.gamma);
  if (s.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

}  // namespace

Bytes MakePng(const PngShape& s) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (const Bytes& r : s.rows) rows.push_back(const_cast<png_bytep>(r.data()));
  if (!WritePngRows(png, info, s, &out, rows.data())) out.clear();
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes MakeJpeg(std::uint32_t width, std::uint32_t height, bool grey, const Bytes& pixels, int quality) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = width;
  c.image_height = height;
  c.input_components = grey ? 1 : 3;
  c.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  const std::size_t stride = std::size_t(width) * (grey ? 1 : 3);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + stride * c.next_scanline);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  Bytes out(mem, mem + size);
  jpeg_destroy_compress(&c);
  std::free(mem);
  return out;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace qv::textest
