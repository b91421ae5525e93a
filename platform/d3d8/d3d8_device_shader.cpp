// Shaders of the device: creation (validation and translation once), the
// handles, the constant registers, and the linked GL program per pair.
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/d3d8/d3d8_internal.h"

namespace qv::d3d8 {
namespace {

GLuint Compile(GLenum kind, const std::string& source) {
  GLuint s = glCreateShader(kind);
  const char* src = source.c_str();
  glShaderSource(s, 1, &src, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    std::fprintf(stderr, "d3d8: translated shader does not compile:\n%s\n", log);
    glDeleteShader(s);
    return 0;
  }
  return s;
}

}  // namespace

VertexShaderObject* Device::FindVs(DWORD handle) {
  auto it = m_vertexShaders.find(handle);
  return it == m_vertexShaders.end() ? nullptr : it->second.get();
}

PixelShaderObject* Device::FindPs(DWORD handle) {
  auto it = m_pixelShaders.find(handle);
  return it == m_pixelShaders.end() ? nullptr : it->second.get();
}

HRESULT Device::CreateVertexShader(const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle,
                                   DWORD usage) {
  if (!pHandle) return D3DERR_INVALIDCALL;
  // Without a function the declaration would drive the fixed-function
  // pipeline, which this layer does not offer.
  if (!pDeclaration || !pFunction) return D3DERR_INVALIDCALL;
  auto vs = std::unique_ptr<VertexShaderObject>(new (std::nothrow) VertexShaderObject);
  if (!vs) return E_OUTOFMEMORY;
  std::string error;
  if (!ParseDeclaration(pDeclaration, vs->declaration, error) ||
      !ParseShader(pFunction, false, vs->program, error)) {
    std::fprintf(stderr, "d3d8: CreateVertexShader: %s\n", error.c_str());
    return D3DERR_INVALIDCALL;
  }
  vs->glsl = TranslateVertexShader(vs->program, vs->writesFog);
  vs->clip = FindClipTransform(vs->program);
  MakeCurrent();
  vs->shader = Compile(GL_VERTEX_SHADER, vs->glsl);
  if (!vs->shader) return D3DERR_INVALIDCALL;
  const DWORD handle = (m_nextShaderId++ << 1) | 1;
  m_vertexShaders[handle] = std::move(vs);
  *pHandle = handle;
  return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD handle) {
  VertexShaderObject* vs = nullptr;
  if (handle & 1) {
    vs = FindVs(handle);
    if (!vs) return D3DERR_INVALIDCALL;
  }
  if (handle != m_vsHandle) {
    MakeCurrent();
    FlushDraws();
    m_vsHandle = handle;
    MarkDirty(kDirtyProgram | kDirtyVertexInput);
    ++m_fixedVersion;  // fog depends on whether the shader writes oFog
  }
  // The declaration's constants are loaded each time the shader is set.
  if (vs && !vs->declaration.constants.empty()) {
    for (const DeclConstant& c : vs->declaration.constants) {
      if (std::memcmp(m_vsConst[c.reg], c.value.data(), 16) == 0) continue;
      FlushDraws();
      std::memcpy(m_vsConst[c.reg], c.value.data(), 16);
      ++m_vsConstVersion;
      MarkDirty(kDirtyProgram);
    }
  }
  return D3D_OK;
}

HRESULT Device::GetVertexShader(DWORD* pHandle) {
  if (!pHandle) return D3DERR_INVALIDCALL;
  *pHandle = m_vsHandle;
  return D3D_OK;
}

void Device::DropPrograms(DWORD vsHandle, DWORD psHandle) {
  for (auto it = m_programs.begin(); it != m_programs.end();) {
    const bool match =
        (vsHandle && std::get<0>(it->first) == vsHandle) || (psHandle && std::get<1>(it->first) == psHandle);
    if (!match) {
      ++it;
      continue;
    }
    if (m_program == &it->second) m_program = nullptr;
    m_gl.ForgetProgram(it->second.program);
    glDeleteProgram(it->second.program);
    it = m_programs.erase(it);
  }
  MarkDirty(kDirtyProgram);
}

HRESULT Device::DeleteVertexShader(DWORD handle) {
  VertexShaderObject* vs = FindVs(handle);
  if (!vs) return D3DERR_INVALIDCALL;
  MakeCurrent();
  FlushDraws();
  DropPrograms(handle, 0);
  glDeleteShader(vs->shader);
  m_vertexShaders.erase(handle);
  if (m_vsHandle == handle) m_vsHandle = 0;
  return D3D_OK;
}

HRESULT Device::SetVertexShaderConstant(DWORD reg, const void* pData, DWORD count) {
  if (!pData || reg >= kMaxVertexConstants || count > kMaxVertexConstants - reg) return D3DERR_INVALIDCALL;
  if (count == 0 || std::memcmp(m_vsConst[reg], pData, count * 16) == 0) return D3D_OK;
  MakeCurrent();
  FlushDraws();
  std::memcpy(m_vsConst[reg], pData, count * 16);
  ++m_vsConstVersion;
  MarkDirty(kDirtyProgram);
  return D3D_OK;
}

HRESULT Device::GetVertexShaderConstant(DWORD reg, void* pData, DWORD count) {
  if (!pData || reg >= kMaxVertexConstants || count > kMaxVertexConstants - reg) return D3DERR_INVALIDCALL;
  std::memcpy(pData, m_vsConst[reg], count * 16);
  return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* pFunction, DWORD* pHandle) {
  if (!pHandle || !pFunction) return D3DERR_INVALIDCALL;
  auto ps = std::unique_ptr<PixelShaderObject>(new (std::nothrow) PixelShaderObject);
  if (!ps) return E_OUTOFMEMORY;
  std::string error;
  if (!ParseShader(pFunction, true, ps->program, error)) {
    std::fprintf(stderr, "d3d8: CreatePixelShader: %s\n", error.c_str());
    return D3DERR_INVALIDCALL;
  }
  // Compiled once now with the tail of the current render states, so that a
  // program GL cannot take is refused here and not at its first draw.
  MakeCurrent();
  const VertexShaderObject* vs = FindVs(m_vsHandle);
  if (!FragmentShader(*ps, vs ? CurrentTail(*vs) : PixelTail{})) {
    ps->DeleteShaders();
    return D3DERR_INVALIDCALL;
  }
  const DWORD handle = (m_nextShaderId++ << 1) | 1;
  m_pixelShaders[handle] = std::move(ps);
  *pHandle = handle;
  return D3D_OK;
}

HRESULT Device::SetPixelShader(DWORD handle) {
  if (handle != 0 && !FindPs(handle)) return D3DERR_INVALIDCALL;
  if (handle == m_psHandle) return D3D_OK;
  MakeCurrent();
  FlushDraws();
  m_psHandle = handle;
  MarkDirty(kDirtyProgram | kDirtyRaster);  // blending may depend on the program's alpha
  return D3D_OK;
}

HRESULT Device::GetPixelShader(DWORD* pHandle) {
  if (!pHandle) return D3DERR_INVALIDCALL;
  *pHandle = m_psHandle;
  return D3D_OK;
}

HRESULT Device::DeletePixelShader(DWORD handle) {
  PixelShaderObject* ps = FindPs(handle);
  if (!ps) return D3DERR_INVALIDCALL;
  MakeCurrent();
  FlushDraws();
  DropPrograms(0, handle);
  ps->DeleteShaders();
  m_pixelShaders.erase(handle);
  if (m_psHandle == handle) {
    m_psHandle = 0;
    MarkDirty(kDirtyRaster);
  }
  return D3D_OK;
}

HRESULT Device::SetPixelShaderConstant(DWORD reg, const void* pData, DWORD count) {
  if (!pData || reg >= kMaxPixelConstants || count > kMaxPixelConstants - reg) return D3DERR_INVALIDCALL;
  if (count == 0 || std::memcmp(m_psConst[reg], pData, count * 16) == 0) return D3D_OK;
  MakeCurrent();
  FlushDraws();
  std::memcpy(m_psConst[reg], pData, count * 16);
  ++m_psConstVersion;
  MarkDirty(kDirtyProgram);
  return D3D_OK;
}

HRESULT Device::GetPixelShaderConstant(DWORD reg, void* pData, DWORD count) {
  if (!pData || reg >= kMaxPixelConstants || count > kMaxPixelConstants - reg) return D3DERR_INVALIDCALL;
  std::memcpy(pData, m_psConst[reg], count * 16);
  return D3D_OK;
}

PixelTail Device::CurrentTail(const VertexShaderObject& vs) const {
  const DWORD* rs = m_renderStates;
  PixelTail tail;
  if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] >= D3DCMP_NEVER && rs[D3DRS_ALPHAFUNC] < D3DCMP_ALWAYS)
    tail.alphaFunc = static_cast<std::uint8_t>(rs[D3DRS_ALPHAFUNC]);
  if (rs[D3DRS_FOGENABLE] && vs.writesFog) {
    const DWORD mode =
        rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? rs[D3DRS_FOGTABLEMODE] : rs[D3DRS_FOGVERTEXMODE];
    tail.fogMode = mode == D3DFOG_LINEAR ? 1 : mode == D3DFOG_EXP ? 2 : mode == D3DFOG_EXP2 ? 3 : 4;
  }
  float levels[3] = {0, 0, 0};
  DitherLevels(m_params.BackBufferFormat, levels);
  tail.dither = rs[D3DRS_DITHERENABLE] && levels[0] != 0.0f;
  return tail;
}

