#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "testing/fake_d3d8.h"
#include "testing/temp_log.h"
#include "testing/tex_test_files.h"
#include "terrain/terrain.h"

using qv::test::FakeDevice;
using qv::test::TempLog;

namespace {

// A valid 2 x 2 24-bit bitmap.
void WriteBmp(const std::string& path) {
  qv::textest::DibShape shape;
  shape.width = shape.height = 2;
  shape.rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
  qv::textest::WriteFile(path, qv::textest::MakeBmp(shape));
}

class ViewTextures : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_log.Ok());
    g_pd3dDevice = &m_device;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) WriteBmp(name);
  }
  void TearDown() override { g_pd3dDevice = nullptr; }
  ~ViewTextures() override { ReleaseTextures(); }
  void ReleaseTextures() {
    for (IDirect3DTexture8*& t : m_terrain.m_pTextures) {
      if (t) t->Release();
      t = nullptr;
    }
  }

  // Loads and returns how often the debugger was told of a failure.
  int Load(const char* a, const char* b, const char* c, const char* d) {
    ::testing::internal::CaptureStderr();
    m_terrain.LoadTextures(a, b, c, d);
    const std::string text = ::testing::internal::GetCapturedStderr();
    const std::string line = "Failed to load texture.";
    int n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++n;
    return n;
  }

  TempLog m_log;  // also the working folder for the files
  Terrain m_terrain;
  FakeDevice m_device;
};

TEST_F(ViewTextures, AllFourLoadedThenTwelveLinearFilters) {
  EXPECT_EQ(Load("a.bmp", "b.bmp", "c.bmp", "d.bmp"), 0);
  for (IDirect3DTexture8* t : m_terrain.m_pTextures) EXPECT_NE(t, nullptr);
  EXPECT_NE(m_terrain.m_pTextures[0], m_terrain.m_pTextures[1]);

  const auto states = m_device.StageStates();
  ASSERT_EQ(states.size(), 12u);
  const DWORD stages[4] = {2, 3, 0, 1};
  const D3DTEXTURESTAGESTATETYPE filters[3] = {D3DTSS_MIPFILTER, D3DTSS_MAGFILTER, D3DTSS_MINFILTER};
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(states[i].stage, stages[i / 3]) << i;
    EXPECT_EQ(states[i].type, filters[i % 3]) << i;
    EXPECT_EQ(states[i].value, static_cast<DWORD>(D3DTEXF_LINEAR)) << i;
  }
  EXPECT_EQ(m_log.Count("COULDNT LOAD TEXTURE"), 0);
}

// The first file that fails stops the loading: one log line, one debugger
// line, no filters, and no texture from it or the files after it (nor a stale
// pointer from before).
TEST_F(ViewTextures, TheFirstFailureStopsLoading) {
  std::ofstream("bad.bmp", std::ios::binary) << "BM this is not a bitmap";
  const struct {
    const char* names[4];
    int loaded;  // textures made before the failure
  } rows[] = {{{"a.bmp", "missing.bmp", "c.bmp", "d.bmp"}, 1},
              {{"", "", "", ""}, 0},
              {{"a.bmp", "b.bmp", "c.bmp", "bad.bmp"}, 3},
              {{"missing.bmp", "b.bmp", "c.bmp", "d.bmp"}, 0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.names[row.loaded]);
    for (IDirect3DTexture8*& t : m_terrain.m_pTextures) t = reinterpret_cast<IDirect3DTexture8*>(0x10);
    const int created = m_device.Counters().texturesCreated;
    const int logged = m_log.Count("COULDNT LOAD TEXTURE");
    EXPECT_EQ(Load(row.names[0], row.names[1], row.names[2], row.names[3]), 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m_terrain.m_pTextures[i] != nullptr, i < row.loaded) << i;
    EXPECT_EQ(m_device.Counters().texturesCreated - created, row.loaded);
    EXPECT_EQ(m_log.Count("COULDNT LOAD TEXTURE") - logged, 1);
    EXPECT_TRUE(m_device.StageStates().empty());
    ReleaseTextures();
  }
}

}  // namespace
