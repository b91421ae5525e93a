#include "platform/d3d8/d3d8_state.h"

#include <iterator>

namespace qv::d3d8 {

void GlStateCache::Invalidate() {
  m_depthTest = m_depthMask = m_blend = m_cull = m_scissor = -1;
  m_depthFunc = m_blendSrc = m_blendDst = m_blendEq = m_cullFace = m_polygonMode = 0;
  m_colorMask = 0xFFFFFFFFu;
  for (GLint& v : m_scissorBox) v = -1;
  for (GLint& v : m_viewport) v = -1;
  m_depthRange[0] = m_depthRange[1] = -1.0f;
  m_program = ~0u;
  for (int i = 0; i < kGlTextureUnits; ++i) m_textures[i] = m_samplers[i] = ~0u;
  m_activeUnit = -1;
  m_vao = m_arrayBuffer = m_elementBuffer = m_drawFbo = ~0u;
}

void GlStateCache::ForgetProgram(GLuint program) {
  if (m_program == program) m_program = ~0u;
}
void GlStateCache::ForgetTexture(GLuint texture) {
  for (GLuint& t : m_textures)
    if (t == texture) t = ~0u;
}
void GlStateCache::ForgetBuffer(GLuint buffer) {
  if (m_arrayBuffer == buffer) m_arrayBuffer = ~0u;
  if (m_elementBuffer == buffer) m_elementBuffer = ~0u;
}

static void Toggle(GLenum cap, bool on) {
  if (on)
    glEnable(cap);
  else
    glDisable(cap);
}

void GlStateCache::SetDepthTest(bool on) {
  if (m_depthTest == int(on)) return;
  m_depthTest = on;
  if (Issue()) Toggle(GL_DEPTH_TEST, on);
}
void GlStateCache::SetDepthMask(bool on) {
  if (m_depthMask == int(on)) return;
  m_depthMask = on;
  if (Issue()) glDepthMask(on ? GL_TRUE : GL_FALSE);
}
void GlStateCache::SetDepthFunc(GLenum func) {
  if (m_depthFunc == func) return;
  m_depthFunc = func;
  if (Issue()) glDepthFunc(func);
}
void GlStateCache::SetBlend(bool on) {
  if (m_blend == int(on)) return;
  m_blend = on;
  if (Issue()) Toggle(GL_BLEND, on);
}
void GlStateCache::SetBlendFunc(GLenum src, GLenum dst) {
  if (m_blendSrc == src && m_blendDst == dst) return;
  m_blendSrc = src;
  m_blendDst = dst;
  if (Issue()) glBlendFunc(src, dst);
}
void GlStateCache::SetBlendEquation(GLenum eq) {
  if (m_blendEq == eq) return;
  m_blendEq = eq;
  if (Issue()) glBlendEquation(eq);
}
void GlStateCache::SetCull(bool on, GLenum face) {
  if (m_cull != int(on)) {
    m_cull = on;
    if (Issue()) Toggle(GL_CULL_FACE, on);
  }
  if (on && m_cullFace != face) {
    m_cullFace = face;
    if (Issue()) glCullFace(face);
  }
}
void GlStateCache::SetColorMask(std::uint32_t bits) {
  if (m_colorMask == bits) return;
  m_colorMask = bits;
  if (Issue())
    glColorMask(bits & 1 ? GL_TRUE : GL_FALSE, bits & 2 ? GL_TRUE : GL_FALSE, bits & 4 ? GL_TRUE : GL_FALSE,
                bits & 8 ? GL_TRUE : GL_FALSE);
}
void GlStateCache::SetScissor(bool on, GLint x, GLint y, GLsizei w, GLsizei h) {
  if (m_scissor != int(on)) {
    m_scissor = on;
    if (Issue()) Toggle(GL_SCISSOR_TEST, on);
  }
  if (!on) return;
  if (m_scissorBox[0] == x && m_scissorBox[1] == y && m_scissorBox[2] == w && m_scissorBox[3] == h) return;
  m_scissorBox[0] = x;
  m_scissorBox[1] = y;
  m_scissorBox[2] = w;
  m_scissorBox[3] = h;
  if (Issue()) glScissor(x, y, w, h);
}
void GlStateCache::SetViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
  if (m_viewport[0] == x && m_viewport[1] == y && m_viewport[2] == w && m_viewport[3] == h) return;
  m_viewport[0] = x;
  m_viewport[1] = y;
  m_viewport[2] = w;
  m_viewport[3] = h;
  if (Issue()) glViewport(x, y, w, h);
}
void GlStateCache::SetDepthRange(float n, float f) {
  if (m_depthRange[0] == n && m_depthRange[1] == f) return;
  m_depthRange[0] = n;
  m_depthRange[1] = f;
  if (Issue()) glDepthRange(n, f);
}
void GlStateCache::SetPolygonMode(GLenum mode) {
  if (m_polygonMode == mode) return;
  m_polygonMode = mode;
  if (Issue()) glPolygonMode(GL_FRONT_AND_BACK, mode);
}
void GlStateCache::UseProgram(GLuint program) {
  if (m_program == program) return;
  m_program = program;
  if (Issue()) glUseProgram(program);
}
void GlStateCache::ActiveUnit(int unit) {
  if (m_activeUnit == unit) return;
  m_activeUnit = unit;
  if (Issue()) glActiveTexture(GL_TEXTURE0 + unit);
}
void GlStateCache::BindTexture(int unit, GLuint texture) {
  if (unit < 0 || unit >= kGlTextureUnits || m_textures[unit] == texture) return;
  m_textures[unit] = texture;
  ActiveUnit(unit);
  if (Issue()) glBindTexture(GL_TEXTURE_2D, texture);
}
void GlStateCache::BindSampler(int unit, GLuint sampler) {
  if (unit < 0 || unit >= kGlTextureUnits || m_samplers[unit] == sampler) return;
  m_samplers[unit] = sampler;
  if (Issue()) glBindSampler(unit, sampler);
}
void GlStateCache::BindVertexArray(GLuint vao) {
  if (m_vao == vao) return;
  m_vao = vao;
  m_elementBuffer = ~0u;  // the element binding belongs to the vertex array
  if (Issue()) glBindVertexArray(vao);
}
void GlStateCache::BindArrayBuffer(GLuint buffer) {
  if (m_arrayBuffer == buffer) return;
  m_arrayBuffer = buffer;
  if (Issue()) glBindBuffer(GL_ARRAY_BUFFER, buffer);
}
void GlStateCache::BindElementBuffer(GLuint buffer) {
  if (m_elementBuffer == buffer) return;
  m_elementBuffer = buffer;
  if (Issue()) glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
}
void GlStateCache::BindDrawFramebuffer(GLuint fbo) {
  if (m_drawFbo == fbo) return;
  m_drawFbo = fbo;
  if (Issue()) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
}

