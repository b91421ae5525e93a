// Device state: render states, texture stages, streams, viewport and
// transforms. Setters store the value and, when it changed, issue pending
// draws and mark a dirty group; the next draw pushes only the dirty groups.
#include <cstdio>
#include <cstring>

#include "platform/d3d8/d3d8_internal.h"

namespace qv::d3d8 {
namespace {

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}
float BitsFloat(DWORD d) {
  float f;
  std::memcpy(&f, &d, 4);
  return f;
}

// Render states that the raster group carries to GL.
bool IsRasterState(DWORD s) {
  // clang-format off
  switch (s) {
    case D3DRS_ZENABLE: case D3DRS_ZWRITEENABLE: case D3DRS_ZFUNC: case D3DRS_ALPHABLENDENABLE:
    case D3DRS_SRCBLEND: case D3DRS_DESTBLEND: case D3DRS_CULLMODE: case D3DRS_COLORWRITEENABLE:
    case D3DRS_BLENDOP: case D3DRS_FILLMODE:
      return true;
    default: return false;
  }
  // clang-format on
}

// Render states that the shaders' fixed uniforms carry (fog, alpha test, dither).
bool IsUniformState(DWORD s) {
  // clang-format off
  switch (s) {
    case D3DRS_DITHERENABLE:
    case D3DRS_FOGENABLE: case D3DRS_FOGCOLOR: case D3DRS_FOGTABLEMODE: case D3DRS_FOGSTART:
    case D3DRS_FOGEND: case D3DRS_FOGDENSITY: case D3DRS_FOGVERTEXMODE:
    case D3DRS_ALPHATESTENABLE: case D3DRS_ALPHAREF: case D3DRS_ALPHAFUNC:
      return true;
    default: return false;
  }
  // clang-format on
}

GLint DeclAttribSize(DWORD type) {
  switch (type) {
    case D3DVSDT_FLOAT1: return 1;
    case D3DVSDT_FLOAT2:
    case D3DVSDT_SHORT2: return 2;
    case D3DVSDT_FLOAT3: return 3;
    case D3DVSDT_D3DCOLOR: return GL_BGRA;
    default: return 4;
  }
}

GLenum DeclAttribType(DWORD type) {
  switch (type) {
    case D3DVSDT_D3DCOLOR:
    case D3DVSDT_UBYTE4: return GL_UNSIGNED_BYTE;
    case D3DVSDT_SHORT2:
    case D3DVSDT_SHORT4: return GL_SHORT;
    default: return GL_FLOAT;
  }
}

}  // namespace

