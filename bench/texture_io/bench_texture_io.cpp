// Loading 1024 x 1024 24-bit images (BMP, TGA, PNG) into textures with a
// full mipmap chain, next to a plain libpng decode of the same PNG. The
// files are made at start in a temporary folder. The textures live on the
// in-memory test device, so the figures are the loader's own work (file
// mapping, decoding, conversion and mip filtering) without any GPU upload.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <png.h>

#include "testing/fake_d3d8.h"
#include "testing/tex_test_files.h"
#include "texture_io/d3dx8_tex.h"

using namespace qv::textest;

namespace {

constexpr std::uint32_t kSide = 1024;

struct Files {
  std::string dir, bmp, tga, png;
  Bytes pngBytes;

  Files() {
    char pattern[] = "/tmp/qv_bench_tex_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    dir = pattern;
    // A smooth picture with some grain, so that PNG compresses as a real
    // texture would.
    std::vector<Bytes> rows(kSide);
    std::uint32_t seed = 12345;
    for (std::uint32_t y = 0; y < kSide; ++y) {
      Bytes& row = rows[y];
      row.resize(kSide * 3);
      for (std::uint32_t x = 0; x < kSide; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint32_t grain = (seed >> 28) & 7;
        row[x * 3 + 0] = static_cast<std::uint8_t>((x / 4 + grain) & 0xFF);
        row[x * 3 + 1] = static_cast<std::uint8_t>((y / 4 + grain) & 0xFF);
        row[x * 3 + 2] = static_cast<std::uint8_t>(((x + y) / 8 + grain) & 0xFF);
      }
    }
    DibShape dib;
    dib.width = dib.height = kSide;
    dib.rows = rows;
    bmp = dir + "/image.bmp";
    WriteFile(bmp, MakeBmp(dib));
    TgaShape tga;
    tga.width = tga.height = kSide;
    tga.descriptor = 0x20;
    for (const Bytes& r : rows) tga.pixels.insert(tga.pixels.end(), r.begin(), r.end());
    this->tga = dir + "/image.tga";
    WriteFile(this->tga, MakeTga(tga));
    PngShape p;
    p.width = p.height = kSide;
    p.colorType = 2;
    for (Bytes& r : rows) {  // PNG wants red, green, blue
      for (std::uint32_t x = 0; x < kSide; ++x) std::swap(r[x * 3], r[x * 3 + 2]);
    }
    p.rows = rows;
    pngBytes = MakePng(p);
    png = dir + "/image.png";
    WriteFile(png, pngBytes);
  }
  ~Files() {
    std::remove(bmp.c_str());
    std::remove(tga.c_str());
    std::remove(png.c_str());
    rmdir(dir.c_str());
  }
};

Files& TheFiles() {
  static Files s_files;
  return s_files;
}

void LoadFile(benchmark::State& state, const std::string& path) {
  auto* d3d = new qv::test::FakeDirect3D8();
  IDirect3DDevice8* device = d3d->MakeDevice();
  for (auto _ : state) {
    IDirect3DTexture8* tex = nullptr;
    if (FAILED(D3DXCreateTextureFromFileA(device, path.c_str(), &tex))) {
      state.SkipWithError("load failed");
      break;
    }
    if (tex->GetLevelCount() != 11) state.SkipWithError("not a full chain");
    tex->Release();
  }
  device->Release();
  d3d->Release();
}

void BM_LoadBmp24(benchmark::State& state) { LoadFile(state, TheFiles().bmp); }
void BM_LoadTga24(benchmark::State& state) { LoadFile(state, TheFiles().tga); }
void BM_LoadPng24(benchmark::State& state) { LoadFile(state, TheFiles().png); }

struct MemoryReader {
  const Bytes* data;
  std::size_t pos;
};

extern "C" void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (n > r->data->size() - r->pos) png_error(png, "short");
  std::copy(r->data->begin() + static_cast<std::ptrdiff_t>(r->pos),
            r->data->begin() + static_cast<std::ptrdiff_t>(r->pos + n), out);
  r->pos += n;
}

bool DecodeRows(png_structp png, png_infop info, MemoryReader* reader, std::vector<png_bytep>* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, reader, ReadFromMemory);
  png_read_info(png, info);
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  return true;
}

// The floor: libpng alone decoding the same file to RGB rows.
void BM_PlainLibpngDecode(benchmark::State& state) {
  const Bytes& file = TheFiles().pngBytes;
  Bytes pixels(std::size_t(kSide) * kSide * 3);
  std::vector<png_bytep> rows(kSide);
  for (std::uint32_t y = 0; y < kSide; ++y) rows[y] = pixels.data() + std::size_t(y) * kSide * 3;
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    MemoryReader reader{&file, 0};
    if (!DecodeRows(png, info, &reader, &rows)) state.SkipWithError("decode failed");
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(pixels.data());
  }
}

}  // namespace

BENCHMARK(BM_LoadBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTga24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPng24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLibpngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
