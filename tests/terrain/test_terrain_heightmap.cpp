// LoadHM: the file's size test, the border rows, and what a failed load leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "tests/terrain/terrain_test_support.h"

namespace {

std::vector<unsigned char> Pattern(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<unsigned char>((i * 131 + i / 1024 * 7 + 5) & 0xFF);
  return bytes;
}

class TerrainLoadHM : public ::testing::Test {
 protected:
  ~TerrainLoadHM() override {
    // A loaded block belongs to the globals; free it between tests.
    delete[] g_pHeightMapBlock;
    g_pHeightMapBlock = g_pHeightMap = nullptr;
  }
  terrain_test::ScratchDir m_Dir;
  Terrain m_Terrain;
};

TEST_F(TerrainLoadHM, FullSizeMapWithBorderCopies) {
  const auto bytes = Pattern(1024 * 1024);
  m_Dir.WriteFile("HeightMap20.raw", bytes);
  ASSERT_TRUE(m_Terrain.LoadHM("HeightMap20.raw", 1024, 1024));
  EXPECT_EQ(m_Terrain.m_FileBytes, 1048576);
  ASSERT_EQ(g_pHeightMap, g_pHeightMapBlock + 1024);
  EXPECT_EQ(0, std::memcmp(g_pHeightMap, bytes.data(), bytes.size()));
  // Row -1 is the last row; behind the last sample come row 0 and sample 0 of row 1.
  EXPECT_EQ(0, std::memcmp(g_pHeightMapBlock, bytes.data() + 1023 * 1024, 1024));
  EXPECT_EQ(0, std::memcmp(g_pHeightMap + 1024 * 1024, bytes.data(), 1025));
  const auto entries = m_Dir.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_FALSE(entries[0].error);
  EXPECT_EQ(entries[0].tag + ": " + entries[0].message, "LoadHM: LoadHM completed successfully");
}

TEST_F(TerrainLoadHM, WrongSizeReportsTheCount) {
  for (std::size_t size : {1048575u, 1048577u}) {
    m_Dir.WriteFile("HeightMap20.raw", Pattern(size));
    const std::size_t before = m_Dir.Errors().size();
    EXPECT_FALSE(m_Terrain.LoadHM("HeightMap20.raw", 1024, 1024));
    EXPECT_EQ(g_pHeightMap, nullptr);
    const auto errors = m_Dir.Errors();
    ASSERT_EQ(errors.size(), before + 2);
    EXPECT_EQ(errors[before].tag + ": " + errors[before].message,
              "LoadHM: Length/Width not equal to Checksum");
    EXPECT_EQ(errors[before + 1].tag + ": " + errors[before + 1].message,
              "Checksum: " + std::to_string(size));
  }
}

TEST_F(TerrainLoadHM, MissingAndEmptyFiles) {
  EXPECT_FALSE(m_Terrain.LoadHM("NoSuchMap.raw", 1024, 1024));
  auto entries = m_Dir.Entries();
  ASSERT_EQ(entries.size(), 1u);  // no "Checksum" entry
  EXPECT_TRUE(entries[0].error);
  EXPECT_EQ(entries[0].tag + ": " + entries[0].message, "LoadHM: Could not read RAW file");
  // An empty file passes the size test with sizes 0 and 0.
  m_Dir.WriteFile("Empty.raw", {});
  EXPECT_TRUE(m_Terrain.LoadHM("Empty.raw", 0, 0));
  EXPECT_EQ(m_Dir.Errors().size(), 1u);
}

// Only regular files are read (a FIFO would block the open, /dev/zero never
// ends), and counting stops one byte past the size asked for.
TEST_F(TerrainLoadHM, NonRegularAndEndlessFiles) {
  ASSERT_EQ(mkfifo("Fifo.raw", 0600), 0);
  EXPECT_FALSE(m_Terrain.LoadHM("Fifo.raw", 1024, 1024));
  EXPECT_FALSE(m_Terrain.LoadHM("/dev/zero", 1024, 1024));
  auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), 2u);
  for (const auto& e : errors) EXPECT_EQ(e.tag + ": " + e.message, "LoadHM: Could not read RAW file");
  const int fd = open("Huge.raw", O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(1) << 36), 0);  // 64 GB, sparse
  close(fd);
  EXPECT_FALSE(m_Terrain.LoadHM("Huge.raw", 1024, 1024));
  EXPECT_EQ(m_Terrain.m_FileBytes, 1024 * 1024 + 1);
}

TEST_F(TerrainLoadHM, FailedReloadLeavesNoMap) {
  m_Dir.WriteFile("Small.raw", Pattern(64 * 64));
  ASSERT_TRUE(m_Terrain.LoadHM("Small.raw", 64, 64));
  EXPECT_FALSE(m_Terrain.LoadHM("Small.raw", 1024, 1024));
  EXPECT_EQ(g_pHeightMap, nullptr);
  EXPECT_EQ(g_pHeightMapBlock, nullptr);
  EXPECT_EQ(m_Terrain.m_Length, 1024);  // the sizes of the failed call
  EXPECT_EQ(m_Terrain.m_FileBytes, 4096);
}

TEST_F(TerrainLoadHM, RefusesSizesTheBlockCannotHold) {
  m_Dir.WriteFile("One.raw", {7});
  EXPECT_FALSE(m_Terrain.LoadHM("One.raw", -1, -1));  // -1 x -1 = 1 would pass the size test
  m_Dir.WriteFile("Wide.raw", Pattern(2 * 100));
  EXPECT_FALSE(m_Terrain.LoadHM("Wide.raw", 2, 100));  // no room for the border copy of a row
  EXPECT_EQ(g_pHeightMap, nullptr);
  const auto errors = m_Dir.Errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].tag, "LoadHM");
  EXPECT_EQ(errors[1].tag, "LoadHM");
}

}  // namespace