// --- enum tables ---------------------------------------------------------------

GLenum GlBlendFactor(DWORD v) {
  static const GLenum table[] = {
      GL_ZERO,                 // D3DBLEND_ZERO (1)
      GL_ONE,                  // ONE
      GL_SRC_COLOR,            // SRCCOLOR
      GL_ONE_MINUS_SRC_COLOR,  // INVSRCCOLOR
      GL_SRC_ALPHA,            // SRCALPHA
      GL_ONE_MINUS_SRC_ALPHA,  // INVSRCALPHA
      GL_DST_ALPHA,            // DESTALPHA
      GL_ONE_MINUS_DST_ALPHA,  // INVDESTALPHA
      GL_DST_COLOR,            // DESTCOLOR
      GL_ONE_MINUS_DST_COLOR,  // INVDESTCOLOR
      GL_SRC_ALPHA_SATURATE,   // SRCALPHASAT
  };
  static_assert(std::size(table) == D3DBLEND_SRCALPHASAT, "one entry per D3DBLEND value");
  return v >= 1 && v <= std::size(table) ? table[v - 1] : 0;
}

GLenum GlCompareFunc(DWORD v) {
  static const GLenum table[] = {GL_NEVER,   GL_LESS,     GL_EQUAL,  GL_LEQUAL,
                                 GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  static_assert(std::size(table) == D3DCMP_ALWAYS, "one entry per D3DCMP value");
  return v >= 1 && v <= std::size(table) ? table[v - 1] : 0;
}

GLenum GlBlendEquation(DWORD v) {
  static const GLenum table[] = {GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
  static_assert(std::size(table) == D3DBLENDOP_MAX, "one entry per D3DBLENDOP value");
  return v >= 1 && v <= std::size(table) ? table[v - 1] : 0;
}

GLenum GlAddressMode(DWORD v) {
  static const GLenum table[] = {GL_REPEAT, GL_MIRRORED_REPEAT, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_BORDER,
                                 GL_CLAMP_TO_EDGE};
  static_assert(std::size(table) == D3DTADDRESS_MIRRORONCE, "one entry per D3DTADDRESS value");
  return v >= 1 && v <= std::size(table) ? table[v - 1] : 0;
}

bool GlCull(DWORD v, bool& enabled, GLenum& face) {
  // clang-format off
  switch (v) {
    case D3DCULL_NONE: enabled = false; face = GL_BACK; return true;
    case D3DCULL_CCW: enabled = true; face = GL_BACK; return true;
    case D3DCULL_CW: enabled = true; face = GL_FRONT; return true;
    default: return false;
  }
  // clang-format on
}

GLenum GlMinFilter(DWORD minFilter, DWORD mipFilter) {
  const bool linear = minFilter >= D3DTEXF_LINEAR;
  switch (mipFilter) {
    case D3DTEXF_NONE: return linear ? GL_LINEAR : GL_NEAREST;
    case D3DTEXF_POINT: return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    default: return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
}

GLenum GlMagFilter(DWORD magFilter) { return magFilter >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST; }

}  // namespace qv::d3d8
