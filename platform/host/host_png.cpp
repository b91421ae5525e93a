// Writing screenshots as PNG through libpng.
#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "platform/host/host.h"

namespace qv::host {

bool WritePngRGB(const std::string& path, const std::uint8_t* rgb, int width, int height) {
  if (!rgb || width <= 0 || height <= 0) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(f);
    return false;
  }
  // Nothing with a destructor lives between setjmp and the calls that may longjmp.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y)
    png_write_row(png, rgb + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3u);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

}  // namespace qv::host
