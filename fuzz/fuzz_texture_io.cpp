// libFuzzer harness for the texture loader: every input is read as an image
// file, as D3DXCreateTextureFromFileInMemoryEx reads it, and the image
// is made into textures on the in-memory test device (the GL device is not
// used: Mesa under the sanitizers is slow and reports its own leaks). Two
// devices are tried: one taking common formats, and a power-of-two one that
// also takes P8, DXT and bump formats, with the default pool. Both have a
// small maximum texture size, so converting and filtering stay cheap while
// the readers still decode every size a file can hold (run-length files of a
// few bytes reach the decoding limit; those pass through the resampler at
// full size on the first device, up to kMaxLoadedPixels). Besides crashes,
// the harness traps when a failure leaves a texture or a lock behind, or
// touches the output.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "testing/fake_d3d8.h"
#include "texture_io/d3dx8_tex.h"
#include "texture_io/tex_image.h"

namespace {

// Larger images are read but not made into textures: resampling millions
// of pixels down to the small device takes too long for one input.
constexpr std::uint64_t kMaxLoadedPixels = 1u << 18;

IDirect3DTexture8* const kUntouched = reinterpret_cast<IDirect3DTexture8*>(std::uintptr_t(0x40));

HRESULT LoadOn(qv::test::FakeDirect3D8* d3d, qv::tex::TexImageChain& chain, D3DPOOL pool,
               PALETTEENTRY* palette) {
  IDirect3DDevice8* device = d3d->MakeDevice();
  IDirect3DTexture8* tex = kUntouched;
  D3DXIMAGE_INFO info{};
  const HRESULT hr = qv::tex::CreateTextureFromImage(device, chain, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                                     0, D3DFMT_UNKNOWN, pool, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                     &info, palette, &tex);
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
  return hr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::tex::TexImageChain chain;
  // Read as the file entry point reads (JPEG and PNG pixels decoded by the
  // loader), and for the second device as the readers' other callers do.
  const qv::tex::ReadResult read = qv::tex::ReadImage(data, size, chain, true);
  if (read != qv::tex::ReadResult::Accepted) {
    Check(chain.levels.empty());
    return 0;
  }
  const qv::tex::TexImage& first = chain.levels.front();
  if (std::uint64_t(first.width) * first.height > kMaxLoadedPixels) return 0;

  auto* plain = new qv::test::FakeDirect3D8();
  plain->Config().caps.MaxTextureWidth = plain->Config().caps.MaxTextureHeight = 256;
  LoadOn(plain, chain, D3DPOOL_MANAGED, nullptr);
  plain->Release();

  // The second device only for images of moderate size: its work per pixel
  // is the same, its formats are what differs.
  if (std::uint64_t(first.width) * first.height > (1u << 16)) return 0;
  // The first load may have let the pixels go: read again (a small image).
  // A file whose pixels fail to decode is rejected here.
  if (qv::tex::ReadImage(data, size, chain) != qv::tex::ReadResult::Accepted) return 0;
  auto* pow2 = new qv::test::FakeDirect3D8();
  qv::test::FakeD3DConfig& c = pow2->Config();
  c.caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
  c.caps.MaxTextureWidth = c.caps.MaxTextureHeight = 64;
  c.caps.MaxTextureAspectRatio = 4;
  for (D3DFORMAT f :
       {D3DFMT_P8, D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5, D3DFMT_V8U8, D3DFMT_A8, D3DFMT_R3G3B2, D3DFMT_A4L4})
    c.textureFormats.insert(f);
  PALETTEENTRY palette[256];
  LoadOn(pow2, chain, D3DPOOL_DEFAULT, palette);
  pow2->Release();
  return 0;
}