void Device::SetDefaults() {
  DWORD* rs = m_renderStates;
  rs[D3DRS_ZENABLE] = m_params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
  rs[D3DRS_SHADEMODE] = 2;  // Gouraud
  rs[D3DRS_ZWRITEENABLE] = TRUE;
  rs[D3DRS_LASTPIXEL] = TRUE;
  rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  rs[D3DRS_CULLMODE] = D3DCULL_CCW;
  rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_FOGSTART] = FloatBits(0.0f);
  rs[D3DRS_FOGEND] = FloatBits(1.0f);
  rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
  rs[D3DRS_STENCILMASK] = 0xFFFFFFFFu;
  rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
  rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  rs[D3DRS_CLIPPING] = TRUE;
  rs[D3DRS_LIGHTING] = TRUE;
  rs[D3DRS_COLORVERTEX] = TRUE;
  rs[D3DRS_LOCALVIEWER] = TRUE;
  rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
  rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
  rs[D3DRS_COLORWRITEENABLE] = 0xF;
  rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  for (DWORD s = 0; s < QV_MAX_TEXTURE_STAGES; ++s) {
    DWORD* ts = m_stageStates[s];
    ts[D3DTSS_COLOROP] = s == 0 ? 4 : 1;              // modulate / disable
    ts[D3DTSS_ALPHAOP] = s == 0 ? 2 : 1;              // select arg 1 / disable
    ts[D3DTSS_COLORARG1] = ts[D3DTSS_ALPHAARG1] = 2;  // texture
    ts[D3DTSS_COLORARG2] = ts[D3DTSS_ALPHAARG2] = 1;  // current
    ts[D3DTSS_TEXCOORDINDEX] = s;
    ts[D3DTSS_ADDRESSU] = ts[D3DTSS_ADDRESSV] = ts[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
    ts[D3DTSS_MAGFILTER] = ts[D3DTSS_MINFILTER] = D3DTEXF_POINT;
    ts[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
    ts[D3DTSS_MAXANISOTROPY] = 1;
  }
  m_viewport = {0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
  for (D3DMATRIX& m : m_transforms) {
    std::memset(&m, 0, sizeof m);
    m._11 = m._22 = m._33 = m._44 = 1.0f;
  }
  m_dirty = kDirtyAll;
}

void Device::MarkDirty(std::uint32_t bits) { m_dirty |= bits; }

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= QV_D3DRS_COUNT) return D3DERR_INVALIDCALL;
  if (m_renderStates[state] == value) return D3D_OK;
  const bool raster = IsRasterState(state), uniform = IsUniformState(state);
  if (raster || uniform) {
    MakeCurrent();
    FlushDraws();
  }
  m_renderStates[state] = value;
  if (raster) MarkDirty(kDirtyRaster);
  if (uniform) ++m_fixedVersion, MarkDirty(kDirtyProgram);
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* pValue) {
  if (state >= QV_D3DRS_COUNT || !pValue) return D3DERR_INVALIDCALL;
  *pValue = m_renderStates[state];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
  if (stage >= QV_MAX_TEXTURE_STAGES || type >= QV_D3DTSS_COUNT) return D3DERR_INVALIDCALL;
  if (m_stageStates[stage][type] == value) return D3D_OK;
  MakeCurrent();
  FlushDraws();
  m_stageStates[stage][type] = value;
  if (type == D3DTSS_ADDRESSU || type == D3DTSS_ADDRESSV) MarkDirty(kDirtyRaster);  // a border's alpha
  switch (type) {
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case D3DTSS_ADDRESSW:
    case D3DTSS_BORDERCOLOR:
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER:
    case D3DTSS_MIPFILTER:
    case D3DTSS_MIPMAPLODBIAS:
    case D3DTSS_MAXMIPLEVEL: UpdateSampler(stage); break;
    case D3DTSS_BUMPENVMAT00:
    case D3DTSS_BUMPENVMAT01:
    case D3DTSS_BUMPENVMAT10:
    case D3DTSS_BUMPENVMAT11:
    case D3DTSS_BUMPENVLSCALE:
    case D3DTSS_BUMPENVLOFFSET:
      ++m_fixedVersion;
      MarkDirty(kDirtyProgram);
      break;
    default: break;
  }
  return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* pValue) {
  if (stage >= QV_MAX_TEXTURE_STAGES || type >= QV_D3DTSS_COUNT || !pValue) return D3DERR_INVALIDCALL;
  *pValue = m_stageStates[stage][type];
  return D3D_OK;
}

