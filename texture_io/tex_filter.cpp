// Resampling with the named filters. Each filter is separable: for every
// target column (row) a short list of source columns (rows) with weights,
// applied across, then down. Source positions past an edge wrap around, or
// are mirrored back with the mirror flags.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <unordered_map>

#include "texture_io/tex_convert.h"

namespace qv::tex {

namespace {

struct Tap {
  std::uint32_t index;
  float weight;
};

// Taps of one target position: `first` and `count` into a shared array.
struct Taps {
  std::vector<std::uint32_t> first, count;
  std::vector<Tap> taps;
};

std::uint32_t Address(long long i, std::uint32_t size, bool mirror) {
  const long long n = size;
  if (!mirror) {
    const long long m = i % n;
    return static_cast<std::uint32_t>(m < 0 ? m + n : m);
  }
  long long m = i % (2 * n);
  if (m < 0) m += 2 * n;
  return static_cast<std::uint32_t>(m < n ? m : 2 * n - 1 - m);
}

Taps BuildTaps(std::uint32_t src, std::uint32_t dst, DWORD filter, bool mirror) {
  Taps t;
  t.first.resize(dst);
  t.count.resize(dst);
  const double scale = double(src) / double(dst);
  std::vector<Tap> one;
  for (std::uint32_t i = 0; i < dst; ++i) {
    one.clear();
    const double centre = (i + 0.5) * scale;  // in source texels
    switch (filter & 0xFF) {
      case D3DX_FILTER_NONE:
        if (i < src) one.push_back({i, 1.0f});
        break;
      case D3DX_FILTER_POINT:
        one.push_back({std::min(static_cast<std::uint32_t>(centre), src - 1), 1.0f});
        break;
      case D3DX_FILTER_LINEAR: {
        const double pos = centre - 0.5;
        const double base = std::floor(pos);
        const float frac = static_cast<float>(pos - base);
        one.push_back({Address(static_cast<long long>(base), src, mirror), 1.0f - frac});
        if (frac > 0) one.push_back({Address(static_cast<long long>(base) + 1, src, mirror), frac});
        break;
      }
      case D3DX_FILTER_TRIANGLE: {
        // A tent as wide as the target texel is (at least one source texel).
        const double radius = std::max(1.0, scale);
        const long long lo = static_cast<long long>(std::floor(centre - radius));
        const long long hi = static_cast<long long>(std::ceil(centre + radius));
        for (long long j = lo; j <= hi; ++j) {
          const double w = 1.0 - std::fabs(j + 0.5 - centre) / radius;
          if (w > 0) one.push_back({Address(j, src, mirror), static_cast<float>(w)});
        }
        break;
      }
      default: {  // box: the source area the target texel covers
        const double a = i * scale, b = (i + 1) * scale;
        const long long lo = static_cast<long long>(std::floor(a));
        const long long hi = static_cast<long long>(std::ceil(b));
        for (long long j = lo; j < hi; ++j) {
          const double w = std::min<double>(b, j + 1) - std::max<double>(a, j);
          if (w > 1e-9) one.push_back({Address(j, src, mirror), static_cast<float>(w)});
        }
        break;
      }
    }
    float sum = 0;
    for (const Tap& tap : one) sum += tap.weight;
    t.first[i] = static_cast<std::uint32_t>(t.taps.size());
    t.count[i] = static_cast<std::uint32_t>(one.size());
    for (const Tap& tap : one) t.taps.push_back({tap.index, tap.weight / sum});
  }
  return t;
}

}  // namespace

void ResampleRows(std::uint32_t srcWidth, std::uint32_t srcHeight, std::uint32_t dstWidth,
                  std::uint32_t dstHeight, DWORD filter, const SourceRowFn& sourceRow,
                  const TargetRowFn& targetRow) {
  if (srcWidth == dstWidth && srcHeight == dstHeight) {
    // Every filter keeps an image of the same size as it is.
    for (std::uint32_t y = 0; y < dstHeight; ++y) {
      const float* row = sourceRow(y);
      if (!row || !targetRow(y, row)) return;
    }
    return;
  }
  const Taps across = BuildTaps(srcWidth, dstWidth, filter, (filter & D3DX_FILTER_MIRROR_U) != 0);
  const Taps down = BuildTaps(srcHeight, dstHeight, filter, (filter & D3DX_FILTER_MIRROR_V) != 0);
  const std::size_t rowFloats = std::size_t(dstWidth) * 4;

  // Source rows filtered across (dstWidth texels each), kept while the
  // target rows still to come need them, by source index. Taps move
  // down the source as the target row does, so a row that the next target
  // row does not use is dropped; a wrapped-around edge row is simply
  // filtered again.
  std::unordered_map<std::uint32_t, std::vector<float>> kept;
  auto acrossRow = [&](std::uint32_t index) -> const float* {
    auto found = kept.find(index);
    if (found != kept.end()) return found->second.data();
    const float* in = sourceRow(index);
    if (!in) return nullptr;
    float* mid = kept.emplace(index, std::vector<float>(rowFloats)).first->second.data();
    for (std::uint32_t x = 0; x < dstWidth; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (std::uint32_t k = 0; k < across.count[x]; ++k) {
        const Tap& tap = across.taps[across.first[x] + k];
        const float* p = in + std::size_t(tap.index) * 4;
        for (int c = 0; c < 4; ++c) acc[c] += p[c] * tap.weight;
      }
      std::copy(acc, acc + 4, mid + std::size_t(x) * 4);
    }
    return mid;
  };
  std::vector<std::uint32_t> needed;

  std::vector<float> row(rowFloats);
  for (std::uint32_t y = 0; y < dstHeight; ++y) {
    std::fill(row.begin(), row.end(), 0.0f);
    for (std::uint32_t k = 0; k < down.count[y]; ++k) {
      const Tap& tap = down.taps[down.first[y] + k];
      const float* src = acrossRow(tap.index);
      if (!src) return;
      for (std::size_t i = 0; i < rowFloats; ++i) row[i] += src[i] * tap.weight;
    }
    if (!targetRow(y, row.data())) return;
    if (y + 1 < dstHeight) {
      needed.clear();
      for (std::uint32_t k = 0; k < down.count[y + 1]; ++k)
        needed.push_back(down.taps[down.first[y + 1] + k].index);
      std::sort(needed.begin(), needed.end());
      for (auto it = kept.begin(); it != kept.end();)
        it = std::binary_search(needed.begin(), needed.end(), it->first) ? std::next(it) : kept.erase(it);
    }
  }
}

void Resample(const FloatImage& in, FloatImage& out, DWORD filter) {
  ResampleRows(
      in.width, in.height, out.width, out.height, filter, [&in](std::uint32_t y) { return in.At(0, y); },
      [&out](std::uint32_t y, const float* row) {
        std::copy(row, row + std::size_t(out.width) * 4, out.At(0, y));
        return true;
      });
}

}  // namespace qv::tex
