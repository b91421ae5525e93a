// Elevation import: the user's own terrain (PNG through libpng, binary PGM,
// raw 16-bit grids) read into float samples, resampled to the square map and
// scaled to the 0..255 the viewer reads.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <png.h>

#include "tools/quorvel-makedata/makedata.h"

namespace makedata {
namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

bool SizeAllowed(const ImportOptions& options, std::uint64_t width, std::uint64_t height,
                 std::string* error) {
  const std::string& path = options.path;
  if (width == 0 || height == 0) {
    *error = path + ": the image has no samples";
    return false;
  }
  if (width > kMaxImportSide || height > kMaxImportSide) {
    *error = path + ": " + std::to_string(width) + " x " + std::to_string(height) +
             " is too large (at most 65535 a side)";
    return false;
  }
  if (width * height > options.max_samples) {
    *error = path + ": " + std::to_string(width) + " x " + std::to_string(height) +
             " is too large (at most " + std::to_string(options.max_samples) + " samples)";
    return false;
  }
  return true;
}

// ---- PNG ----------------------------------------------------------------

struct PngContext {
  char message[256];
};

extern "C" void ImportPngError(png_structp png, png_const_charp text) {
  auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
  std::snprintf(context->message, sizeof context->message, "%s", text);
  png_longjmp(png, 1);
}
extern "C" void ImportPngWarning(png_structp, png_const_charp) {}

struct PngShape {
  png_uint_32 width, height;
  int depth;     // 8 or 16 after the transforms
  int channels;  // 1 (grey) or 3 (RGB) after the transforms
  int passes;
  std::size_t rowBytes;
};

// libpng jumps back into these two on error; only C data lives in their frames.
bool ReadPngHeader(png_structp png, png_infop info, std::FILE* file, PngShape* shape) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  int colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &shape->width, &shape->height, &shape->depth, &colorType, &interlace, nullptr,
               nullptr);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && shape->depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (colorType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);  // alpha is no height
  shape->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  shape->depth = png_get_bit_depth(png, info);
  shape->channels = png_get_channels(png, info);
  shape->rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool ReadPngRows(png_structp png, png_bytepp rows, png_uint_32 count, int passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < count; ++y) png_read_row(png, rows[y], nullptr);
  return true;
}

// One decoded row to samples: grey as it is, colour as luminance (the
// Rec. 709 weights libpng itself uses).
void ConvertPngRow(const png_byte* row, const PngShape& shape, float* out) {
  const int bytes = shape.depth / 8;
  auto channel = [&](std::size_t i) -> float {
    const png_byte* p = row + i * bytes;
    return bytes == 2 ? static_cast<float>(p[0] << 8 | p[1]) : static_cast<float>(p[0]);
  };
  for (png_uint_32 x = 0; x < shape.width; ++x) {
    const std::size_t i = static_cast<std::size_t>(x) * shape.channels;
    out[x] =
        shape.channels == 1
            ? channel(i)
            : static_cast<float>(0.2126 * channel(i) + 0.7152 * channel(i + 1) + 0.0722 * channel(i + 2));
  }
}