void Device::UpdateSampler(DWORD stage) {
  const DWORD* ts = m_stageStates[stage];
  const GLuint s = m_samplers[stage];
  glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER,
                      static_cast<GLint>(GlMinFilter(ts[D3DTSS_MINFILTER], ts[D3DTSS_MIPFILTER])));
  glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GlMagFilter(ts[D3DTSS_MAGFILTER])));
  const GLenum u = GlAddressMode(ts[D3DTSS_ADDRESSU]), v = GlAddressMode(ts[D3DTSS_ADDRESSV]);
  glSamplerParameteri(s, GL_TEXTURE_WRAP_S, static_cast<GLint>(u ? u : GL_REPEAT));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_T, static_cast<GLint>(v ? v : GL_REPEAT));
  const D3DCOLOR b = ts[D3DTSS_BORDERCOLOR];
  const float border[4] = {((b >> 16) & 0xFF) / 255.0f, ((b >> 8) & 0xFF) / 255.0f, (b & 0xFF) / 255.0f,
                           ((b >> 24) & 0xFF) / 255.0f};
  glSamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
  glSamplerParameterf(s, GL_TEXTURE_LOD_BIAS, BitsFloat(ts[D3DTSS_MIPMAPLODBIAS]));
  // MAXMIPLEVEL names the most detailed level that may be used.
  glSamplerParameterf(s, GL_TEXTURE_MIN_LOD, static_cast<float>(ts[D3DTSS_MAXMIPLEVEL]));
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* pTexture) {
  if (stage >= QV_MAX_TEXTURE_STAGES) return D3DERR_INVALIDCALL;
  Texture* t = nullptr;
  if (pTexture) {
    t = dynamic_cast<Texture*>(pTexture);
    if (!t || !t->Valid() || t->Pool() == D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  }
  if (m_textures[stage] == t) return D3D_OK;
  MakeCurrent();
  FlushDraws();
  m_textures[stage] = t;
  MarkDirty(kDirtyTextures | kDirtyProgram | kDirtyRaster);  // blending may depend on its format
  ++m_fixedVersion;  // the default pixel side looks at whether stage 0 is bound
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** ppTexture) {
  if (stage >= QV_MAX_TEXTURE_STAGES || !ppTexture) return D3DERR_INVALIDCALL;
  *ppTexture = m_textures[stage];
  if (m_textures[stage]) m_textures[stage]->AddRef();
  return D3D_OK;
}

void Device::ForgetTexture(Texture* texture) {
  for (Texture*& t : m_textures)
    if (t == texture) {
      FlushDraws();
      t = nullptr;
      MarkDirty(kDirtyTextures | kDirtyProgram | kDirtyRaster);
      ++m_fixedVersion;
    }
  if (texture && texture->Gl()) m_gl.ForgetTexture(texture->Gl());
}

void Device::ForgetBuffer(IDirect3DVertexBuffer8* vb, IDirect3DIndexBuffer8* ib) {
  FlushDraws();
  for (Stream& s : m_streams)
    if (vb && s.vb == vb) {
      s = Stream{};
      MarkDirty(kDirtyVertexInput);
    }
  if (ib && m_indices == ib) m_indices = nullptr;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* pVB, UINT stride) {
  if (stream >= kMaxStreams) return D3DERR_INVALIDCALL;
  VertexBuffer* vb = nullptr;
  if (pVB) {
    vb = dynamic_cast<VertexBuffer*>(pVB);
    if (!vb || !vb->Valid()) return D3DERR_INVALIDCALL;
    if (stride == 0 || stride > 255) return D3DERR_INVALIDCALL;
  }
  Stream& s = m_streams[stream];
  if (s.vb == vb && s.stride == stride) return D3D_OK;
  // Nothing is issued here: the next draw decides whether the new stream
  // needs new bindings (and then issues the gathered draws first) or only a
  // different base vertex.
  s.vb = vb;
  s.stride = stride;
  MarkDirty(kDirtyVertexInput);
  return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer8* pIB, UINT baseVertexIndex) {
  IndexBuffer* ib = nullptr;
  if (pIB) {
    ib = dynamic_cast<IndexBuffer*>(pIB);
    if (!ib || !ib->Valid()) return D3DERR_INVALIDCALL;
  }
  if (baseVertexIndex > 0xFFFFFF) return D3DERR_INVALIDCALL;
  // Index data and base vertex travel with each draw; nothing to flush here.
  m_indices = ib;
  m_baseVertex = baseVertexIndex;
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT8* vp) {
  if (!vp) return D3DERR_INVALIDCALL;
  const std::uint64_t right = static_cast<std::uint64_t>(vp->X) + vp->Width;
  const std::uint64_t bottom = static_cast<std::uint64_t>(vp->Y) + vp->Height;
  if (vp->Width == 0 || vp->Height == 0 || right > m_params.BackBufferWidth ||
      bottom > m_params.BackBufferHeight || !(vp->MinZ >= 0.0f && vp->MinZ <= 1.0f) ||
      !(vp->MaxZ >= 0.0f && vp->MaxZ <= 1.0f))
    return D3DERR_INVALIDCALL;
  MakeCurrent();
  FlushDraws();
  m_viewport = *vp;
  ++m_fixedVersion;
  MarkDirty(kDirtyRaster | kDirtyProgram);
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* vp) {
  if (!vp) return D3DERR_INVALIDCALL;
  *vp = m_viewport;
  return D3D_OK;
}

// Transforms only matter to the fixed-function pipeline, which draws
// nothing here; they are kept for GetTransform.
HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* pMatrix) {
  if (!pMatrix) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: m_transforms[0] = *pMatrix; return D3D_OK;
    case D3DTS_VIEW: m_transforms[1] = *pMatrix; return D3D_OK;
    case D3DTS_PROJECTION: m_transforms[2] = *pMatrix; return D3D_OK;
    default: return state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + 8 ? D3D_OK : D3DERR_INVALIDCALL;
  }
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* pMatrix) {
  if (!pMatrix) return D3DERR_INVALIDCALL;
  switch (state) {
    case D3DTS_WORLD: *pMatrix = m_transforms[0]; return D3D_OK;
    case D3DTS_VIEW: *pMatrix = m_transforms[1]; return D3D_OK;
    case D3DTS_PROJECTION: *pMatrix = m_transforms[2]; return D3D_OK;
    default: return D3DERR_INVALIDCALL;
  }
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* pMaterial) {
  if (!pMaterial) return D3DERR_INVALIDCALL;
  m_material = *pMaterial;
  return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* pMaterial) {
  if (!pMaterial) return D3DERR_INVALIDCALL;
  *pMaterial = m_material;
  return D3D_OK;
}