GLuint Device::FragmentShader(PixelShaderObject& ps, const PixelTail& tail) {
  auto it = ps.shaders.find(tail.Key());
  if (it != ps.shaders.end()) return it->second;
  const GLuint shader = Compile(GL_FRAGMENT_SHADER, ps.isDefault ? DefaultPixelShaderSource(tail)
                                                                 : TranslatePixelShader(ps.program, tail));
  if (shader) ps.shaders.emplace(tail.Key(), shader);
  return shader;
}

LinkedProgram* Device::Link(DWORD vsHandle, DWORD psHandle) {
  VertexShaderObject* vs = FindVs(vsHandle);
  PixelShaderObject* ps = psHandle ? FindPs(psHandle) : &m_defaultPs;
  if (!vs || !ps) return nullptr;
  const PixelTail tail = CurrentTail(*vs);
  const auto key = std::make_tuple(vsHandle, psHandle, tail.Key());
  auto it = m_programs.find(key);
  if (it != m_programs.end()) return &it->second;
  const GLuint fragment = FragmentShader(*ps, tail);
  if (!fragment) return nullptr;
  LinkedProgram lp;
  lp.program = glCreateProgram();
  glAttachShader(lp.program, vs->shader);
  glAttachShader(lp.program, fragment);
  glLinkProgram(lp.program);
  GLint ok = 0;
  glGetProgramiv(lp.program, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    glGetProgramInfoLog(lp.program, sizeof log, nullptr, log);
    std::fprintf(stderr, "d3d8: shader pair does not link:\n%s\n", log);
    glDeleteProgram(lp.program);
    return nullptr;
  }
  lp.locC = glGetUniformLocation(lp.program, "c");
  lp.locPc = glGetUniformLocation(lp.program, "pc");
  lp.locPixelAdjust = glGetUniformLocation(lp.program, "qv_pixelAdjust");
  lp.locBumpMat = glGetUniformLocation(lp.program, "qv_bumpMat");
  lp.locBumpLum = glGetUniformLocation(lp.program, "qv_bumpLum");
  lp.locFogParams = glGetUniformLocation(lp.program, "qv_fogParams");
  lp.locFogColor = glGetUniformLocation(lp.program, "qv_fogColor");
  lp.locAlphaRef = glGetUniformLocation(lp.program, "qv_alphaRef");
  lp.locStage0Bound = glGetUniformLocation(lp.program, "qv_stage0Bound");
  lp.locDitherLevels = glGetUniformLocation(lp.program, "qv_ditherLevels");
  m_gl.UseProgram(lp.program);
  for (int i = 0; i < static_cast<int>(kMaxPixelTextures); ++i) {
    const std::string name = "qv_s" + std::to_string(i);
    glUniform1i(glGetUniformLocation(lp.program, name.c_str()), i);
  }
  auto res = m_programs.emplace(key, lp);
  return &res.first->second;
}

GLuint Device::ProgramFor(DWORD vsHandle, DWORD psHandle) {
  MakeCurrent();
  FlushDraws();  // linking binds the new program
  LinkedProgram* p = Link(vsHandle, psHandle);
  // The program may now be bound behind the draw state's back.
  MarkDirty(kDirtyProgram);
  return p ? p->program : 0;
}

}  // namespace qv::d3d8
