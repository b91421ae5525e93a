// quorvel-makedata DIR [--seed N] [--heightmap FILE [--raw-size WxH]
// [--height-range LO:HI]]: writes the default data set into DIR, with the
// heightmap generated from the seed or imported from the user's own file.
// On success one line on standard output names the folder, the map and the
// heights that became 0..255; notes and warnings go to standard error.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/cli/tool_cli.h"
#include "tools/quorvel-makedata/makedata.h"

namespace {

const qv::cli::Program kProgram = {
    "quorvel-makedata",
    "usage: quorvel-makedata DIR [--seed N] [--heightmap FILE [--raw-size WxH]\n"
    "                        [--height-range LO:HI]]\n"
    "Writes a complete data set for the viewer into DIR (made when missing):\n"
    "\"Readme.txt\", \"HeightMap20.raw\" (1024 x 1024), \"Diffuse.raw\", \"Ambient.raw\"\n"
    "and four textures.\n"
    "  --seed N             seed of the generated terrain and textures, a whole\n"
    "                       number from 0 to 18446744073709551615 (default 20)\n"
    "  --heightmap FILE     your own terrain instead of the generated one: an 8- or\n"
    "                       16-bit grey PNG (colour is taken as luminance), an 8- or\n"
    "                       16-bit binary PGM (P5), or a raw grid (--raw-size); it is\n"
    "                       resampled to 1024 x 1024 (area average when shrinking,\n"
    "                       bilinear when enlarging)\n"
    "  --raw-size WxH       FILE is a raw grid of W x H unsigned 16-bit\n"
    "                       little-endian samples (not a PNG or PGM)\n"
    "  --height-range LO:HI source heights LO..HI become 0..255 (others clamp);\n"
    "                       default: the file's own lowest and highest sample.\n"
    "                       Give the same range to tiles that share one scale\n"
    "  -h, --help           show this text\n"};

bool ParseSide(const std::string& text, int* value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end != '\0' || errno != 0 ||
      v < 1 || v > makedata::kMaxImportSide)
    return false;
  *value = static_cast<int>(v);
  return true;
}

// A whole number in decimal digits only (no sign, no blanks, no base prefix).
bool ParseSeed(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  *value = std::strtoull(text.c_str(), nullptr, 10);
  return errno == 0;
}

bool ParseHeight(const std::string& text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(*value);
}

}  // namespace

int main(int argc, char** argv) {
  if (qv::cli::WantsHelp(argc, argv)) return qv::cli::PrintHelp(kProgram);
  const char* dir = nullptr;
  std::uint64_t seed = makedata::kDefaultSeed;
  makedata::ImportOptions import;
  bool rawSize = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool takesValue =
        arg == "--seed" || arg == "--heightmap" || arg == "--raw-size" || arg == "--height-range";
    if (takesValue && i + 1 >= argc) return qv::cli::BadUsage(kProgram, arg + " needs a value");
    const std::string value = takesValue ? argv[++i] : "";
    if (arg == "--seed") {
      if (!ParseSeed(value, &seed))
        return qv::cli::BadUsage(
            kProgram, "--seed needs a whole number from 0 to 18446744073709551615, not '" + value + "'");
    } else if (arg == "--heightmap") {
      import.path = value;
    } else if (arg == "--raw-size") {
      const std::size_t x = value.find_first_of("xX");
      if (x == std::string::npos || !ParseSide(value.substr(0, x), &import.raw_width) ||
          !ParseSide(value.substr(x + 1), &import.raw_height))
        return qv::cli::BadUsage(kProgram, "--raw-size needs WxH, each 1 to 65535, not '" + value + "'");
      rawSize = true;
    } else if (arg == "--height-range") {
      const std::size_t colon = value.find(':');
      if (colon == std::string::npos || !ParseHeight(value.substr(0, colon), &import.range_low) ||
          !ParseHeight(value.substr(colon + 1), &import.range_high) ||
          !(import.range_low < import.range_high))
        return qv::cli::BadUsage(kProgram,
                                 "--height-range needs LO:HI with LO below HI, not '" + value + "'");
      import.fixed_range = true;
    } else if (qv::cli::IsOption(argv[i])) {
      return qv::cli::BadUsage(kProgram, "unknown option '" + arg + "'");
    } else if (!dir) {
      dir = argv[i];
    } else {
      return qv::cli::BadUsage(kProgram, "one folder only, not also '" + arg + "'");
    }
  }
  if (!dir) return qv::cli::BadUsage(kProgram, "no folder named");
  if (import.path.empty() && (rawSize || import.fixed_range))
    return qv::cli::BadUsage(kProgram, "--raw-size and --height-range go with --heightmap");

  std::string error;
  std::vector<std::uint8_t> heights;
  makedata::ImportReport report;
  if (!import.path.empty()) {
    const bool ok = makedata::ImportHeightMap(import, &heights, &report, &error);
    if (!ok && report.badUsage) return qv::cli::BadUsage(kProgram, error);
    const std::string& notes = report.notes;
    for (std::size_t start = 0, end; (end = notes.find('\n', start)) != std::string::npos; start = end + 1)
      std::fprintf(stderr, "quorvel-makedata: %s\n", notes.substr(start, end - start).c_str());
    if (!ok) {
      std::fprintf(stderr, "quorvel-makedata: %s\n", error.c_str());
      return 1;
    }
  }
  if (!makedata::WriteDataSet(dir, seed, &error, import.path.empty() ? nullptr : &heights)) {
    std::fprintf(stderr, "quorvel-makedata: %s\n", error.c_str());
    return 1;
  }
  // One line on what was made: the folder, the map and where its heights came from.
  const int side = makedata::kHeightMapSize;
  if (import.path.empty())
    std::printf("wrote %s: a %d x %d map generated from seed %llu, heights 0..255\n", dir, side, side,
                static_cast<unsigned long long>(seed));
  else
    std::printf("wrote %s: a %d x %d map from %s (%d x %d), heights %.7g..%.7g to 0..255\n", dir, side, side,
                import.path.c_str(), report.width, report.height, report.low, report.high);
  return 0;
}