// --- pushing state at draw time ---------------------------------------------------

void Device::ApplyRaster() {
  const DWORD* rs = m_renderStates;
  m_gl.BindDrawFramebuffer(m_fbo[m_current]);
  m_gl.SetScissor(false, 0, 0, 0, 0);
  const bool depth = rs[D3DRS_ZENABLE] != D3DZB_FALSE && m_depth != 0;
  m_gl.SetDepthTest(depth);
  if (depth) {
    const GLenum f = GlCompareFunc(rs[D3DRS_ZFUNC]);
    m_gl.SetDepthFunc(f ? f : GL_LEQUAL);
  }
  m_gl.SetDepthMask(rs[D3DRS_ZWRITEENABLE] != 0);
  const bool blend = rs[D3DRS_ALPHABLENDENABLE] != 0 && !BlendCopiesSource();
  m_gl.SetBlend(blend);
  if (blend) {
    // GL_ZERO is 0 too, so an unknown factor is told by its value, not by
    // the table's 0.
    auto factor = [](DWORD v, GLenum unknown) {
      return v >= D3DBLEND_ZERO && v <= D3DBLEND_SRCALPHASAT ? GlBlendFactor(v) : unknown;
    };
    m_gl.SetBlendFunc(factor(rs[D3DRS_SRCBLEND], GL_ONE), factor(rs[D3DRS_DESTBLEND], GL_ZERO));
    const GLenum eq = GlBlendEquation(rs[D3DRS_BLENDOP]);
    m_gl.SetBlendEquation(eq ? eq : GL_FUNC_ADD);
  }
  bool cull = false;
  GLenum face = GL_BACK;
  if (!GlCull(rs[D3DRS_CULLMODE], cull, face)) cull = false;
  m_gl.SetCull(cull, face);
  m_gl.SetColorMask(rs[D3DRS_COLORWRITEENABLE] & 0xF);
  const DWORD fill = rs[D3DRS_FILLMODE];
  m_gl.SetPolygonMode(fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
  m_gl.SetViewport(static_cast<GLint>(m_viewport.X), static_cast<GLint>(m_viewport.Y),
                   static_cast<GLsizei>(m_viewport.Width), static_cast<GLsizei>(m_viewport.Height));
  m_gl.SetDepthRange(m_viewport.MinZ, m_viewport.MaxZ);
}

bool Device::BlendCopiesSource() {
  // Source alpha times the source plus one minus it times the target is the
  // source alone where the source alpha is exactly 1: blending is then work
  // that changes no pixel.
  const DWORD* rs = m_renderStates;
  const DWORD src = rs[D3DRS_SRCBLEND], dst = rs[D3DRS_DESTBLEND];
  if ((src != D3DBLEND_SRCALPHA && src != D3DBLEND_ONE) ||
      (dst != D3DBLEND_INVSRCALPHA && dst != D3DBLEND_ZERO) || rs[D3DRS_BLENDOP] != D3DBLENDOP_ADD)
    return false;
  // Stages whose samples have alpha 1: a format without alpha gives 1 in
  // every texel (its swizzle says so), filtered or not. A border colour is
  // left out rather than trusted to follow the swizzle.
  std::uint32_t opaque = 0;
  for (DWORD s = 0; s < kMaxPixelTextures; ++s) {
    const Texture* t = m_textures[s];
    const DWORD* ts = m_stageStates[s];
    if (t && t->Gl() && t->Format()->swizzle[3] == GL_ONE && ts[D3DTSS_ADDRESSU] != D3DTADDRESS_BORDER &&
        ts[D3DTSS_ADDRESSV] != D3DTADDRESS_BORDER)
      opaque |= 1u << s;
  }
  // The default pixel side takes its alpha from stage 0 when one is bound.
  if (m_psHandle == 0) return (opaque & 1) != 0;
  const PixelShaderObject* ps = FindPs(m_psHandle);
  return ps && PixelAlphaIsOne(ps->program, opaque);
}

bool Device::ComputeInput(InputBinding& binding, GLint& shift) {
  VertexShaderObject* vs = FindVs(m_vsHandle);
  if (!vs) return false;
  binding = InputBinding{};
  binding.vs = m_vsHandle;
  shift = 0;
  std::uint32_t streams = 0;
  for (const VertexElement& e : vs->declaration.elements) {
    const Stream& s = m_streams[e.stream];
    if (!s.vb || !s.stride) return false;
    streams |= 1u << e.stream;
    binding.buffer[e.stream] = s.vb->Gl();
    if (!binding.buffer[e.stream]) return false;  // a buffer without storage
    binding.stride[e.stream] = s.stride;
    binding.pointerOffset[e.stream] = s.vb->ArenaOffset();
  }
  // With one stream whose start is a whole number of vertices into its
  // buffer object, the start goes into the base vertex instead.
  if (streams && !(streams & (streams - 1))) {
    int only = 0;
    while (!(streams & (1u << only))) ++only;
    const std::size_t start = binding.pointerOffset[only];
    const UINT stride = binding.stride[only];
    if (start % stride == 0 && start / stride <= 0x3FFFFFFF) {
      shift = static_cast<GLint>(start / stride);
      binding.pointerOffset[only] = 0;
    }
  }
  return true;
}

bool Device::ApplyVertexInput() {
  InputBinding binding;
  GLint shift = 0;
  if (!ComputeInput(binding, shift)) return false;
  VertexShaderObject* vs = FindVs(m_vsHandle);
  std::uint32_t enabled = 0;
  for (const VertexElement& e : vs->declaration.elements) {
    m_gl.BindArrayBuffer(binding.buffer[e.stream]);
    const DWORD type = e.type;
    const bool normalized = type == D3DVSDT_D3DCOLOR;
    const std::size_t offset = binding.pointerOffset[e.stream] + e.offset;
    glVertexAttribPointer(e.reg, DeclAttribSize(type), DeclAttribType(type), normalized ? GL_TRUE : GL_FALSE,
                          static_cast<GLsizei>(binding.stride[e.stream]),
                          reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)));
    enabled |= 1u << e.reg;
  }
  const std::uint32_t changed = enabled ^ m_attribsEnabled;
  for (GLuint i = 0; i < kMaxVertexInputs; ++i) {
    if (!(changed & (1u << i))) continue;
    if (enabled & (1u << i))
      glEnableVertexAttribArray(i);
    else
      glDisableVertexAttribArray(i);
  }
  m_attribsEnabled = enabled;
  m_appliedInput = binding;
  m_baseShift = shift;
  return true;
}

