// Writing screenshots as PNG through libpng, and the file handling that the
// PNG and JPEG writers share.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/host/host.h"
#include "platform/host/host_image_file.h"

namespace qv::host {
namespace {

// The encoding into an open file; false when libpng gave up (a failed write).
// Nothing with a destructor lives here: libpng leaves by longjmp.
bool EncodePng(std::FILE* f, const std::uint8_t* rgb, int width, int height) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
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
  return true;
}

}  // namespace

bool WriteRgbFile(const std::string& path, const std::uint8_t* rgb, int width, int height, std::string* error,
                  RgbEncoder encode) {
  std::string ignored;
  std::string& reason = error ? *error : ignored;
  if (!rgb || width <= 0 || height <= 0) {
    reason = "no picture";
    return false;
  }
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    reason = std::strerror(errno);
    return false;
  }
  const bool encoded = encode(f, rgb, width, height);
  const bool writeFailed = !encoded || std::ferror(f) != 0;
  if (std::fclose(f) != 0 || writeFailed) {
    reason = errno != 0 ? std::strerror(errno) : "write error";
    return false;
  }
  return true;
}

bool WritePngRGB(const std::string& path, const std::uint8_t* rgb, int width, int height,
                 std::string* error) {
  return WriteRgbFile(path, rgb, width, height, error, EncodePng);
}

}  // namespace qv::host
