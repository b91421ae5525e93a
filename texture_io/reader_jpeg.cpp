// JPEG files through libjpeg: grey images become D3DFMT_L8, colour images
// D3DFMT_X8R8G8B8.
//
// libjpeg reports errors by calling error_exit, which must not return. Ours
// longjmps back to the setjmp in the function that started the call; those
// functions hold only C structures, so no C++ object is skipped over. The
// row buffer belongs to the caller and outlives the jump.
#include <csetjmp>
#include <cstdio>
#include <utility>
#include <vector>

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

// libjpeg's words for the error that ended the last decoding. Kept outside
// the frame that setjmp returns to, whose locals changed since the setjmp
// are not to be read after the jump.
thread_local char s_errorMessage[JMSG_LENGTH_MAX];

extern "C" void JpegErrorExit(j_common_ptr info) {
  (*info->err->format_message)(info, s_errorMessage);
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Warnings are not printed; a file that ends early is remembered so that it
// can be rejected instead of handing out grey-filled rows. Scan data cut
// short shows as the end of the file, or as a marker (often the end marker)
// where compressed data or a restart marker should be.
extern "C" void JpegEmitMessage(j_common_ptr info, int level) {
  JpegError* err = reinterpret_cast<JpegError*>(info->err);
  if (level < 0) {
    ++err->mgr.num_warnings;
    const int code = err->mgr.msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC) err->truncated = true;
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
  bool arithmetic;
  std::uint64_t firstComponentBlocks;
};

// Reads the header; on failure the reason is recorded.
bool ReadHeader(const std::uint8_t* data, std::size_t size, JpegHeader* header) {
  jpeg_decompress_struct info;
  JpegError err;
  InitError(info, err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    Reject(TexRejection::DamagedData, s_errorMessage);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  const int rc = jpeg_read_header(&info, TRUE);
  const bool colours =
      info.num_components == 1 || info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB;
  const bool ok = rc == JPEG_HEADER_OK && colours;
  if (rc != JPEG_HEADER_OK) Reject(TexRejection::CutShort);
  if (rc == JPEG_HEADER_OK && !colours) Reject(TexRejection::UnsupportedColours);
  header->width = info.image_width;
  header->height = info.image_height;
  header->grey = info.num_components == 1;
  header->arithmetic = info.arith_code != FALSE;
  header->firstComponentBlocks =
      ok ? std::uint64_t(info.comp_info[0].width_in_blocks) * info.comp_info[0].height_in_blocks : 0;
  jpeg_destroy_decompress(&info);
  return ok;
}

// Decodes into `out` (pitch bytes apart): one byte per pixel for grey; for
// colour, each row goes through `rgb` (width x 3 bytes) into blue, green,
// red, 255. On failure the reason is recorded.
bool Decode(const std::uint8_t* data, std::size_t size, bool grey, std::uint8_t* out, std::size_t pitch,
            std::uint32_t width, std::uint32_t height, std::uint8_t* rgb) {
  jpeg_decompress_struct info;
  JpegError err;
  InitError(info, err);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    Reject(TexRejection::DamagedData, s_errorMessage);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_width != width || info.output_height != height ||
      info.output_components != (grey ? 1 : 3)) {
    jpeg_destroy_decompress(&info);
    Reject(TexRejection::BadHeader);
    return false;
  }
  while (info.output_scanline < info.output_height && !err.truncated) {
    std::uint8_t* dst = out + pitch * info.output_scanline;
    JSAMPROW row = grey ? dst : rgb;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (!grey) {
      for (std::uint32_t x = 0; x < width; ++x) {
        dst[x * 4 + 0] = rgb[x * 3 + 2];
        dst[x * 4 + 1] = rgb[x * 3 + 1];
        dst[x * 4 + 2] = rgb[x * 3 + 0];
        dst[x * 4 + 3] = 255;
      }
    }
  }
  const bool ok = !err.truncated && info.output_scanline == info.output_height;
  if (ok) jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (!ok || err.truncated) {
    Reject(TexRejection::ScanCutShort);
    return false;
  }
  return true;
}

}  // namespace

ReadResult ReadJpeg(const std::uint8_t* data, std::size_t size, TexImageChain& out) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[2] != 0xFF) return ReadResult::Rejected;
  JpegHeader header{};
  if (!ReadHeader(data, size, &header)) return ReadResult::Rejected;
  if (header.width == 0 || header.height == 0) return Reject(TexRejection::NoPixels);
  // Huffman coding spends at least one bit on each block of the first
  // component: a file shorter than that cannot hold the image it claims.
  if (!header.arithmetic && size < header.firstComponentBlocks / 8) return Reject(TexRejection::CutShort);
  const ReadResult fits = CheckImageSize(header.width, header.height);
  if (fits != ReadResult::Accepted) return fits;

  TexImage img;
  img.width = header.width;
  img.height = header.height;
  img.format = header.grey ? D3DFMT_L8 : D3DFMT_X8R8G8B8;
  img.pitch = header.width * (header.grey ? 1 : 4);
  img.decode = [data, size, header](std::uint8_t* rows, std::size_t pitch) {
    const TexReaderScope running(TexReader::Jpeg);  // the loader may decode long after the read
    std::vector<std::uint8_t> rgb(header.grey ? 0 : std::size_t(header.width) * 3);
    return Decode(data, size, header.grey, rows, pitch, header.width, header.height, rgb.data());
  };
  if (!out.deferPixels) {
    img.storage.resize(std::size_t(img.pitch) * header.height);
    if (!img.decode(img.storage.data(), img.pitch)) return ReadResult::Rejected;
    img.data = img.storage.data();
  }
  out.levels.clear();
  out.levels.push_back(std::move(img));
  out.fileFormat = D3DXIFF_JPG;
  return ReadResult::Accepted;
}

}  // namespace qv::tex
