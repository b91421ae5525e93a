// Start-up cost of the terrain: InitPatches on the default data set (1024 x
// 1024 map, patch size 16, 4 levels: 4096 patches, 1,183,744 vertices) on
// the headless device, and the vertex building alone for comparison.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "terrain/terrain.h"
#include "terrain/terrain_build.h"
#include "testing/fake_d3d8.h"
#include "testing/headless_test_device.h"
#include "tools/quorvel-makedata/makedata.h"

namespace {

// The default heightmap, bordered as LoadHM borders it.
std::vector<unsigned char>& DefaultMapBlock() {
  static std::vector<unsigned char> block = [] {
    const auto heights = makedata::MakeHeightMap(1024, makedata::kDefaultSeed);
    std::vector<unsigned char> b(1025 * 1025, 0);
    std::copy(heights.begin(), heights.end(), b.begin() + 1024);
    terrain::FillHeightMapBorders(b.data(), 1024, 1024);
    return b;
  }();
  return block;
}

void BM_InitPatchesDefaultData(benchmark::State& state) {
  if (!qv::test::MakeHeadlessDevice()) {
    state.SkipWithError("no headless device");
    return;
  }
  g_pHeightMap = DefaultMapBlock().data() + 1024;
  for (auto _ : state) {
    Terrain* terrain = new Terrain;
    terrain->m_Length = terrain->m_Width = 1024;
    const bool ok = terrain->InitPatches(16, 4, 65536);
    state.PauseTiming();
    if (!ok) state.SkipWithError("InitPatches failed");
    delete terrain;  // releases the buffers, outside the timed part
    state.ResumeTiming();
  }
  g_pHeightMap = nullptr;
}
BENCHMARK(BM_InitPatchesDefaultData)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The same on the in-memory device: the terrain's own share of the work,
// without the graphics layer's buffer uploads.
void BM_InitPatchesInMemoryDevice(benchmark::State& state) {
  IDirect3DDevice8* saved = g_pd3dDevice;
  auto* d3d = new qv::test::FakeDirect3D8();
  g_pd3dDevice = d3d->MakeDevice();
  g_pHeightMap = DefaultMapBlock().data() + 1024;
  for (auto _ : state) {
    Terrain* terrain = new Terrain;
    terrain->m_Length = terrain->m_Width = 1024;
    const bool ok = terrain->InitPatches(16, 4, 65536);
    state.PauseTiming();
    if (!ok) state.SkipWithError("InitPatches failed");
    delete terrain;
    state.ResumeTiming();
  }
  g_pHeightMap = nullptr;
  g_pd3dDevice->Release();
  d3d->Release();
  g_pd3dDevice = saved;
}
BENCHMARK(BM_InitPatchesInMemoryDevice)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void BM_BuildAllPatchVertices(benchmark::State& state) {
  const unsigned char* map = DefaultMapBlock().data() + 1024;
  std::vector<TerrainVertex> staging(289);
  for (auto _ : state) {
    for (int pz = 0; pz < 64; ++pz)
      for (int px = 0; px < 64; ++px)
        terrain::BuildPatchVertices(map, 1024, 1024, 1024, px * 16, pz * 16, 16, 17, staging.data());
    benchmark::DoNotOptimize(staging.data());
  }
  state.SetItemsProcessed(state.iterations() * 1183744);
}
BENCHMARK(BM_BuildAllPatchVertices)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
