// The default data set: heightmap, sky colour tables, four tiling textures and
// the start-up parameter file, all generated from one seed. Everything here is
// built from integer hashing and IEEE +, -, *, / and sqrt only, so a seed gives
// the same bytes on every machine (no libm transcendentals, no std:: distributions).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace makedata {

constexpr int kHeightMapSize = 1024;
constexpr int kTextureSize = 256;
constexpr int kSkyTableBytes = 1080;
constexpr std::uint64_t kDefaultSeed = 20;

// splitmix64: small, fast and fully specified.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : m_State(seed) {}
  std::uint64_t Next();
  double Uniform();  // [0, 1) with 53 bits

 private:
  std::uint64_t m_State;
};

// Derives an independent 32-bit seed for one generator stage.
std::uint32_t SubSeed(std::uint64_t seed, std::uint32_t stage);

// Lattice value noise in [0, 1). With period > 0 the lattice wraps every
// `period` cells, which makes the noise tile.
double ValueNoise(double x, double y, std::uint32_t seed, int period);
// Fractal sum of value noise, normalised to [0, 1). Octave o has frequency
// 2^o and, when tiling, period basePeriod * 2^o.
double Fbm(double x, double y, std::uint32_t seed, int octaves, int basePeriod);

// Gradient (Perlin-style) noise in [0, 1] and its fractal sum; octaves are
// rotated against each other, so ridges and valleys follow no grid axis.
double GradientNoise(double x, double y, std::uint32_t seed);
double GradientFbm(double x, double y, std::uint32_t seed, int octaves);

// sin of an angle in degrees, by range reduction and a Taylor series.
double SinDegrees(double degrees);

// size x size bytes, row by row, using the full 0..255 range.
std::vector<std::uint8_t> MakeHeightMap(int size, std::uint64_t seed);

// Diffuse and ambient tables: planes R, G, B of 360 bytes, entry d for degree d.
void MakeSkyTables(std::uint8_t diffuse[kSkyTableBytes], std::uint8_t ambient[kSkyTableBytes]);

// Pixels top row first, `channels` bytes per pixel in R, G, B(, A) order.
struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;
  std::vector<std::uint8_t> pixels;
};

Image MakeGroundTexture(int size, std::uint64_t seed);   // RGB
Image MakeOverlayTexture(int size, std::uint64_t seed);  // RGBA, alpha varies
Image MakeDetailTexture(int size, std::uint64_t seed);   // RGB
Image MakeNormalMap(int size, std::uint64_t seed);       // RGB = normal * 0.5 + 0.5

// Writers return false and set *error on failure.
bool WriteBmp24(const std::string& path, const Image& image, std::string* error);
bool WriteTga32(const std::string& path, const Image& image, std::string* error);
bool WriteJpeg(const std::string& path, const Image& image, int quality, std::string* error);
bool WritePng(const std::string& path, const Image& image, std::string* error);
bool WriteBytes(const std::string& path, const void* data, std::size_t size, std::string* error);

// The file names the parameter file names for the four texture stages.
extern const char* const kTextureNames[4];

// Writes "Readme.txt", "HeightMap20.raw", "Diffuse.raw", "Ambient.raw" and
// the four textures into dir (created when missing). With heights (1024 x
// 1024 bytes) that map is written instead of the generated one.
bool WriteDataSet(const std::string& dir, std::uint64_t seed, std::string* error,
                  const std::vector<std::uint8_t>* heights = nullptr);

// Elevation data brought by the user: an 8- or 16-bit grey (or colour, taken
// as luminance) PNG, an 8- or 16-bit binary PGM (P5), or with raw_width > 0 a
// raw grid of unsigned 16-bit little-endian samples.
struct ImportOptions {
  std::string path;
  int raw_width = 0, raw_height = 0;
  bool fixed_range = false;  // map [range_low, range_high] to 0..255, not the data's own
  double range_low = 0.0, range_high = 0.0;
  std::uint64_t max_samples = 1ull << 27;  // width x height at most (512 MiB as floats)
};

constexpr int kMaxImportSide = 65535;

// Samples row by row, top row first, in the source's own units.
struct Elevation {
  int width = 0;
  int height = 0;
  std::vector<float> samples;
};

// On failure *badUsage (when given) says whether the options did not fit the
// file (--raw-size given for a PNG or PGM image): a usage error.
bool ReadElevation(const ImportOptions& options, Elevation* out, std::string* error,
                   bool* badUsage = nullptr);
// The same from an open file (read from its start); options.path names it in messages.
bool ReadElevationFrom(std::FILE* file, const ImportOptions& options, Elevation* out, std::string* error,
                       bool* badUsage = nullptr);

// Resamples to size x size: per axis, area averaging when shrinking and
// bilinear interpolation when enlarging.
std::vector<float> ResampleSquare(const Elevation& source, int size);

// The map written for the viewer: low..high to 0..255, values outside clamped.
// With low >= high every height is 0.
std::vector<std::uint8_t> QuantizeHeights(const std::vector<float>& heights, double low, double high);

// What an import did, for the messages around it.
struct ImportReport {
  std::string notes;          // a non-square source, a flat map: one line each
  int width = 0, height = 0;  // the source's size in samples
  double low = 0, high = 0;   // the source heights that became 0 and 255
  bool badUsage = false;      // on failure: the options did not fit the file
};

// Reads, resamples and quantizes.
bool ImportHeightMap(const ImportOptions& options, std::vector<std::uint8_t>* heights, ImportReport* report,
                     std::string* error);

}  // namespace makedata
