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
  EXPECT_EQ(m_Dir.Entries(), std::vector<std::string>{"LoadHM: LoadHM completed successfully"});
  // An empty file passes the size test with sizes 0 and 0.
  m_Dir.WriteFile("Empty.raw", "");
  EXPECT_TRUE(m_Terrain.LoadHM("Empty.raw", 0, 0));
  EXPECT_TRUE(m_Dir.Errors().empty());
}

// Each refused file fails the load, leaves no map (the first one frees a
// map loaded before), keeps the sizes it was asked for, and logs exactly
// these errors. Only regular files are read (a FIFO would block the open,
// /dev/zero never ends).
TEST_F(TerrainLoadHM, RefusedFilesLogTheirErrorsAndLeaveNoMap) {
  const std::string unreadable = "LoadHM: Could not read RAW file";
  m_Dir.WriteFile("Small.raw", Pattern(64 * 64));
  ASSERT_TRUE(m_Terrain.LoadHM("Small.raw", 64, 64));
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
    EXPECT_EQ(g_pHeightMapBlock, nullptr);
    EXPECT_EQ(m_Terrain.m_Length, row.length);
    const auto entries = m_Dir.Entries();
    EXPECT_EQ(std::vector<std::string>(entries.begin() + before, entries.end()), row.errors);
  }
  EXPECT_EQ(m_Dir.Errors().size(), 9u) << "each entry above is an error";
  // Counting stops one byte past the size asked for.
  const int fd = open("Huge.raw", O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, off_t(1) << 36), 0);  // 64 GB, sparse
  close(fd);
  EXPECT_FALSE(m_Terrain.LoadHM("Huge.raw", 1024, 1024));
  EXPECT_EQ(m_Terrain.m_FileBytes, 1024 * 1024 + 1);
}

}  // namespace
