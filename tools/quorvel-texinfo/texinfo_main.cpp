// quorvel-texinfo FILE [--png OUT]: tells what the texture loader makes of
// an image file on the headless device (the chosen format, size and level
// count, and what the file itself holds), and can write level 0 as an
// 8-bit RGBA PNG. A file the loader refuses gets one line: the loader's
// code and each image reader's reason for refusing it, where it has one.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/win32.h"
#include "platform/host/host.h"
#include "texture_io/d3dx8_tex.h"
#include "texture_io/tex_convert.h"
#include "texture_io/tex_reject.h"
#include "tools/cli/tool_cli.h"
#include "tools/headless/headless_device.h"

namespace {

const char* FormatName(D3DFORMAT f) {
  switch (f) {
#define QV_NAME(x) \
  case x: return #x;
    QV_NAME(D3DFMT_UNKNOWN)
    QV_NAME(D3DFMT_R8G8B8) QV_NAME(D3DFMT_A8R8G8B8) QV_NAME(D3DFMT_X8R8G8B8) QV_NAME(D3DFMT_R5G6B5)
        QV_NAME(D3DFMT_X1R5G5B5) QV_NAME(D3DFMT_A1R5G5B5) QV_NAME(D3DFMT_A4R4G4B4) QV_NAME(D3DFMT_R3G3B2)
            QV_NAME(D3DFMT_A8) QV_NAME(D3DFMT_A8R3G3B2) QV_NAME(D3DFMT_X4R4G4B4) QV_NAME(D3DFMT_A8P8)
                QV_NAME(D3DFMT_P8) QV_NAME(D3DFMT_L8) QV_NAME(D3DFMT_A8L8) QV_NAME(D3DFMT_A4L4)
                    QV_NAME(D3DFMT_V8U8) QV_NAME(D3DFMT_L6V5U5) QV_NAME(D3DFMT_X8L8V8U8)
                        QV_NAME(D3DFMT_Q8W8V8U8) QV_NAME(D3DFMT_V16U16) QV_NAME(D3DFMT_W11V11U10)
                            QV_NAME(D3DFMT_UYVY) QV_NAME(D3DFMT_YUY2) QV_NAME(D3DFMT_DXT1)
                                QV_NAME(D3DFMT_DXT2) QV_NAME(D3DFMT_DXT3) QV_NAME(D3DFMT_DXT4)
                                    QV_NAME(D3DFMT_DXT5)
#undef QV_NAME
                                        default : return "(other)";
  }
}

const char* FileFormatName(D3DXIMAGE_FILEFORMAT f) {
  static const char* const s_names[] = {"BMP", "JPG", "TGA", "PNG", "DDS", "PPM", "DIB"};
  return f < sizeof s_names / sizeof s_names[0] ? s_names[f] : "(other)";
}

std::string ResultText(HRESULT hr) {
  const char* name = hr == D3DXERR_INVALIDDATA   ? "D3DXERR_INVALIDDATA (no image reader could read the file)"
                     : hr == D3DERR_NOTAVAILABLE ? "D3DERR_NOTAVAILABLE (no texture format suits the device)"
                     : hr == D3DERR_INVALIDCALL  ? "D3DERR_INVALIDCALL"
                     : hr == E_OUTOFMEMORY       ? "E_OUTOFMEMORY"
                     : hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)   ? "file not found"
                     : hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)   ? "path not found"
                     : hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)    ? "access denied"
                     : hr == HRESULT_FROM_WIN32(ERROR_INVALID_FUNCTION) ? "not a file (a pipe or a device)"
                                                                        : "error";
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(name) + " [" + code + "]";
}

extern "C" void PngWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void PngWriteWarning(png_structp, png_const_charp) {}

// libpng jumps back here on error; only C data lives in this frame.
bool WritePngRows(png_structp png, png_infop info, std::FILE* file, std::uint32_t w, std::uint32_t h,
                  png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

bool WriteRgbaPng(const std::string& path, std::uint32_t w, std::uint32_t h,
                  std::vector<std::uint8_t>& rgba) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngWriteWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_bytep> rows(h);
  for (std::uint32_t y = 0; y < h; ++y) rows[y] = rgba.data() + std::size_t(y) * w * 4;
  const bool ok = png && info && WritePngRows(png, info, file, w, h, rows.data());
  if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
}