bool ReadPng(const ImportOptions& options, std::FILE* file, Elevation* out, std::string* error) {
  const std::string& path = options.path;
  PngContext context{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, ImportPngError, ImportPngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  struct Free {
    png_structp* png;
    png_infop* info;
    ~Free() { png_destroy_read_struct(png, info, nullptr); }
  } release{&png, &info};
  if (!info) {
    *error = path + ": cannot start the PNG reader";
    return false;
  }
  PngShape shape{};
  if (!ReadPngHeader(png, info, file, &shape)) {
    *error = path + ": bad or truncated PNG (" + context.message + ")";
    return false;
  }
  if (!SizeAllowed(options, shape.width, shape.height, error)) return false;
  if ((shape.depth != 8 && shape.depth != 16) || (shape.channels != 1 && shape.channels != 3)) {
    *error = path + ": unsupported PNG layout";
    return false;
  }
  // Interlaced images need every row in memory across the passes; others
  // are read one row at a time.
  const png_uint_32 held = shape.passes > 1 ? shape.height : 1;
  std::vector<png_byte> pixels(shape.rowBytes * held);
  std::vector<png_bytep> rows(held);
  for (png_uint_32 y = 0; y < held; ++y) rows[y] = pixels.data() + y * shape.rowBytes;
  out->width = static_cast<int>(shape.width);
  out->height = static_cast<int>(shape.height);
  out->samples.assign(static_cast<std::size_t>(shape.width) * shape.height, 0.0f);
  for (png_uint_32 y = 0; y < shape.height; y += held) {
    if (!ReadPngRows(png, rows.data(), held, shape.passes)) {
      *error = path + ": bad or truncated PNG (" + context.message + ")";
      return false;
    }
    for (png_uint_32 r = 0; r < held; ++r)
      ConvertPngRow(rows[r], shape, out->samples.data() + static_cast<std::size_t>(y + r) * shape.width);
  }
  return true;
}

// ---- PGM (P5) and raw ---------------------------------------------------

bool ReadWhole(const ImportOptions& options, std::FILE* file, std::vector<std::uint8_t>* bytes,
               std::string* error) {
  const std::string& path = options.path;
  // The largest file worth reading: the largest grid of 16-bit samples plus a header.
  const std::uint64_t kMaxBytes = options.max_samples * 2 + 4096;
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes->size() + n > kMaxBytes) {
      *error = path + ": the file is too large";
      return false;
    }
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  if (std::ferror(file)) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

// Samples of `bytesPerSample` (1, or 2 in the given byte order) from data.
void DecodeSamples(const std::uint8_t* data, int bytesPerSample, bool bigEndian, Elevation* out) {
  out->samples.resize(static_cast<std::size_t>(out->width) * out->height);
  for (std::size_t i = 0; i < out->samples.size(); ++i) {
    const std::uint8_t* p = data + i * bytesPerSample;
    const unsigned v = bytesPerSample == 1 ? p[0] : bigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
    out->samples[i] = static_cast<float>(v);
  }
}

// A PGM header: "P5", then width, height and maxval in ASCII, separated by
// white space and comments ('#' to the end of the line), then one
// white-space byte. *pos is left on the first sample byte.
bool ParsePgmHeader(const std::vector<std::uint8_t>& bytes, unsigned long fields[3], std::size_t* pos) {
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') return false;
  std::size_t at = 2;
  for (int i = 0; i < 3; ++i) {
    for (;;) {
      while (at < bytes.size() && std::isspace(bytes[at])) ++at;
      if (at >= bytes.size() || bytes[at] != '#') break;
      while (at < bytes.size() && bytes[at] != '\n') ++at;
    }
    if (at >= bytes.size() || !std::isdigit(bytes[at])) return false;
    fields[i] = 0;
    while (at < bytes.size() && std::isdigit(bytes[at]))  // saturates: too large either way
      fields[i] = std::min(fields[i] * 10 + (bytes[at++] - '0'), 0xFFFFFFFFul);
  }
  if (at >= bytes.size() || !std::isspace(bytes[at])) return false;
  *pos = at + 1;
  return true;
}

bool ReadPgm(const ImportOptions& options, const std::vector<std::uint8_t>& bytes, Elevation* out,
             std::string* error) {
  const std::string& path = options.path;
  std::size_t pos = 0;
  unsigned long fields[3];
  if (!ParsePgmHeader(bytes, fields, &pos)) {
    *error = path + ": bad or truncated PGM header";
    return false;
  }
  if (!SizeAllowed(options, fields[0], fields[1], error)) return false;
  if (fields[2] == 0 || fields[2] > 65535) {
    *error = path + ": PGM maxval " + std::to_string(fields[2]) + " is not 1..65535";
    return false;
  }
  out->width = static_cast<int>(fields[0]);
  out->height = static_cast<int>(fields[1]);
  const int bytesPerSample = fields[2] < 256 ? 1 : 2;
  const std::uint64_t need = fields[0] * fields[1] * bytesPerSample;
  if (bytes.size() - pos < need) {
    *error = path + ": truncated PGM: " + std::to_string(bytes.size() - pos) + " of " + std::to_string(need) +
             " sample bytes";
    return false;
  }
  DecodeSamples(bytes.data() + pos, bytesPerSample, true, out);
  return true;
}

bool ReadRaw(const ImportOptions& options, const std::vector<std::uint8_t>& bytes, Elevation* out,
             std::string* error) {
  const std::uint64_t need = static_cast<std::uint64_t>(options.raw_width) * options.raw_height * 2;
  if (bytes.size() != need) {
    *error = options.path + ": " + (bytes.size() < need ? "truncated: " : "too long: ") +
             std::to_string(bytes.size()) + " bytes, but " + std::to_string(options.raw_width) + " x " +
             std::to_string(options.raw_height) + " 16-bit samples are " + std::to_string(need);
    return false;
  }
  out->width = options.raw_width;
  out->height = options.raw_height;
  DecodeSamples(bytes.data(), 2, false, out);
  return true;
}

// ---- resampling ---------------------------------------------------------

// For each output index along one axis: the source indices and weights
// that make it.
struct AxisTaps {
  std::vector<int> first;  // first source index of output i
  std::vector<int> begin;  // its weights: weights[begin[i] .. begin[i + 1])
  std::vector<double> weights;
};

AxisTaps MakeAxisTaps(int source, int size) {
  AxisTaps taps;
  for (int i = 0; i < size; ++i) {
    taps.begin.push_back(static_cast<int>(taps.weights.size()));
    if (source > size) {
      // Area average: output i covers source [a, b); each sample weighs by its overlap.
      const double scale = static_cast<double>(source) / size;
      const double a = i * scale, b = (i + 1) * scale;
      const int k0 = static_cast<int>(a), k1 = std::min(source, static_cast<int>(std::ceil(b)));
      taps.first.push_back(k0);
      for (int k = k0; k < k1; ++k)
        taps.weights.push_back((std::min(b, k + 1.0) - std::max(a, double(k))) / scale);
    } else {
      // Bilinear: sample centres line up with output centres; edges clamp.
      const double x = std::clamp((i + 0.5) * source / size - 0.5, 0.0, source - 1.0);
      const int k = std::min(static_cast<int>(x), source - 1);
      const double f = x - k;
      taps.first.push_back(k);
      taps.weights.push_back(1.0 - f);
      if (k + 1 < source) taps.weights.push_back(f);
    }
  }
  taps.begin.push_back(static_cast<int>(taps.weights.size()));
  return taps;
}

}  // namespace

