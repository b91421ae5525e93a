// The heightmap: one headerless file of length x width unsigned bytes, row by
// row, held in a block with one spare row on each side so that look-ups one
// row or column beyond the map need no bounds test.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "terrain/terrain.h"
#include "terrain/terrain_build.h"

namespace terrain {

void FillHeightMapBorders(unsigned char* block, int length, int width) {
  if (length <= 0 || width <= 0) return;
  unsigned char* map = block + width;
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t last = w * static_cast<std::size_t>(length - 1);
  std::memcpy(block, map + last, w);
  // For a one-row map row 0 continues straight into its own copy, so the
  // ranges may overlap.
  std::memmove(map + w * static_cast<std::size_t>(length), map, w + 1);
}

}  // namespace terrain

namespace {

void FreeHeightMap() {
  delete[] g_pHeightMapBlock;
  g_pHeightMapBlock = nullptr;
  g_pHeightMap = nullptr;
}

// Bytes in the file, counted by reading it through but never past `limit`
// (a file that long is too long already); -1 if reading fails.
long long CountFileBytes(std::FILE* file, long long limit) {
  unsigned char buffer[65536];
  long long count = 0;
  while (count < limit) {
    const long long want = limit - count < static_cast<long long>(sizeof buffer)
                               ? limit - count
                               : static_cast<long long>(sizeof buffer);
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(want), file);
    count += static_cast<long long>(got);
    if (got < static_cast<std::size_t>(want)) return std::ferror(file) ? -1 : count;
  }
  return count;
}

// Opens a regular file for binary reading; null for anything else. A FIFO or
// a device such as /dev/zero could block the open or never end, so the file
// is opened without waiting and checked before anything is read.
std::FILE* OpenRegularFile(const char* fileName) {
  if (!fileName) return nullptr;
  const int fd = open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "rb");
  if (!file) close(fd);
  return file;
}

}  // namespace

bool Terrain::LoadHM(const char* fileName, int length, int width) {
  using terrain::Report;
  FreeHeightMap();

  std::FILE* file = OpenRegularFile(fileName);
  if (!file) {
    Report(LOG_ERROR, "Could not read RAW file", "LoadHM");
    return false;
  }
  // Counting stops one byte past the size asked for: enough to tell that a
  // longer file does not match.
  const long long asked = length > 0 && width > 0 ? static_cast<long long>(length) * width : 0;
  const long long counted = CountFileBytes(file, asked + 1);
  std::fclose(file);
  if (counted < 0) {
    m_FileBytes = 0;
    Report(LOG_ERROR, "Could not read RAW file", "LoadHM");
    return false;
  }
  m_FileBytes =
      counted > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(counted);
  m_Length = length;
  m_Width = width;

  // The border rows copy whole rows across the block, which only fits when
  // the map is square; negative sizes could pass the size test below in pairs.
  if (length < 0 || width < 0) {
    Report(LOG_ERROR, "Length and width must not be negative", "LoadHM");
    return false;
  }
  if (length != width) {
    Report(LOG_ERROR, "Length and width must be equal: only square maps are supported", "LoadHM");
    return false;
  }
  const long long expected = static_cast<long long>(length) * width;
  if (counted != expected) {
    Report(LOG_ERROR, "Length/Width not equal to Checksum", "LoadHM");
    Report(LOG_ERROR, m_FileBytes, "Checksum");
    return false;
  }

  const std::size_t blockBytes =
      (static_cast<std::size_t>(length) + 1) * (static_cast<std::size_t>(width) + 1);
  unsigned char* block = new (std::nothrow) unsigned char[blockBytes];
  if (!block) {
    Report(LOG_ERROR, "Not enough memory for the heightmap", "LoadHM");
    return false;
  }
  std::memset(block, 0, blockBytes);
  g_pHeightMapBlock = block;

  file = OpenRegularFile(fileName);
  if (!file) {
    Report(LOG_ERROR, "Odd load file error", "LoadHM");
    FreeHeightMap();
    return false;
  }
  const std::size_t wanted = static_cast<std::size_t>(expected);
  const std::size_t got = wanted ? std::fread(block + width, 1, wanted, file) : 0;
  std::fclose(file);
  if (got != wanted) {
    // The file changed between the two reads.
    Report(LOG_ERROR, "Odd load file error", "LoadHM");
    FreeHeightMap();
    return false;
  }

  terrain::FillHeightMapBorders(block, length, width);
  g_pHeightMap = block + width;
  Report(LOG_INFO, "LoadHM completed successfully", "LoadHM");
  return true;
}
