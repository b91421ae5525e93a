// Early rejection of draws wholly outside the clip volume. A primitive whose
// vertices all lie outside one clip plane produces no pixel: the half-space is
// convex in homogeneous coordinates, so clipping leaves nothing of it.
#include "platform/d3d8/d3d8_draw_skip.h"

#include <cmath>
#include <cstring>

namespace qv::d3d8 {
namespace {

constexpr std::size_t kMaxBoxes = 1u << 16;

bool PlainSource(const SrcParam& s) { return s.swizzle == 0xE4 && s.mod == 0 && !s.relative; }

}  // namespace

ClipTransform FindClipTransform(const ShaderProgram& vs) {
  ClipTransform none;
  int input = -1, first = -1;
  std::uint32_t written = 0;  // oPos components written so far
  for (const Instruction& in : vs.code) {
    if (!in.hasDst || in.dst.type != kRegRastOut || in.dst.num != 0) continue;
    const SrcParam* v = nullptr;
    const SrcParam* c = nullptr;
    for (int s = 0; s < in.srcCount && s < 2; ++s) {
      if (in.src[s].type == kRegInput) v = &in.src[s];
      if (in.src[s].type == kRegConst) c = &in.src[s];
    }
    if (in.srcCount != 2 || !v || !c || !PlainSource(*v) || !PlainSource(*c)) return none;
    if (in.dst.saturate || in.dst.shift != 0) return none;
    int row = 0;
    if (in.opcode == kOpM4x4) {
      // m4x4 takes the matrix as its second source.
      if (in.dst.mask != 0xF || c != &in.src[1]) return none;
    } else if (in.opcode == kOpDp4) {
      // One component each: .x, .y, .z or .w.
      switch (in.dst.mask) {
        case 1: row = 0; break;
        case 2: row = 1; break;
        case 4: row = 2; break;
        case 8: row = 3; break;
        default: return none;
      }
    } else {
      return none;
    }
    if (written & in.dst.mask) return none;  // a component written twice
    const int base = static_cast<int>(c->num) - row;
    if (base < 0 || static_cast<std::uint32_t>(base) + 4 > kMaxVertexConstants) return none;
    if ((input >= 0 && input != static_cast<int>(v->num)) || (first >= 0 && first != base)) return none;
    input = static_cast<int>(v->num);
    first = base;
    written |= in.dst.mask;
  }
  if (written != 0xF) return none;
  return ClipTransform{input, first};
}

const VertexBox* VertexBoxCache::Find(const std::uint8_t* data, std::size_t size, std::uint32_t first,
                                      std::uint32_t count, std::uint32_t stride, std::uint32_t offset,
                                      std::uint32_t type) {
  const Key key{first, count, stride, offset, type};
  auto it = m_boxes.find(key);
  if (it != m_boxes.end()) return &it->second;
  const std::uint32_t comps = type <= D3DVSDT_FLOAT4 ? type + 1 : 0;
  if (count == 0 || stride == 0 ||
      static_cast<std::uint64_t>(first + std::uint64_t{count} - 1) * stride + offset +
              std::uint64_t{comps ? comps : 1} * 4 >
          size)
    return nullptr;
  VertexBox box;
  // Components a declaration does not feed read as (0, 0, 0, 1).
  const float fill[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  for (int k = 0; k < 4; ++k) box.lo[k] = box.hi[k] = fill[k];
  box.usable = comps > 0;
  for (std::uint32_t i = 0; i < count && box.usable; ++i) {
    const std::uint8_t* p = data + (std::size_t{first} + i) * stride + offset;
    float v[4];
    std::memcpy(v, p, comps * 4);
    for (std::uint32_t k = 0; k < comps; ++k) {
      if (!std::isfinite(v[k])) {
        box.usable = false;
        break;
      }
      if (i == 0 || v[k] < box.lo[k]) box.lo[k] = v[k];
      if (i == 0 || v[k] > box.hi[k]) box.hi[k] = v[k];
    }
  }
  // Ranges that change every draw would grow the cache without end.
  if (m_boxes.size() >= kMaxBoxes) m_boxes.clear();
  return &m_boxes.emplace(key, box).first->second;
}

void VertexBoxCache::Forget(std::size_t begin, std::size_t end) {
  for (auto it = m_boxes.begin(); it != m_boxes.end();) {
    const Key& k = it->first;
    const std::size_t lo = std::size_t{k.first} * k.stride;
    const std::size_t hi = (std::size_t{k.first} + k.count + 1) * k.stride;  // the element's offset too
    if (lo < end && begin < hi)
      it = m_boxes.erase(it);
    else
      ++it;
  }
}

KeptElement::KeptElement(std::uint32_t stride, std::uint32_t offset, std::uint32_t type, std::size_t size)
    : m_stride(stride), m_offset(offset), m_type(type), m_width(Keepable(type) ? (type + 1) * 4 : 0) {
  if (m_width && stride && size >= std::size_t{offset} + m_width)
    m_values.assign(((size - offset - m_width) / stride + 1) * m_width, 0);
}

bool KeptElement::Keepable(std::uint32_t type) { return type <= D3DVSDT_FLOAT4; }

void KeptElement::Update(const std::uint8_t* bytes, std::size_t begin, std::size_t n) {
  if (m_values.empty() || n == 0) return;
  const std::size_t end = begin + n, vertices = m_values.size() / m_width;
  // The first vertex whose element may end after `begin`.
  std::size_t v = begin >= std::size_t{m_offset} + m_width ? (begin - m_offset - m_width) / m_stride : 0;
  const std::size_t first = v;
  for (; v < vertices; ++v) {
    const std::size_t lo = v * m_stride + m_offset, hi = lo + m_width;
    if (lo >= end) break;
    if (hi <= begin) continue;
    // Only the bytes of the element that fall inside [begin, end).
    const std::size_t from = lo > begin ? lo : begin, to = hi < end ? hi : end;
    std::memcpy(&m_values[v * m_width + (from - lo)], bytes + (from - begin), to - from);
  }
  m_boxes.Forget(first * m_width, v * m_width);
}

const VertexBox* KeptElement::Box(std::uint32_t first, std::uint32_t count) {
  return m_boxes.Find(m_values.data(), m_values.size(), first, count, m_width, 0, m_type);
}

bool BoxOutsideClip(const VertexBox& box, const float (*rows)[4], float adjustX, float adjustY) {
  if (!box.usable) return false;
  // The clip coordinates GL sees, as linear functions of the input:
  // x + ax w, -y + ay w, 2z - w, w.
  double g[4][4];
  for (int k = 0; k < 4; ++k) {
    const double x = rows[0][k], y = rows[1][k], z = rows[2][k], w = rows[3][k];
    g[0][k] = x + double{adjustX} * w;
    g[1][k] = -y + double{adjustY} * w;
    g[2][k] = 2.0 * z - w;
    g[3][k] = w;
  }
  // Outside a plane: +-g_axis - w > 0 for every point of the box.
  for (int axis = 0; axis < 3; ++axis) {
    for (double sign : {1.0, -1.0}) {
      double least = 0.0, scale = 0.0;
      for (int k = 0; k < 4; ++k) {
        const double a = sign * g[axis][k] - g[3][k];
        least += a * (a >= 0.0 ? box.lo[k] : box.hi[k]);
        scale += std::fabs(a) * std::fmax(std::fabs(box.lo[k]), std::fabs(box.hi[k]));
      }
      // GL evaluates the transform in single precision; a point this close
      // to the plane might land inside. NaN compares false and keeps the draw.
      if (least > 1e-5 * scale + 1e-30) return true;
    }
  }
  return false;
}

}  // namespace qv::d3d8