bool ReadElevation(const ImportOptions& options, Elevation* out, std::string* error, bool* badUsage) {
  FilePtr file(std::fopen(options.path.c_str(), "rb"), std::fclose);
  if (!file) {
    *error = "cannot open " + options.path + ": " + std::strerror(errno);
    return false;
  }
  return ReadElevationFrom(file.get(), options, out, error, badUsage);
}

bool ReadElevationFrom(std::FILE* file, const ImportOptions& options, Elevation* out, std::string* error,
                       bool* badUsage) {
  const std::string& path = options.path;
  if (badUsage) *badUsage = false;
  std::uint8_t magic[8] = {};
  const std::size_t got = std::fread(magic, 1, sizeof magic, file);
  std::rewind(file);
  const bool png = got == 8 && png_sig_cmp(magic, 0, 8) == 0;
  // An image file is no raw grid. Raw samples may begin with "P5" by chance,
  // so a PGM header counts only when the file's size does not fit the grid.
  auto notRaw = [&](const char* format) {
    *error = path + " is a " + format + " image, not a raw grid: --raw-size is for raw grids";
    if (badUsage) *badUsage = true;
    return false;
  };
  if (png) return options.raw_width > 0 ? notRaw("PNG") : ReadPng(options, file, out, error);
  std::vector<std::uint8_t> bytes;
  if (!ReadWhole(options, file, &bytes, error)) return false;
  if (options.raw_width > 0) {
    if (!SizeAllowed(options, options.raw_width, options.raw_height, error)) return false;
    unsigned long fields[3];
    std::size_t pos = 0;
    const bool fits = bytes.size() == std::uint64_t(options.raw_width) * options.raw_height * 2;
    if (!fits && ParsePgmHeader(bytes, fields, &pos)) return notRaw("PGM");
    return ReadRaw(options, bytes, out, error);
  }
  if (got >= 2 && magic[0] == 'P' && magic[1] == '5') return ReadPgm(options, bytes, out, error);
  *error = path + ": unsupported format (a PNG, a binary PGM \"P5\", or a raw 16-bit grid with --raw-size)";
  return false;
}

