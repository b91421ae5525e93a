// LoadHM: the file's size test, the border rows, and what a failed load leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/terrain/terrain_test_support.h"

namespace {

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 1024 * 7 + 5) & 0xFF);
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
  // An empty file passes the size test with sizes 0 and 0.
  m_Dir.WriteFile("Empty.raw", "");
  EXPECT_TRUE(m_Terrain.LoadHM("Empty.raw", 0, 0));
  EXPECT_TRUE(m_Dir.Errors().empty());
}

// Each refused file fails the load, leaves no map, and logs exactly these
// errors. Only regular files are read (a FIFO would block the open,
// /dev/zero never ends).
TEST_F(TerrainLoadHM, RefusedFilesLogTheirErrors) {
  const std::string unreadable = "LoadHM: Could not read RAW file";
  m_Dir.WriteFile("Short.raw", Pattern(1048575));
  m_Dir.WriteFile("Long.raw", Pattern(1048577));
  m_Dir.WriteFile("One.raw", "\x07");
  m_Dir.WriteFile("Wide.raw", Pattern(2 * 100));
  ASSERT_EQ(mkfifo("Fifo.raw", 0600), 0);
  const struct {
    const char* file;
    int length, width;
    std::vector<std::string> errors;
  } rows[] = {
      {"Short.raw", 1024, 1024, {"LoadHM: Length/Width not equal to Checksum", "Checksum: 1048575"}},
      {"Long.raw", 1024, 1024, {"LoadHM: Length/Width not equal to Checksum", "Checksum: 1048577"}},
      {"NoSuchMap.raw", 1024, 1024, {unreadable}},  // no "Checksum" entry
      {"Fifo.raw", 1024, 1024, {unreadable}},
      {"/dev/zero", 1024, 1024, {unreadable}},
      {"One.raw", -1, -1, {"LoadHM: Length and width must not be negative"}},  // -1 x -1 = 1 byte
      {"Wide.raw", 2, 100, {"LoadHM: Length and width must be equal: only square maps are supported"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    const std::size_t before = m_Dir.Entries().size();
    EXPECT_FALSE(m_Terrain.LoadHM(row.file, row.length, row.width));
    EXPECT_EQ(g_pHeightMap, nullptr);
    const auto entries = m_Dir.Entries();
    std::vector<std::string> logged;
    for (std::size_t i = before; i < entries.size(); ++i) {
      EXPECT_TRUE(entries[i].error);
      logged.push_back(entries[i].tag + ": " + entries[i].message);
    }
    EXPECT_EQ(logged, row.errors);
  }
  // Counting stops one byte past the size asked for.
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

}  // namespace