// Level 0 of the texture as 8-bit RGBA rows.
bool ReadLevel0(IDirect3DTexture8* tex, std::uint32_t& w, std::uint32_t& h, std::vector<std::uint8_t>& rgba) {
  D3DSURFACE_DESC desc{};
  D3DLOCKED_RECT rect{};
  if (FAILED(tex->GetLevelDesc(0, &desc)) || FAILED(tex->LockRect(0, &rect, nullptr, D3DLOCK_READONLY)))
    return false;
  qv::tex::FloatImage image;
  const bool ok =
      qv::tex::DecodePixels(desc.Format, static_cast<const std::uint8_t*>(rect.pBits),
                            static_cast<std::uint32_t>(rect.Pitch), desc.Width, desc.Height, nullptr, image);
  tex->UnlockRect(0);
  if (!ok) return false;
  w = desc.Width;
  h = desc.Height;
  rgba.resize(image.pixels.size());
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    const float v = image.pixels[i] < 0 ? 0 : image.pixels[i] > 1 ? 1 : image.pixels[i];
    rgba[i] = static_cast<std::uint8_t>(v * 255.0f + 0.5f);
  }
  return true;
}

const qv::cli::Program kProgram = {
    "quorvel-texinfo",
    "usage: quorvel-texinfo FILE [--png OUT]\n"
    "Tells what the texture loader makes of an image file (BMP, JPEG, TGA, PNG,\n"
    "DDS, PPM, DIB): the texture's format, size and levels, and what the file holds.\n"
    "  --png OUT   also write level 0 of the texture as an 8-bit RGBA PNG file\n"
    "  -h, --help  show this text\n"};

}  // namespace

int main(int argc, char** argv) {
  if (qv::cli::WantsHelp(argc, argv)) return qv::cli::PrintHelp(kProgram);
  std::string input, pngOut;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--png") {
      if (i + 1 >= argc) return qv::cli::BadUsage(kProgram, "--png needs a file name");
      pngOut = argv[++i];
    } else if (qv::cli::IsOption(argv[i])) {
      return qv::cli::BadUsage(kProgram, "unknown option '" + arg + "'");
    } else if (input.empty()) {
      input = arg;
    } else {
      return qv::cli::BadUsage(kProgram, "one image file only, not also '" + arg + "'");
    }
  }
  if (input.empty()) return qv::cli::BadUsage(kProgram, "no image file named");

  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  qv::headless::Device headless;
  std::string error;
  IDirect3DDevice8* device = nullptr;
  if (qv::headless::Create(headless, "quorvel-texinfo", nullptr, &error)) device = headless.device;
  int exitCode = 0;
  if (!device) {
    std::fprintf(stderr, "quorvel-texinfo: cannot create the Direct3D device: %s\n", error.c_str());
    exitCode = 1;
  } else {
    IDirect3DTexture8* tex = nullptr;
    D3DXIMAGE_INFO info{};
    const HRESULT hr = D3DXCreateTextureFromFileExA(device, input.c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                                    D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                    D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, nullptr, &tex);
    if (FAILED(hr)) {
      // After the loader's code, each reader's reason for refusing the file.
      std::string why = ResultText(hr);
      const std::string reasons = qv::tex::LastRejectionsText();
      if (!reasons.empty()) why += "; " + reasons;
      std::fprintf(stderr, "quorvel-texinfo: cannot load %s: %s\n", input.c_str(), why.c_str());
      exitCode = 1;
    } else {
      D3DSURFACE_DESC desc{};
      tex->GetLevelDesc(0, &desc);
      std::printf("format: %s\nwidth: %u\nheight: %u\nlevels: %u\n", FormatName(desc.Format), desc.Width,
                  desc.Height, static_cast<unsigned>(tex->GetLevelCount()));
      std::printf(
          "file format: %s\nfile pixel format: %s\nfile width: %u\nfile height: %u\n"
          "file depth: %u\nfile levels: %u\n",
          FileFormatName(info.ImageFileFormat), FormatName(info.Format), info.Width, info.Height, info.Depth,
          info.MipLevels);
      if (!pngOut.empty()) {
        std::uint32_t w = 0, h = 0;
        std::vector<std::uint8_t> rgba;
        if (!ReadLevel0(tex, w, h, rgba)) {
          std::fprintf(stderr, "quorvel-texinfo: cannot read level 0 of the texture\n");
          exitCode = 1;
        } else if (!WriteRgbaPng(pngOut, w, h, rgba)) {
          std::fprintf(stderr, "quorvel-texinfo: cannot write %s\n", pngOut.c_str());
          exitCode = 1;
        }
      }
      tex->Release();
    }
  }
  qv::headless::Destroy(headless, "quorvel-texinfo");
  qv::host::Reset();
  return exitCode;
}
