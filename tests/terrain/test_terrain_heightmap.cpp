// LoadHM: the file's size test, the border rows, and what a failed load leaves.
#include <gtest/gtest.h>

#include <vector>

#include "tests/terrain/terrain_test_support.h"

namespace {

using terrain_test::ScratchDir;

std::vector<unsigned char> Pattern(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>((i * 131 + i / 1024 * 7 + 5) & 0xFF);
  return bytes;
}

class TerrainLoadHM : public ::testing::Test {
 protected:
  ~TerrainLoadHM() override {
    // A loaded block belongs to the globals; free it between tests.
    delete[] g_pHeightMapBlock;
    g_pHeightMapBlock = nullptr;
    g_pHeightMap = nullptr;
  }
  ScratchDir m_Dir;
  Terrain m_Terrain;
};

TEST_F(TerrainLoadHM, FullSizeMapWithBorderCopies) {
  const auto bytes = Pattern(1024 * 1024);
  m_Dir.WriteFile("HeightMap20.raw", bytes);
  ASSERT_TRUE(m_Terrain.LoadHM("HeightMap20.raw", 1024, 1024));
  EXPECT_EQ(m_Terrain.m_FileBytes, 1048576);
  EXPECT_EQ(m_Terrain.m_Length, 1024);
  EXPECT_EQ(m_Terrain.m_Width, 1024);
  ASSERT_NE(g_pHeightMap, nullptr);
  EXPECT_EQ(g_pHeightMap, g_pHeightMapBlock + 1024);
  EXPECT_EQ(0, std::memcmp(g_pHeightMap, bytes.data(), bytes.size()));
  EXPECT_EQ(g_pHeightMap[0], bytes[0]);
  // Row -1 is the last row; behind the last sample come row 0 and sample 0 of row 1.
  EXPECT_EQ(0, std::memcmp(g_pHeightMapBlock, bytes.data() + 1023 * 1024, 1024));
  EXPECT_EQ(0, std::memcmp(g_pHeightMap + 1024 * 1024, bytes.data(), 1025));

  const auto entries = m_Dir.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].error);
  EXPECT_EQ(entries[0].tag, "LoadHM");
  EXPECT_EQ(entries[0].message, "LoadHM completed successfully");
}

TEST_F(TerrainLoadHM, WrongSizeReportsTheCount) {
  for (std::size_t size : {1048575u, 1048577u}) {
    SCOPED_TRACE(size);
    m_Dir.WriteFile("HeightMap20.raw", Pattern(size));
    const std::size_t before = m_Dir.Errors().size();
    EXPECT_FALSE(m_Terrain.LoadHM("HeightMap20.raw", 1024, 1024));
    EXPECT_EQ(g_pHeightMap, nullptr);
    EXPECT_EQ(g_pHeightMapBlock, nullptr);
    const auto errors = m_Dir.Errors();
    ASSERT_EQ(errors.size(), before + 2);
    EXPECT_EQ(errors[before].tag, "LoadHM");
    EXPECT_EQ(errors[before].message, "Length/Width not equal to Checksum");
    EXPECT_EQ(errors[before + 1].tag, "Checksum");
    EXPECT_EQ(errors[before + 1].message, std::to_string(size));
    EXPECT_EQ(m_Terrain.m_FileBytes, static_cast<int>(size));
  }
}

TEST_F(TerrainLoadHM, MissingFileIsOneError) {
  EXPECT_FALSE(m_Terrain.LoadHM("NoSuchMap.raw", 1024, 1024));
  const auto entries = m_Dir.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].error);
  EXPECT_EQ(entries[0].tag, "LoadHM");
  EXPECT_EQ(entries[0].message, "Could not read RAW file");
  EXPECT_EQ(g_pHeightMap, nullptr);
}

TEST_F(TerrainLoadHM, EmptyFileWithSizesZero) {
  m_Dir.WriteFile("Empty.raw", {});
  EXPECT_TRUE(m_Terrain.LoadHM("Empty.raw", 0, 0));
  EXPECT_EQ(m_Terrain.m_FileBytes, 0);
  EXPECT_TRUE(m_Dir.Errors().empty());
}

TEST_F(TerrainLoadHM, FailedReloadLeavesNoMap) {
  m_Dir.WriteFile("Small.raw", Pattern(64 * 64));
  ASSERT_TRUE(m_Terrain.LoadHM("Small.raw", 64, 64));
  ASSERT_NE(g_pHeightMap, nullptr);
  EXPECT_FALSE(m_Terrain.LoadHM("Small.raw", 1024, 1024));
  EXPECT_EQ(g_pHeightMap, nullptr);
  EXPECT_EQ(g_pHeightMapBlock, nullptr);
  // Sizes stay as the failed call gave them.
  EXPECT_EQ(m_Terrain.m_Length, 1024);
  EXPECT_EQ(m_Terrain.m_FileBytes, 4096);
}

TEST_F(TerrainLoadHM, RefusesSizesTheBlockCannotHold) {
  // -1 x -1 = 1 would pass the size test with a one-byte file.
  m_Dir.WriteFile("One.raw", {7});
  EXPECT_FALSE(m_Terrain.LoadHM("One.raw", -1, -1));
  // A map with fewer rows than columns has no room for its border copy.
  m_Dir.WriteFile("Wide.raw", Pattern(2 * 100));
  EXPECT_FALSE(m_Terrain.LoadHM("Wide.raw", 2, 100));
  EXPECT_EQ(g_pHeightMap, nullptr);
  const auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].tag, "LoadHM");
  EXPECT_EQ(errors[1].tag, "LoadHM");
}

}  // namespace