void Device::ApplyTextures() {
  for (int i = 0; i < static_cast<int>(kMaxPixelTextures); ++i) {
    const Texture* t = m_textures[i];
    m_gl.BindTexture(i, t && t->Gl() ? t->Gl() : m_defaultTexture);
    m_gl.BindSampler(i, m_samplers[i]);
  }
}

bool Device::ApplyDrawState() {
  if (!(m_vsHandle & 1)) {
    // Only shader handles draw: the system never draws through the
    // fixed-function pipeline, so it is not offered.
    if (!m_warnedFixedFunction) {
      std::fprintf(stderr, "d3d8: draw without a vertex shader refused (no fixed-function pipeline)\n");
      m_warnedFixedFunction = true;
    }
    return false;
  }
  if (m_dirty & kDirtyProgram) {
    m_program = Link(m_vsHandle, m_psHandle);
    if (!m_program) return false;
  }
  m_gl.UseProgram(m_program->program);
  LinkedProgram& p = *m_program;
  if (p.vsConstVersion != m_vsConstVersion) {
    glUniform4fv(p.locC, kMaxVertexConstants, &m_vsConst[0][0]);
    p.vsConstVersion = m_vsConstVersion;
  }
  if (p.psConstVersion != m_psConstVersion) {
    // Pixel shaders read their constants clamped to -1..1: clamped here once
    // per upload instead of in every pixel (NaN reads as 0).
    float pc[kMaxPixelConstants][4];
    for (std::uint32_t r = 0; r < kMaxPixelConstants; ++r)
      for (int k = 0; k < 4; ++k) {
        const float v = m_psConst[r][k];
        pc[r][k] = v > 1.0f ? 1.0f : v < -1.0f ? -1.0f : v == v ? v : 0.0f;
      }
    glUniform4fv(p.locPc, kMaxPixelConstants, &pc[0][0]);
    p.psConstVersion = m_psConstVersion;
  }
  if (p.fixedVersion != m_fixedVersion) {
    const DWORD* rs = m_renderStates;
    glUniform3f(p.locFogParams, BitsFloat(rs[D3DRS_FOGSTART]), BitsFloat(rs[D3DRS_FOGEND]),
                BitsFloat(rs[D3DRS_FOGDENSITY]));
    const D3DCOLOR fc = rs[D3DRS_FOGCOLOR];
    glUniform3f(p.locFogColor, ((fc >> 16) & 0xFF) / 255.0f, ((fc >> 8) & 0xFF) / 255.0f,
                (fc & 0xFF) / 255.0f);
    glUniform1f(p.locAlphaRef, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
    glUniform1i(p.locStage0Bound, m_textures[0] ? 1 : 0);
    float dither[3] = {0, 0, 0};
    DitherLevels(m_params.BackBufferFormat, dither);
    glUniform3fv(p.locDitherLevels, 1, dither);
    float bump[4 * 4], lum[4 * 2];
    for (int s = 0; s < 4; ++s) {
      const DWORD* ts = m_stageStates[s];
      bump[s * 4 + 0] = BitsFloat(ts[D3DTSS_BUMPENVMAT00]);
      bump[s * 4 + 1] = BitsFloat(ts[D3DTSS_BUMPENVMAT01]);
      bump[s * 4 + 2] = BitsFloat(ts[D3DTSS_BUMPENVMAT10]);
      bump[s * 4 + 3] = BitsFloat(ts[D3DTSS_BUMPENVMAT11]);
      lum[s * 2 + 0] = BitsFloat(ts[D3DTSS_BUMPENVLSCALE]);
      lum[s * 2 + 1] = BitsFloat(ts[D3DTSS_BUMPENVLOFFSET]);
    }
    glUniformMatrix2fv(p.locBumpMat, 4, GL_FALSE, bump);
    glUniform2fv(p.locBumpLum, 4, lum);
    // Direct3D samples pixels at integer coordinates, GL at half-integers:
    // shift everything by half a pixel.
    glUniform2f(p.locPixelAdjust, 1.0f / static_cast<float>(m_viewport.Width),
                1.0f / static_cast<float>(m_viewport.Height));
    p.fixedVersion = m_fixedVersion;
  }
  if (m_dirty & kDirtyRaster) ApplyRaster();
  if (m_dirty & kDirtyVertexInput) {
    if (!ApplyVertexInput()) return false;
  }
  if (m_dirty & kDirtyTextures) ApplyTextures();
  m_dirty = 0;
  return true;
}

}  // namespace qv::d3d8
