#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

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
    m_savedDevice = g_pd3dDevice;
    g_pd3dDevice = &m_device;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) WriteBmp(name);
  }
  void TearDown() override {
    g_pd3dDevice = m_savedDevice;
    for (IDirect3DTexture8*& t : m_terrain.m_pTextures) {
      if (t) t->Release();
      t = nullptr;
    }
  }

  // Loads and returns what went to the debugger.
  std::string Load(const char* a, const char* b, const char* c, const char* d) {
    ::testing::internal::CaptureStderr();
    m_terrain.LoadTextures(a, b, c, d);
    return ::testing::internal::GetCapturedStderr();
  }

  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  TempLog m_log;  // also the working folder for the files
  Terrain m_terrain;
  FakeDevice m_device;
  IDirect3DDevice8* m_savedDevice = nullptr;
};

TEST_F(ViewTextures, AllFourLoadedThenTwelveLinearFilters) {
  const std::string debug = Load("a.bmp", "b.bmp", "c.bmp", "d.bmp");
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
  EXPECT_EQ(Count(debug, "Failed to load texture."), 0);
}

TEST_F(ViewTextures, MissingSecondFileStopsLoading) {
  const std::string debug = Load("a.bmp", "missing.bmp", "c.bmp", "d.bmp");
  EXPECT_NE(m_terrain.m_pTextures[0], nullptr);
  EXPECT_EQ(m_terrain.m_pTextures[1], nullptr);
  EXPECT_EQ(m_terrain.m_pTextures[2], nullptr);
  EXPECT_EQ(m_terrain.m_pTextures[3], nullptr);
  // The third and fourth files, though valid, were never made into textures.
  EXPECT_EQ(m_device.Counters().texturesCreated, 1);
  EXPECT_TRUE(m_device.StageStates().empty());
  EXPECT_EQ(m_log.Lines(), std::vector<std::string>{"COULDNT LOAD TEXTURE"});
  EXPECT_EQ(Count(debug, "Failed to load texture."), 1);
}

TEST_F(ViewTextures, EmptyNamesAndDamagedFiles) {
  std::string debug = Load("", "", "", "");
  for (IDirect3DTexture8* t : m_terrain.m_pTextures) EXPECT_EQ(t, nullptr);
  EXPECT_EQ(m_log.Count("COULDNT LOAD TEXTURE"), 1);
  EXPECT_EQ(Count(debug, "Failed to load texture."), 1);

  std::ofstream("bad.bmp", std::ios::binary) << "BM this is not a bitmap";
  debug = Load("a.bmp", "b.bmp", "c.bmp", "bad.bmp");
  EXPECT_NE(m_terrain.m_pTextures[2], nullptr);
  EXPECT_EQ(m_terrain.m_pTextures[3], nullptr);
  EXPECT_EQ(m_log.Count("COULDNT LOAD TEXTURE"), 2);
  EXPECT_EQ(Count(debug, "Failed to load texture."), 1);
  EXPECT_TRUE(m_device.StageStates().empty());
}

TEST_F(ViewTextures, NoStalePointerSurvivesAFailedLoad) {
  IDirect3DTexture8* junk = reinterpret_cast<IDirect3DTexture8*>(0x10);
  for (IDirect3DTexture8*& t : m_terrain.m_pTextures) t = junk;
  Load("missing.bmp", "b.bmp", "c.bmp", "d.bmp");
  for (IDirect3DTexture8* t : m_terrain.m_pTextures) EXPECT_EQ(t, nullptr);
}

}  // namespace
