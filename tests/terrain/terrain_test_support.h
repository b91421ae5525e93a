// Shared by the terrain tests: a scratch directory to run in, the run's log
// read back as entries, and an in-memory heightmap block.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "log/log_file.h"
#include "terrain/terrain.h"
#include "terrain/terrain_build.h"
#include "testing/temp_log.h"

namespace terrain_test {

// Runs the test inside a fresh temporary directory, with a fresh log there.
class ScratchDir : public qv::test::TempLog {
 public:
  // The log's tagged entries so far, in order, as "tag: message"; with
  // errorsOnly, those preceded by the ERROR banner.
  std::vector<std::string> Entries(bool errorsOnly = false) const {
    std::vector<std::string> entries;
    bool banner = false;
    for (const std::string& line : Lines()) {
      const std::size_t close = line.find("]:  ");
      if (line[0] == '[' && close != std::string::npos && (banner || !errorsOnly))
        entries.push_back(line.substr(1, close - 1) + ": " + line.substr(close + 4));
      banner = line.find("*****ERROR*****") != std::string::npos;
    }
    return entries;
  }
  std::vector<std::string> Errors() const { return Entries(true); }
};

// A square map in memory laid out as LoadHM lays it out, borders filled.
class HeightBlock {
 public:
  template <class F>
  HeightBlock(int size, F height) : m_Size(size), m_Block((size + 1) * (size + 1), 0) {
    for (int z = 0; z < size; ++z)
      for (int x = 0; x < size; ++x) m_Block[size + z * size + x] = static_cast<unsigned char>(height(x, z));
    terrain::FillHeightMapBorders(m_Block.data(), size, size);
  }
  const unsigned char* Map() const { return m_Block.data() + m_Size; }
  unsigned char* Map() { return m_Block.data() + m_Size; }
  int Size() const { return m_Size; }

 private:
  int m_Size;
  std::vector<unsigned char> m_Block;
};

}  // namespace terrain_test
