// Image and raw file writers. BMP and TGA are written field by field in
// little-endian order; JPEG goes through libjpeg and PNG through libpng.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <jpeglib.h>
#include <png.h>

#include "tools/quorvel-makedata/makedata.h"

namespace makedata {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

bool CheckImage(const Image& image, int channels, std::string* error) {
  if (image.width <= 0 || image.height <= 0 || image.channels != channels ||
      image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * channels) {
    *error = "image has the wrong shape for this format";
    return false;
  }
  return true;
}

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  JpegError* err = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// "cannot VERB PATH: reason", the reason from errno.
std::string FileError(const char* verb, const std::string& path) {
  return std::string("cannot ") + verb + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool WriteBytes(const std::string& path, const void* data, std::size_t size, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = FileError("create", path);
    return false;
  }
  const bool ok = std::fwrite(data, 1, size, f) == size;
  const int writeErrno = errno;
  if (std::fclose(f) != 0 || !ok) {
    if (!ok) errno = writeErrno;
    *error = FileError("write", path);
    return false;
  }
  return true;
}

bool WriteBmp24(const std::string& path, const Image& image, std::string* error) {
  if (!CheckImage(image, 3, error)) return false;
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
  const std::uint32_t dataBytes = rowBytes * static_cast<std::uint32_t>(image.height);
  std::vector<std::uint8_t> out;
  out.reserve(54 + dataBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, 54 + dataBytes);  // file size
  Put32(out, 0);               // reserved
  Put32(out, 54);              // offset of the pixels
  Put32(out, 40);              // BITMAPINFOHEADER size
  Put32(out, static_cast<std::uint32_t>(image.width));
  Put32(out, static_cast<std::uint32_t>(image.height));  // positive: bottom row first
  Put16(out, 1);                                         // planes
  Put16(out, 24);                                        // bits per pixel
  Put32(out, 0);                                         // BI_RGB
  Put32(out, dataBytes);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const std::uint8_t* row = &image.pixels[static_cast<std::size_t>(y) * image.width * 3];
    for (int x = 0; x < image.width; ++x) {
      out.push_back(row[x * 3 + 2]);
      out.push_back(row[x * 3 + 1]);
      out.push_back(row[x * 3 + 0]);
    }
    for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * 3; pad < rowBytes; ++pad)
      out.push_back(0);
  }
  return WriteBytes(path, out.data(), out.size(), error);
}

bool WriteTga32(const std::string& path, const Image& image, std::string* error) {
  if (!CheckImage(image, 4, error)) return false;
  if (image.width > 0xFFFF || image.height > 0xFFFF) {
    *error = "image too large for TGA";
    return false;
  }
  std::vector<std::uint8_t> out;
  out.push_back(0);                              // no image id
  out.push_back(0);                              // no colour map
  out.push_back(2);                              // uncompressed true colour
  for (int i = 0; i < 5; ++i) out.push_back(0);  // colour map description: none
  Put16(out, 0);                                 // x origin
  Put16(out, 0);                                 // y origin
  Put16(out, static_cast<std::uint32_t>(image.width));
  Put16(out, static_cast<std::uint32_t>(image.height));
  out.push_back(32);
  out.push_back(0x28);  // 8 alpha bits, top row first
  for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
    out.push_back(image.pixels[i + 2]);
    out.push_back(image.pixels[i + 1]);
    out.push_back(image.pixels[i + 0]);
    out.push_back(image.pixels[i + 3]);
  }
  return WriteBytes(path, out.data(), out.size(), error);
}

bool WriteJpeg(const std::string& path, const Image& image, int quality, std::string* error) {
  if (!CheckImage(image, 3, error)) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = FileError("create", path);
    return false;
  }
  jpeg_compress_struct cinfo;
  JpegError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegErrorExit;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
    *error = std::string("libjpeg: ") + err.message;
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_ISLOW;  // integer DCT: the same bytes on every machine
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(&image.pixels[static_cast<std::size_t>(cinfo.next_scanline) * image.width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  if (std::fclose(f) != 0) {
    *error = FileError("write", path);
    return false;
  }
  return true;
}

bool WritePng(const std::string& path, const Image& image, std::string* error) {
  if (!CheckImage(image, 3, error)) return false;
  // libpng's simplified API writes no time stamp, so the bytes depend only on the pixels.
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
    *error = "cannot write " + path + ": libpng: " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

const char* const kTextureNames[4] = {"ground.bmp", "overlay.tga", "detail.jpg", "bump.png"};

bool WriteDataSet(const std::string& dir, std::uint64_t seed, std::string* error,
                  const std::vector<std::uint8_t>* heights) {
  if (heights && heights->size() != static_cast<std::size_t>(kHeightMapSize) * kHeightMapSize) {
    *error = "the heightmap must be 1024 x 1024 bytes";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!ec && !std::filesystem::is_directory(dir, ec) && !ec)
    ec = std::make_error_code(std::errc::not_a_directory);
  if (ec) {
    *error = "cannot make the folder " + dir + ": " + ec.message();
    return false;
  }
  const std::string base = dir + "/";

  std::string readme = "PatchSize 16\nLevels 4\nMaxVertices 65536\n";
  for (int i = 0; i < 4; ++i) readme += "Texture" + std::to_string(i) + " " + kTextureNames[i] + "\n";
  if (!WriteBytes(base + "Readme.txt", readme.data(), readme.size(), error)) return false;

  const std::vector<std::uint8_t> made =
      heights ? std::vector<std::uint8_t>() : MakeHeightMap(kHeightMapSize, seed);
  const std::vector<std::uint8_t>& map = heights ? *heights : made;
  if (!WriteBytes(base + "HeightMap20.raw", map.data(), map.size(), error)) return false;

  std::uint8_t diffuse[kSkyTableBytes], ambient[kSkyTableBytes];
  MakeSkyTables(diffuse, ambient);
  if (!WriteBytes(base + "Diffuse.raw", diffuse, sizeof diffuse, error)) return false;
  if (!WriteBytes(base + "Ambient.raw", ambient, sizeof ambient, error)) return false;

  return WriteBmp24(base + kTextureNames[0], MakeGroundTexture(kTextureSize, seed), error) &&
         WriteTga32(base + kTextureNames[1], MakeOverlayTexture(kTextureSize, seed), error) &&
         WriteJpeg(base + kTextureNames[2], MakeDetailTexture(kTextureSize, seed), 90, error) &&
         WritePng(base + kTextureNames[3], MakeNormalMap(kTextureSize, seed), error);
}

}  // namespace makedata
