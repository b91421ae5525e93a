// JPEG files through libjpeg: grey images become D3DFMT_L8, colour images
// D3DFMT_X8R8G8B8.
//
// libjpeg reports errors by calling error_exit, which must not return. Ours
// longjmps back to the setjmp in the function that started the call; those
// functions hold only C structures, so no C++ object is skipped over. The
// row buffer belongs to the caller and outlives the jump.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "texture_io/tex_image.h"

namespace qv::tex {

namespace {

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  bool truncated;
};

extern "C" void JpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Warnings are not printed; a file that ends early is remembered so that it
// can be rejected instead of handing out grey-filled rows.
extern "C" void JpegEmitMessage(j_common_ptr info, int level) {
  JpegError* err = reinterpret_cast<JpegError*>(info->err);
  if (level < 0) {
    ++err->mgr.num_warnings;
    if (err->mgr.msg_code == JWRN_JPEG_EOF) err->truncated = true;
  }
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

void InitError(jpeg_decompress_struct& info, JpegError& err) {
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegErrorExit;
  err.mgr.emit_message = JpegEmitMessage;
  err.mgr.output_message = JpegOutputMessage;
  err.truncated = false;
}

struct JpegHeader {
  std::uint32_t width, height;
  bool grey;
};

bool ReadHeader(const std::uint8_t* data, std::size_t size, JpegHeader* header) {
  jpeg_decompress_struct info;
  JpegError err;
  InitError(info, err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  const int rc = jpeg_read_header(&info, TRUE);
  const bool ok = rc == JPEG_HEADER_OK &&
                  (info.num_components == 1 || info.jpeg_color_space == JCS_YCbCr ||
                   info.jpeg_color_space == JCS_RGB);
  header->width = info.image_width;
  header->height = info.image_height;
  header->grey = info.num_components == 1;
  jpeg_destroy_decompress(&info);
  return ok;
}

// Decodes into `rows` (pitch bytes apart): one byte per pixel for grey,
// three (red, green, blue) for colour.
bool Decode(const std::uint8_t* data, std::size_t size, bool grey, std::uint8_t* rows,
            std::size_t pitch, std::uint32_t height) {
  jpeg_decompress_struct info;
  JpegError err;
  InitError(info, err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_height != height || info.output_components != (grey ? 1 : 3)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height && !err.truncated) {
    JSAMPROW row = rows + pitch * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  if (!err.truncated) jpeg_finish_decompress(&info);
  const bool ok = !err.truncated;
  jpeg_destroy_decompress(&info);
  return ok;
}

}  // namespace

ReadResult ReadJpeg(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return ReadResult::Rejected;
  JpegHeader header{};
  if (!ReadHeader(data, size, &header) || !ImageSizeOk(header.width, header.height))
    return ReadResult::Rejected;

  TexImage img;
  img.width = header.width;
  img.height = header.height;
  const std::size_t decodedPitch = std::size_t(header.width) * (header.grey ? 1 : 3);
  std::vector<std::uint8_t> decoded(decodedPitch * header.height);
  if (!Decode(data, size, header.grey, decoded.data(), decodedPitch, header.height))
    return ReadResult::Rejected;

  if (header.grey) {
    img.format = D3DFMT_L8;
    img.pitch = header.width;
    img.storage = std::move(decoded);
  } else {
    img.format = D3DFMT_X8R8G8B8;
    img.pitch = header.width * 4;
    img.storage.resize(std::size_t(img.pitch) * header.height);
    const std::size_t pixels = std::size_t(header.width) * header.height;
    for (std::size_t i = 0; i < pixels; ++i) {
      img.storage[i * 4 + 0] = decoded[i * 3 + 2];
      img.storage[i * 4 + 1] = decoded[i * 3 + 1];
      img.storage[i * 4 + 2] = decoded[i * 3 + 0];
      img.storage[i * 4 + 3] = 255;
    }
  }
  img.data = img.storage.data();
  out.levels.clear();
  out.levels.push_back(std::move(img));
  out.fileFormat = D3DXIFF_JPG;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
