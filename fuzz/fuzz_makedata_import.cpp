// libFuzzer harness for the heightmap import: every input is read as the
// user's elevation file (PNG, PGM), or, when it starts with 'R', as a raw
// grid whose width and height are the next two bytes plus one. Small results
// are resampled and quantized too. Besides crashes, the harness traps when a
// success gives samples that do not fill the size it reports.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_check.h"
#include "tools/quorvel-makedata/makedata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  makedata::ImportOptions options;
  options.path = "input";
  options.max_samples = 1u << 20;  // one input must not take seconds
  if (size >= 3 && data[0] == 'R') {
    options.raw_width = data[1] + 1;
    options.raw_height = data[2] + 1;
    data += 3;
    size -= 3;
  }
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!file) return 0;
  makedata::Elevation elevation;
  std::string error;
  if (makedata::ReadElevationFrom(file, options, &elevation, &error)) {
    Check(elevation.width > 0 && elevation.height > 0);
    Check(elevation.samples.size() == static_cast<std::size_t>(elevation.width) * elevation.height);
    if (elevation.samples.size() <= 1u << 16) {
      const std::vector<float> square = makedata::ResampleSquare(elevation, 32);
      Check(square.size() == 32u * 32u);
      Check(makedata::QuantizeHeights(square, 0.0, 65535.0).size() == square.size());
    }
  } else {
    Check(!error.empty());
  }
  std::fclose(file);
  return 0;
}
