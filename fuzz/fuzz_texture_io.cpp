// libFuzzer harness for the texture loader: every input is handed to
// D3DXCreateTextureFromFileInMemoryEx as an image file, on the in-memory
// test device (the GL device is not used: Mesa under the sanitizers is slow
// and reports its own leaks). Two devices are tried: one taking common
// formats with any size, and a power-of-two one that also takes P8, DXT and
// bump formats, with the default pool. Besides crashes, the harness traps
// when a failure leaves a texture or a lock behind, or touches the output.
#include <cstddef>
#include <cstdint>

#include "testing/fake_d3d8.h"
#include "texture_io/d3dx8_tex.h"
#include "texture_io/tex_image.h"

namespace {

// Images larger than this are read (the readers are what matters) but not
// turned into textures, so that one input cannot take seconds.
constexpr std::uint64_t kMaxLoadedPixels = 1u << 20;

IDirect3DTexture8* const kUntouched = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t(0x40));

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void LoadOn(qv::test::FakeDirect3D8* d3d, const std::uint8_t* data, std::size_t size, D3DPOOL pool,
            PALETTEENTRY* palette) {
  IDirect3DDevice8* device = d3d->MakeDevice();
  IDirect3DTexture8* tex = kUntouched;
  D3DXIMAGE_INFO info{};
  const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
      device, data, static_cast<UINT>(size), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
      pool, D3DX_DEFAULT, D3DX_DEFAULT, 0, &info, palette, &tex);
  Check(d3d->Counters().lockedNow == 0);
  if (SUCCEEDED(hr)) {
    Check(tex != nullptr && tex != kUntouched);
    Check(d3d->Counters().liveTextures == 1);
    tex->Release();
  } else {
    Check(tex == kUntouched);
  }
  Check(d3d->Counters().liveTextures == 0);
  device->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::tex::TexImageChain chain;
  if (qv::tex::ReadImage(data, size, chain) == qv::tex::ReadResult::Accepted) {
    const qv::tex::TexImage& first = chain.levels.front();
    if (std::uint64_t(first.width) * first.height > kMaxLoadedPixels) return 0;
  }

  auto* plain = new qv::test::FakeDirect3D8();
  plain->Config().caps.MaxTextureWidth = plain->Config().caps.MaxTextureHeight = 2048;
  LoadOn(plain, data, size, D3DPOOL_MANAGED, nullptr);
  plain->Release();

  auto* pow2 = new qv::test::FakeDirect3D8();
  qv::test::FakeD3DConfig& c = pow2->Config();
  c.caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
  c.caps.MaxTextureWidth = c.caps.MaxTextureHeight = 256;
  c.caps.MaxTextureAspectRatio = 4;
  for (D3DFORMAT f : {D3DFMT_P8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5, D3DFMT_V8U8, D3DFMT_A8,
                      D3DFMT_R3G3B2, D3DFMT_A4L4})
    c.textureFormats.insert(f);
  PALETTEENTRY palette[256];
  LoadOn(pow2, data, size, D3DPOOL_DEFAULT, palette);
  pow2->Release();
  return 0;
}
