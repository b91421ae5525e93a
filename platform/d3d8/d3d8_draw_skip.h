// Early rejection of draws that cannot produce a pixel: which vertex shaders
// place their position by a plain 4 x 4 transform, the bounding boxes of
// their input over vertex ranges, and the test of a box against the clip
// volume under the current constants.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/d3d8/d3d8_shader.h"

namespace qv::d3d8 {

// The position of a shader that writes oPos as dp4 (or m4x4) of one input
// register against four consecutive constant registers; input < 0 when the
// shader's position is of any other form.
struct ClipTransform {
  int input = -1;
  int firstConst = -1;
};
ClipTransform FindClipTransform(const ShaderProgram& vs);

// Per-component bounds of one declared input over a range of vertices.
struct VertexBox {
  float lo[4], hi[4];
  bool usable = false;  // false: non-float data or a non-finite value
};

// Bounding boxes of ranges of vertices, computed on demand from their bytes
// and forgotten when a lock may have written them.
class VertexBoxCache {
 public:
  // The box of the element (type, byte offset in the vertex) of vertices
  // [first, first + count) at stride; null when the range passes the end.
  const VertexBox* Find(const std::uint8_t* data, std::size_t size, std::uint32_t first, std::uint32_t count,
                        std::uint32_t stride, std::uint32_t offset, std::uint32_t type);
  // Forgets every box whose bytes meet [begin, end).
  void Forget(std::size_t begin, std::size_t end);

 private:
  struct Key {
    std::uint32_t first, count, stride, offset, type;
    bool operator==(const Key& o) const {
      return first == o.first && count == o.count && stride == o.stride && offset == o.offset &&
             type == o.type;
    }
  };
  struct KeyHash {
    std::size_t operator()(const Key& k) const {
      std::uint64_t h = k.first;
      for (std::uint32_t v : {k.count, k.stride, k.offset, k.type}) h = h * 0x9E3779B97F4A7C15ull + v;
      return static_cast<std::size_t>(h ^ (h >> 29));
    }
  };
  std::unordered_map<Key, VertexBox, KeyHash> m_boxes;
};

// One float element (a position, say) of every vertex of a buffer, kept
// apart from the rest of the vertex: the boxes read nothing else, so a
// buffer whose data lives only in GL keeps this much in memory and no more.
class KeptElement {
 public:
  // The element (D3DVSDT_FLOAT1..FLOAT4) at `offset` in vertices of `stride`
  // bytes, of each vertex of a buffer of `size` bytes that holds it whole.
  KeptElement(std::uint32_t stride, std::uint32_t offset, std::uint32_t type, std::size_t size);
  static bool Keepable(std::uint32_t type);
  bool Is(std::uint32_t stride, std::uint32_t offset, std::uint32_t type) const {
    return stride == m_stride && offset == m_offset && type == m_type;
  }
  // Takes the buffer's bytes [begin, begin + n), wherever they overlap the
  // element, and forgets the boxes they may change.
  void Update(const std::uint8_t* bytes, std::size_t begin, std::size_t n);
  // The box of vertices [first, first + count); null past the last vertex.
  const VertexBox* Box(std::uint32_t first, std::uint32_t count);

 private:
  std::uint32_t m_stride, m_offset, m_type, m_width;  // m_width: the element's bytes
  std::vector<std::uint8_t> m_values;                 // m_width bytes a vertex
  VertexBoxCache m_boxes;
};

// Whether every point of the box, transformed by the four constant rows
// (row i gives oPos component i) and adjusted as the translated vertex shader
// adjusts oPos (half-pixel shift, GL depth range), lies outside one plane of
// the clip volume. A small margin keeps boxes that only touch a plane.
bool BoxOutsideClip(const VertexBox& box, const float (*rows)[4], float adjustX, float adjustY);

}  // namespace qv::d3d8
