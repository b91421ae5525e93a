// The heightmap: one headerless file of length x width unsigned bytes, row by
// row, held in a block with one spare row on each side so that look-ups one
// row or column beyond the map need no bounds test.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "platform/win32/win32.h"
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

// Opens a file on a disk for reading; null for anything else. A pipe or a
// device such as /dev/zero could block a read or never end, so only a disk
// file, whose size is known, is kept.
HANDLE OpenDiskFile(const char* fileName) {
  if (!fileName) return nullptr;
  HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE || !file) return nullptr;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return nullptr;
  }
  return file;
}

// Reads exactly `bytes` bytes; false when the file ends early or a read fails.
bool ReadExactly(HANDLE file, unsigned char* out, std::size_t bytes) {
  while (bytes > 0) {
    const DWORD chunk = bytes > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes);
    DWORD got = 0;
    if (!ReadFile(file, out, chunk, &got, nullptr) || got == 0) return false;
    out += got;
    bytes -= got;
  }
  return true;
}

}  // namespace

bool Terrain::LoadHM(const char* fileName, int length, int width) {
  using terrain::Report;
  FreeHeightMap();

  HANDLE file = OpenDiskFile(fileName);
  LARGE_INTEGER size{};
  const bool sized = file && GetFileSizeEx(file, &size);
  if (file) CloseHandle(file);
  if (!sized) {
    Report(LOG_ERROR, "Could not read RAW file", "LoadHM");
    return false;
  }
  // The count stops one byte past the size asked for, as a count made by
  // reading the file through would: a longer file does not match, however
  // long it is.
  const long long asked = length > 0 && width > 0 ? static_cast<long long>(length) * width : 0;
  const long long counted = size.QuadPart > asked ? asked + 1 : size.QuadPart;
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

  file = OpenDiskFile(fileName);
  if (!file) {
    Report(LOG_ERROR, "Odd load file error", "LoadHM");
    FreeHeightMap();
    return false;
  }
  // The file must still hold exactly the bytes it held when it was measured.
  unsigned char extra = 0;
  DWORD extraRead = 0;
  const bool read = ReadExactly(file, block + width, static_cast<std::size_t>(expected)) &&
                    ReadFile(file, &extra, 1, &extraRead, nullptr) && extraRead == 0;
  CloseHandle(file);
  if (!read) {
    Report(LOG_ERROR, "Odd load file error", "LoadHM");
    FreeHeightMap();
    return false;
  }

  terrain::FillHeightMapBorders(block, length, width);
  g_pHeightMap = block + width;
  Report(LOG_INFO, "LoadHM completed successfully", "LoadHM");
  return true;
}
