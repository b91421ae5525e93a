// The GL state this layer sets, cached in one place: every setter compares
// with the value last issued and calls GL only on a change. A cache built
// with issue = false issues nothing and only counts, so its logic can be
// checked without a context. Also the checked Direct3D-to-GL enum tables.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>

#include "platform/d3d8/d3d8.h"

namespace qv::d3d8 {

constexpr int kGlTextureUnits = 8;
// The unit that uploads bind textures on: draws never use it.
constexpr int kUploadUnit = kGlTextureUnits - 1;

class GlStateCache {
 public:
  explicit GlStateCache(bool issue) : m_issue(issue) { Invalidate(); }

  // Forget everything: the next setter of each kind always issues.
  void Invalidate();
  // An object was deleted: drop it wherever it is recorded as bound.
  void ForgetProgram(GLuint program);
  void ForgetTexture(GLuint texture);
  void ForgetBuffer(GLuint buffer);

  void SetDepthTest(bool on);
  void SetDepthMask(bool on);
  void SetDepthFunc(GLenum func);
  void SetBlend(bool on);
  void SetBlendFunc(GLenum src, GLenum dst);
  void SetBlendEquation(GLenum eq);
  void SetCull(bool on, GLenum face);
  void SetColorMask(std::uint32_t rgbaBits);
  void SetScissor(bool on, GLint x, GLint y, GLsizei w, GLsizei h);
  void SetViewport(GLint x, GLint y, GLsizei w, GLsizei h);
  void SetDepthRange(float n, float f);
  void SetPolygonMode(GLenum mode);
  void UseProgram(GLuint program);
  void BindTexture(int unit, GLuint texture);
  void BindSampler(int unit, GLuint sampler);
  void BindVertexArray(GLuint vao);
  void BindArrayBuffer(GLuint buffer);
  void BindElementBuffer(GLuint buffer);
  void BindDrawFramebuffer(GLuint fbo);

  GLuint Program() const { return m_program; }
  GLuint ElementBuffer() const { return m_elementBuffer; }
  // GL calls issued (or, without issuing, that would have been).
  std::uint64_t Calls() const { return m_calls; }

 private:
  bool Issue() {
    ++m_calls;
    return m_issue;
  }
  void ActiveUnit(int unit);

  bool m_issue;
  std::uint64_t m_calls = 0;
  int m_depthTest = -1, m_depthMask = -1, m_blend = -1, m_cull = -1, m_scissor = -1;
  GLenum m_depthFunc = 0, m_blendSrc = 0, m_blendDst = 0, m_blendEq = 0, m_cullFace = 0;
  GLenum m_polygonMode = 0;
  std::uint32_t m_colorMask = 0xFFFFFFFFu;
  GLint m_scissorBox[4] = {-1, -1, -1, -1};
  GLint m_viewport[4] = {-1, -1, -1, -1};
  float m_depthRange[2] = {-1.0f, -1.0f};
  GLuint m_program = ~0u;
  GLuint m_textures[kGlTextureUnits];
  GLuint m_samplers[kGlTextureUnits];
  int m_activeUnit = -1;
  GLuint m_vao = ~0u, m_arrayBuffer = ~0u, m_elementBuffer = ~0u, m_drawFbo = ~0u;
};

// Direct3D enums to GL. Each returns 0 for a value outside the enum.
GLenum GlBlendFactor(DWORD d3dBlend);
GLenum GlCompareFunc(DWORD d3dCmp);
GLenum GlBlendEquation(DWORD d3dBlendOp);
GLenum GlAddressMode(DWORD d3dAddress);
// D3DCULL_* to (enabled, face). Triangles keep Direct3D's winding: the
// projection flips y, so Direct3D's clockwise front faces are GL's
// counter-clockwise ones.
bool GlCull(DWORD d3dCull, bool& enabled, GLenum& face);
// Sampler filters from the MIN/MAG/MIP filter stage states.
GLenum GlMinFilter(DWORD minFilter, DWORD mipFilter);
GLenum GlMagFilter(DWORD magFilter);

}  // namespace qv::d3d8
