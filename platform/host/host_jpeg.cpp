// Writing screenshots as JPEG through libjpeg.
#include <cstdio>  // before jpeglib.h, which uses FILE and size_t

#include <jpeglib.h>

#include <csetjmp>

#include "platform/host/host.h"
#include "platform/host/host_image_file.h"

namespace qv::host {
namespace {

constexpr int kQuality = 95;

// libjpeg reports a fatal error by calling error_exit, which must not
// return: it jumps back to the encoder.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// The encoding into an open file; false when libjpeg gave up (a failed
// write). Nothing with a destructor lives here: libjpeg leaves by longjmp.
bool EncodeJpeg(std::FILE* f, const std::uint8_t* rgb, int width, int height) {
  jpeg_compress_struct cinfo;
  ErrorManager manager;
  cinfo.err = jpeg_std_error(&manager.base);
  manager.base.error_exit = OnError;
  if (setjmp(manager.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, kQuality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<std::size_t>(cinfo.next_scanline) *
                                                  static_cast<std::size_t>(width) * 3u);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool WriteJpegRGB(const std::string& path, const std::uint8_t* rgb, int width, int height,
                  std::string* error) {
  return WriteRgbFile(path, rgb, width, height, error, EncodeJpeg);
}

}  // namespace qv::host
