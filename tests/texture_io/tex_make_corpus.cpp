// Writes one small file of every kind the texture loader reads into the
// folder given (the fuzzer's seed corpus): tex_make_corpus DIR
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "testing/tex_test_files.h"

using namespace qv::textest;

namespace {

Bytes Ramp(std::size_t n, std::uint8_t step) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * step);
  return b;
}

std::vector<Bytes> Rows(std::size_t count, std::size_t bytes, std::uint8_t step) {
  std::vector<Bytes> rows;
  for (std::size_t y = 0; y < count; ++y) rows.push_back(Ramp(bytes, static_cast<std::uint8_t>(step + y)));
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tex_make_corpus DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<std::pair<std::string, Bytes>> files;

  DibShape dib;
  dib.width = 3;
  dib.height = 2;
  dib.rows = Rows(2, 9, 17);
  files.push_back({"bmp24.bmp", MakeBmp(dib)});
  dib.bits = 4;
  dib.palette = {0xFF0000, 0x00FF00, 0x0000FF};
  dib.rows = {{0x01, 0x20}, {0x12, 0x00}};
  files.push_back({"bmp4.bmp", MakeBmp(dib)});
  dib.bits = 1;
  dib.rows = {{0xA0}, {0x40}};
  files.push_back({"bmp1.dib", MakeDib(dib)});
  dib.bits = 8;
  dib.compression = 1;
  dib.rle = {3, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 1};
  files.push_back({"rle8.bmp", MakeBmp(dib)});
  dib.bits = 4;
  dib.compression = 2;
  dib.rle = {3, 0x12, 0, 0, 0, 3, 0x21, 0x20, 0, 1};
  files.push_back({"rle4.bmp", MakeBmp(dib)});
  // A large picture from a few bytes (two runs, then the end of the bitmap),
  // for the path where large sizes meet the resampler.
  dib.bits = 8;
  dib.compression = 1;
  dib.width = 1024;
  dib.height = 768;
  dib.rle = {255, 3, 255, 1, 0, 0, 0, 1};
  files.push_back({"rle8-large.bmp", MakeBmp(dib)});
  DibShape fields;
  fields.width = 2;
  fields.height = 2;
  fields.bits = 16;
  fields.topDown = true;
  fields.masks = {0xF800, 0x7E0, 0x1F, 0};
  fields.rows = Rows(2, 4, 3);
  files.push_back({"fields565.bmp", MakeBmp(fields)});

  const std::string p6 = "P6\n# seed\n2 2\n255\n";
  Bytes ppm(p6.begin(), p6.end());
  const Bytes samples = Ramp(12, 21);
  ppm.insert(ppm.end(), samples.begin(), samples.end());
  files.push_back({"p6.ppm", ppm});
  const std::string p3 = "P3 # seed\n2 1 15\n15 0 7 # c\n0 15 3\n";
  files.push_back({"p3.ppm", Bytes(p3.begin(), p3.end())});

  DdsShape dds;
  dds.width = dds.height = 8;
  dds.mipCount = 4;
  dds.pfFlags = 4;
  dds.fourCC = 0x31545844;  // DXT1
  dds.payload = Ramp(8 * 4 + 8 * 3, 29);
  files.push_back({"dxt1.dds", MakeDds(dds)});
  dds.fourCC = 0x35545844;  // DXT5
  dds.mipCount = 0;
  dds.payload = Ramp(16 * 4, 13);
  files.push_back({"dxt5.dds", MakeDds(dds)});
  DdsShape argb;
  argb.width = 2;
  argb.height = 2;
  argb.pfFlags = 0x41;
  argb.aMask = 0xFF000000u;
  argb.mipCount = 2;
  argb.payload = Ramp(16 + 4, 11);
  files.push_back({"argb.dds", MakeDds(argb)});
  argb.caps2 = 0xFE00;
  argb.pfFlags = 0x40;
  argb.bits = 16;
  argb.gMask = 0x7E0;
  argb.mipCount = 1;
  argb.payload = Ramp(6 * 8, 5);
  files.push_back({"cube565.dds", MakeDds(argb)});

  files.push_back({"grey.jpg", MakeJpeg(8, 8, true, Ramp(64, 3), 50)});
  files.push_back({"colour.jpg", MakeJpeg(8, 8, false, Ramp(192, 7), 50)});

  PngShape png;
  png.width = 3;
  png.height = 2;
  png.colorType = 2;
  png.rows = Rows(2, 9, 9);
  png.trnsColour = true;
  files.push_back({"rgb-trns.png", MakePng(png)});
  png.trnsColour = false;
  png.colorType = 3;
  png.bitDepth = 4;
  png.palette = {0x102030, 0x405060, 0x708090};
  png.trnsPalette = {0, 128};
  png.rows = {{0x01, 0x20}, {0x21, 0x00}};
  png.interlace = true;
  files.push_back({"pal4-interlaced.png", MakePng(png)});
  PngShape ga;
  ga.width = 2;
  ga.colorType = 4;
  ga.bitDepth = 16;
  ga.gamma = 1.0;
  ga.rows = {Ramp(8, 40)};
  files.push_back({"ga16-gamma.png", MakePng(ga)});

  TgaShape tga;
  tga.width = 3;
  tga.height = 2;
  tga.pixels = Ramp(18, 13);
  files.push_back({"rgb24.tga", MakeTga(tga)});
  tga.type = 10;
  tga.bits = 32;
  tga.descriptor = 0x28;
  tga.pixels = {0x82, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  files.push_back({"rle32.tga", MakeTga(tga)});
  TgaShape mapped;
  mapped.type = 9;
  mapped.bits = 8;
  mapped.width = 2;
  mapped.height = 2;
  mapped.descriptor = 0x30;
  mapped.mapFirst = 1;
  mapped.mapLength = 2;
  mapped.mapBits = 16;
  mapped.map = {0x00, 0xFC, 0x1F, 0x00};
  mapped.pixels = {0x81, 1, 0x01, 2, 1};
  files.push_back({"mapped-rle.tga", MakeTga(mapped)});
  TgaShape grey;
  grey.type = 3;
  grey.bits = 8;
  grey.width = 2;
  grey.height = 2;
  grey.id = {'q', 'v'};
  grey.pixels = {0, 85, 170, 255};
  files.push_back({"grey.tga", MakeTga(grey)});

  int failures = 0;
  for (const auto& [name, bytes] : files) {
    if (bytes.empty() || !WriteFile(dir + "/" + name, bytes)) {
      std::fprintf(stderr, "tex_make_corpus: cannot write %s\n", name.c_str());
      ++failures;
    }
  }
  return failures ? 1 : 0;
}