std::vector<float> ResampleSquare(const Elevation& source, int size) {
  const AxisTaps across = MakeAxisTaps(source.width, size), down = MakeAxisTaps(source.height, size);
  // Rows first (source height x size), then columns.
  std::vector<float> rows(static_cast<std::size_t>(source.height) * size);
  for (int y = 0; y < source.height; ++y) {
    const float* in = source.samples.data() + static_cast<std::size_t>(y) * source.width;
    for (int i = 0; i < size; ++i) {
      double sum = 0.0;
      for (int w = across.begin[i]; w < across.begin[i + 1]; ++w)
        sum += across.weights[w] * in[across.first[i] + (w - across.begin[i])];
      rows[static_cast<std::size_t>(y) * size + i] = static_cast<float>(sum);
    }
  }
  std::vector<float> out(static_cast<std::size_t>(size) * size);
  for (int j = 0; j < size; ++j) {
    for (int i = 0; i < size; ++i) {
      double sum = 0.0;
      for (int w = down.begin[j]; w < down.begin[j + 1]; ++w)
        sum +=
            down.weights[w] * rows[static_cast<std::size_t>(down.first[j] + (w - down.begin[j])) * size + i];
      out[static_cast<std::size_t>(j) * size + i] = static_cast<float>(sum);
    }
  }
  return out;
}

std::vector<std::uint8_t> QuantizeHeights(const std::vector<float>& heights, double low, double high) {
  std::vector<std::uint8_t> bytes(heights.size(), 0);
  if (!(low < high)) return bytes;
  for (std::size_t i = 0; i < heights.size(); ++i) {
    const double t = std::clamp((heights[i] - low) / (high - low), 0.0, 1.0);
    bytes[i] = static_cast<std::uint8_t>(std::floor(t * 255.0 + 0.5));
  }
  return bytes;
}

bool ImportHeightMap(const ImportOptions& options, std::vector<std::uint8_t>* heights, ImportReport* report,
                     std::string* error) {
  Elevation source;
  if (!ReadElevation(options, &source, error, &report->badUsage)) return false;
  report->width = source.width;
  report->height = source.height;
  if (source.width != source.height)
    report->notes += "note: " + options.path + " is " + std::to_string(source.width) + " x " +
                     std::to_string(source.height) + ", not square: it is stretched to 1024 x 1024\n";
  const auto [lo, hi] = std::minmax_element(source.samples.begin(), source.samples.end());
  report->low = options.fixed_range ? options.range_low : *lo;
  report->high = options.fixed_range ? options.range_high : *hi;
  *heights = QuantizeHeights(ResampleSquare(source, kHeightMapSize), report->low, report->high);

  // A map of one value shows nothing: say why it came out flat.
  const std::uint8_t first = heights->front();
  if (std::all_of(heights->begin(), heights->end(), [first](std::uint8_t h) { return h == first; })) {
    char text[160];
    if (*lo == *hi)
      std::snprintf(text, sizeof text, "every sample is %.7g", *lo);
    else if (*hi <= report->low || *lo >= report->high)
      std::snprintf(text, sizeof text, "its heights, %.7g to %.7g, lie outside --height-range %.7g:%.7g", *lo,
                    *hi, report->low, report->high);
    else
      std::snprintf(text, sizeof text, "its heights, %.7g to %.7g, fall in one step of %.7g to %.7g", *lo,
                    *hi, report->low, report->high);
    report->notes += "warning: " + options.path + " gives a flat map (every height " + std::to_string(first) +
                     "): " + text + "\n";
  }
  return true;
}

}  // namespace makedata
