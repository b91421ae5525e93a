// The heightmap: one headerless file of length x width unsigned bytes, row by
// row, held in a block with one spare row on each side so that look-ups one
// row or column beyond the map need no bounds test.
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

// Bytes in the file, counted by reading it through; -1 if reading fails.
long long CountFileBytes(std::FILE* file) {
  unsigned char buffer[65536];
  long long count = 0;
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    count += static_cast<long long>(got);
    if (got < sizeof buffer) return std::ferror(file) ? -1 : count;
  }
}

}  // namespace

bool Terrain::LoadHM(const char* fileName, int length, int width) {
  using terrain::Report;
  FreeHeightMap();

  std::FILE* file = fileName ? std::fopen(fileName, "rb") : nullptr;
  if (!file) {
    Report(LOG_ERROR, "Could not read RAW file", "LoadHM");
    return false;
  }
  const long long counted = CountFileBytes(file);
  std::fclose(file);
  if (counted < 0) {
    m_FileBytes = 0;
    Report(LOG_ERROR, "Could not read RAW file", "LoadHM");
    return false;
  }
  m_FileBytes = counted > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                          : static_cast<int>(counted);
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

  const std::size_t blockBytes = (static_cast<std::size_t>(length) + 1) * (static_cast<std::size_t>(width) + 1);
  unsigned char* block = new (std::nothrow) unsigned char[blockBytes];
  if (!block) {
    Report(LOG_ERROR, "Not enough memory for the heightmap", "LoadHM");
    return false;
  }
  std::memset(block, 0, blockBytes);
  g_pHeightMapBlock = block;

  file = std::fopen(fileName, "rb");
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
