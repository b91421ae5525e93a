// Frame benchmark on the headless host: the system draws the default data
// over a fixed camera path, once with the device's early rejection of draws
// outside the clip volume and once without. Beside each frame two limits draw
// the triangles of the draws that were kept in a single draw call from one
// vertex buffer and one index buffer: one with the same translated shaders and
// constants, one with hand-written GLSL equivalents of the two terrain
// shaders. All are timed to completion (glFinish); the medians and their
// ratios are printed. The hand-written picture is compared with the picture
// of the same triangles drawn with the system's translated shaders, in steps
// of the back buffer's channels: more than one pixel in 10000 off by over one
// step ends the benchmark with exit code 3.
//
//   bench_frame [--frames N] [--dir DATA]   (default: 30 frames, data made anew)
// Token streams and forwarding methods here are laid out by hand: one
// instruction or one method a line.
// clang-format off
#include <epoxy/gl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_globals.h"
#include "device/d3d_wrapper.h"
#include "lighting/terrain_shaders.h"
#include "log/log_file.h"
#include "tools/quorvel-makedata/makedata.h"
#include "platform/d3d8/d3d8_testing.h"
#include "platform/host/host.h"
#include "testing/forwarding_device.h"
#include "terrain/terrain.h"
#include "view/camera.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// One recorded indexed draw of the system.
struct Draw {
  IDirect3DVertexBuffer8* vb;
  UINT base;
  D3DPRIMITIVETYPE type;
  std::vector<std::uint32_t> indices;  // as drawn, before the base vertex
  bool kept = true;                    // false: the device spared GL this draw
};

// Forwards every call to the real device, timing the time spent inside it
// and, while capturing, recording each indexed draw with its index data.
class ProxyDevice final : public qv::test::ForwardingDevice {
 public:
  explicit ProxyDevice(IDirect3DDevice8* real) : ForwardingDevice(real) {}

  HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* pVB, UINT stride) override {
    if (stream == 0) m_vb = pVB;
    return ForwardingDevice::SetStreamSource(stream, pVB, stride);
  }
  HRESULT SetIndices(IDirect3DIndexBuffer8* pIB, UINT baseVertexIndex) override {
    m_ib = pIB;
    m_base = baseVertexIndex;
    return ForwardingDevice::SetIndices(pIB, baseVertexIndex);
  }
  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                               UINT startIndex, UINT primitiveCount) override {
    const std::size_t recorded = draws.size();
    if (capture && m_ib) Record(type, startIndex, primitiveCount);
    const std::uint64_t skipped = qv::host::GetStats().draws_skipped;
    const HRESULT hr =
        ForwardingDevice::DrawIndexedPrimitive(type, minIndex, numVertices, startIndex, primitiveCount);
    if (draws.size() > recorded) draws.back().kept = qv::host::GetStats().draws_skipped == skipped;
    return hr;
  }

  void Record(D3DPRIMITIVETYPE type, UINT startIndex, UINT primitiveCount) {
    const UINT count = type == D3DPT_TRIANGLESTRIP ? primitiveCount + 2 : primitiveCount * 3;
    D3DINDEXBUFFER_DESC desc{};
    m_ib->GetDesc(&desc);
    BYTE* p = nullptr;
    // This layer's buffers keep a system-memory copy that a read-only lock hands out.
    if (FAILED(m_ib->Lock(0, 0, &p, D3DLOCK_READONLY)) || !p) return;
    Draw d{m_vb, m_base, type, {}, true};
    const bool wide = desc.Format == D3DFMT_INDEX32;
    const UINT size = wide ? 4 : 2;
    for (UINT i = 0; i < count && (startIndex + i + 1) * size <= desc.Size; ++i) {
      std::uint32_t v;
      if (wide) {
        std::memcpy(&v, p + (startIndex + i) * 4, 4);
      } else {
        std::uint16_t s;
        std::memcpy(&s, p + (startIndex + i) * 2, 2);
        v = s;
      }
      d.indices.push_back(v);
    }
    m_ib->Unlock();
    draws.push_back(std::move(d));
  }

  bool capture = false;
  std::vector<Draw> draws;
  Clock::duration m_inside{};

 private:
  void Enter(const char*) override { m_start = Clock::now(); }
  void Leave(const char*) override { m_inside += Clock::now() - m_start; }

  Clock::time_point m_start;
  IDirect3DVertexBuffer8* m_vb = nullptr;
  IDirect3DIndexBuffer8* m_ib = nullptr;
  UINT m_base = 0;
};

struct Figures {
  std::vector<double> wall, outside;
  std::vector<double> draws, triangles, skipped;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t rank = static_cast<std::size_t>(p * static_cast<double>(v.size()) + 0.999999);
  return v[std::min(v.size() - 1, rank > 0 ? rank - 1 : 0)];
}

double Mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? 0 : s / static_cast<double>(v.size());
}

// Camera of path frame i: a straight flight across the map, high up, looking
// ahead and down, so that near patches are fine and far ones coarse.
void PlaceCamera(int i, int frames) {
  const float t = frames > 1 ? static_cast<float>(i) / static_cast<float>(frames - 1) : 0.0f;
  g_Camera.SetPosition(600.0f + 5000.0f * t, 1800.0f, 500.0f + 3000.0f * t);
  g_Camera.SetLook(0.55f, -0.25f, 0.8f);
}

// The two terrain shaders written by hand from what they compute: the light
// turned into the tangent frame per vertex, the fog distance at a fixed
// height, and per pixel the overlay blended over the ground, lit by the bump
// map, then fogged and dithered to the 16-bit target. Used by this benchmark only.
const char* const kHandVs = R"(#version 330 core
layout(location = 0) in vec4 a_pos;  // w = 1 from the attribute default
layout(location = 3) in vec3 a_normal;
layout(location = 11) in vec3 a_tangent;
layout(location = 7) in vec2 a_uv0;
layout(location = 8) in vec2 a_uv1;
layout(location = 10) in vec2 a_uv3;
uniform vec4 u_worldViewProj[4];  // one row per clip coordinate
uniform vec3 u_toLight;     // the negated light direction
uniform vec3 u_eye;         // the camera, its height replaced by the fog height's offset
uniform float u_fogScale;
uniform vec2 u_pixelAdjust;
out vec3 v_light;
out vec2 v_uv0, v_uv1, v_uv3;
out float v_fog;
void main() {
  vec4 v = a_pos;
  vec4 p = vec4(dot(v, u_worldViewProj[0]), dot(v, u_worldViewProj[1]), dot(v, u_worldViewProj[2]),
                dot(v, u_worldViewProj[3]));
  gl_Position = vec4(p.x, -p.y, p.z * 2.0 - p.w, p.w);
  gl_Position.xy += u_pixelAdjust * p.w;
  vec3 binormal = cross(a_tangent, a_normal);
  vec3 l = vec3(dot(a_tangent, u_toLight), dot(binormal, u_toLight), dot(a_normal, u_toLight));
  v_light = clamp(l * 0.5 + 0.5, 0.0, 1.0);
  vec3 d = vec3(a_pos.x, 0.0, a_pos.z) - u_eye;
  v_fog = sqrt(dot(d, d)) * u_fogScale;
  v_uv0 = a_uv0;
  v_uv1 = a_uv1;
  v_uv3 = a_uv3;
}
)";
const char* const kHandFs = R"(#version 330 core
in vec3 v_light;
in vec2 v_uv0, v_uv1, v_uv3;
in float v_fog;
uniform sampler2D u_ground, u_overlay, u_bump;
uniform vec3 u_ambient, u_diffuse, u_fogColor;
uniform vec2 u_fogLine;  // factor = fog coordinate * x + y
out vec4 o_color;
// The system's device dithers its 16-bit (5-6-5) back buffer: a 4 x 4 ordered
// threshold added before the colour is cut to the target's width.
const float c_bayer[16] = float[16](0.0, 8.0, 2.0, 10.0, 12.0, 4.0, 14.0, 6.0,
                                    3.0, 11.0, 1.0, 9.0, 15.0, 7.0, 13.0, 5.0);
const vec3 c_levels = vec3(31.0, 63.0, 31.0);
void main() {
  vec4 ground = texture(u_ground, v_uv0);
  vec4 overlay = texture(u_overlay, v_uv1);
  vec3 bump = texture(u_bump, v_uv3).rgb * 2.0 - 1.0;
  float lit = clamp(dot(bump, v_light * 2.0 - 1.0), 0.0, 1.0);
  vec3 color = mix(ground.rgb, overlay.rgb, overlay.a) * (u_ambient + u_diffuse * lit);
  float f = clamp(v_fog * u_fogLine.x + u_fogLine.y, 0.0, 1.0);
  ivec2 q = ivec2(gl_FragCoord.xy) & 3;
  float t = (c_bayer[q.y * 4 + q.x] + 0.5) / 16.0;
  o_color = vec4(floor(clamp(mix(u_fogColor, color, f), 0.0, 1.0) * c_levels + t) / c_levels, ground.a);
}
)";

GLuint CompileHand() {
  auto compile = [](GLenum kind, const char* src) {
    GLuint sh = glCreateShader(kind);
    glShaderSource(sh, 1, &src, nullptr);
    glCompileShader(sh);
    GLint ok = 0;
    glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (!ok) {
      char log[1024] = {};
      glGetShaderInfoLog(sh, sizeof log, nullptr, log);
      std::fprintf(stderr, "bench_frame: hand-written shader: %s\n", log);
    }
    return sh;
  };
  const GLuint program = glCreateProgram();
  glAttachShader(program, compile(GL_VERTEX_SHADER, kHandVs));
  glAttachShader(program, compile(GL_FRAGMENT_SHADER, kHandFs));
  glLinkProgram(program);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  return ok ? program : 0;
}

// Loads the hand-written program's uniforms from the device's current
// constants and render states (the terrain's shaders set them up).
void LoadHandUniforms(GLuint program, IDirect3DDevice8* dev) {
  float c[21][4] = {};
  float pc[3][4] = {};
  dev->GetVertexShaderConstant(0, c, 21);
  dev->GetPixelShaderConstant(0, pc, 3);
  auto at = [&](const char* name) { return glGetUniformLocation(program, name); };
  auto clamp1 = [](float v) { return std::min(1.0f, std::max(-1.0f, v)); };
  glUniform4fv(at("u_worldViewProj"), 4, &c[4][0]);
  glUniform3f(at("u_toLight"), -c[12][0], -c[12][1], -c[12][2]);
  glUniform3f(at("u_eye"), c[10][0], c[10][1] - c[0][0], c[10][2]);
  glUniform1f(at("u_fogScale"), c[0][2]);
  D3DVIEWPORT8 vp{};
  dev->GetViewport(&vp);
  glUniform2f(at("u_pixelAdjust"), 1.0f / static_cast<float>(vp.Width), 1.0f / static_cast<float>(vp.Height));
  glUniform3f(at("u_ambient"), clamp1(pc[0][0]), clamp1(pc[0][1]), clamp1(pc[0][2]));
  glUniform3f(at("u_diffuse"), clamp1(pc[2][0]), clamp1(pc[2][1]), clamp1(pc[2][2]));
  DWORD on = 0, color = 0, start = 0, end = 0;
  dev->GetRenderState(D3DRS_FOGENABLE, &on);
  dev->GetRenderState(D3DRS_FOGCOLOR, &color);
  dev->GetRenderState(D3DRS_FOGSTART, &start);
  dev->GetRenderState(D3DRS_FOGEND, &end);
  float fs = 0, fe = 0;
  std::memcpy(&fs, &start, 4);
  std::memcpy(&fe, &end, 4);
  glUniform3f(at("u_fogColor"), ((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f,
              (color & 0xFF) / 255.0f);
  if (on && fe != fs)
    glUniform2f(at("u_fogLine"), -1.0f / (fe - fs), fe / (fe - fs));
  else
    glUniform2f(at("u_fogLine"), 0.0f, 1.0f);
  glUniform1i(at("u_ground"), 0);
  glUniform1i(at("u_overlay"), 1);
  glUniform1i(at("u_bump"), 3);
}

// How far two read-back frames differ, in steps of a 5-6-5 back buffer's
// channels: the largest difference and the pixels more than one step apart.
struct StepDifference {
  int largest = 0;
  std::size_t overOne = 0;
};
StepDifference CompareFrames(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  StepDifference d;
  if (a.size() != b.size() || a.empty()) return {255, std::max(a.size(), b.size()) / 3};
  for (std::size_t i = 0; i + 2 < a.size(); i += 3) {
    int pixel = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      const int shift = k == 1 ? 2 : 3;
      pixel = std::max(pixel, std::abs((a[i + k] >> shift) - (b[i + k] >> shift)));
    }
    d.largest = std::max(d.largest, pixel);
    if (pixel > 1) ++d.overOne;
  }
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  int frames = 30;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: bench_frame [--frames N] [--dir DATA]\n");
      return 2;
    }
  }
  if (dir.empty()) {
    char tmpl[] = "/tmp/qvbenchXXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    dir = tmpl;
    std::string error;
    if (!makedata::WriteDataSet(dir, 1, &error)) {
      std::fprintf(stderr, "bench_frame: %s\n", error.c_str());
      return 1;
    }
  }
  if (chdir(dir.c_str()) != 0) return 1;

  qv::host::Config config;
  config.scripted = true;
  config.visible_window = false;
  // A virtual clock, set for each frame, so that every pass over one frame
  // sees the same time of day.
  config.clock_step_ms = 51;
  qv::host::Configure(config);
  g_pLog = new LogFile();
  g_hInstance = GetModuleHandleA(nullptr);
  RegisterWindowClass(g_hInstance);
  g_hWnd = MakeWindow(g_hInstance);
  if (!GameInitialize() || !g_pd3dDevice || !g_pTerrain || !g_pTerrain->m_pPatches) {
    std::fprintf(stderr, "bench_frame: start-up failed, see %s/%s\n", dir.c_str(), g_pLog->FileName());
    return 1;
  }
  IDirect3DDevice8* real = g_pd3dDevice;
  ProxyDevice proxy(real);
  g_pd3dDevice = &proxy;

  // The limits' one vertex buffer: every pooled buffer's vertices, in a row.
  std::map<IDirect3DVertexBuffer8*, std::uint32_t> vbOffset;
  std::vector<BYTE> vertices;
  for (int i = 0; i < g_pTerrain->m_VBCount; ++i) {
    IDirect3DVertexBuffer8* vb = g_pTerrain->m_pVBs[i].pVB;
    D3DVERTEXBUFFER_DESC desc{};
    BYTE* p = nullptr;
    if (!vb || FAILED(vb->GetDesc(&desc)) || FAILED(vb->Lock(0, 0, &p, D3DLOCK_READONLY))) continue;
    vbOffset[vb] = static_cast<std::uint32_t>(vertices.size() / sizeof(TerrainVertex));
    vertices.insert(vertices.end(), p, p + desc.Size);
    vb->Unlock();
  }
  const UINT vertexCount = static_cast<UINT>(vertices.size() / sizeof(TerrainVertex));
  IDirect3DVertexBuffer8* bigVB = nullptr;
  BYTE* p = nullptr;
  if (FAILED(real->CreateVertexBuffer(static_cast<UINT>(vertices.size()), D3DUSAGE_WRITEONLY, 0,
                                      D3DPOOL_DEFAULT, &bigVB)) ||
      FAILED(bigVB->Lock(0, 0, &p, 0))) {
    std::fprintf(stderr, "bench_frame: no room for the limit's vertex buffer\n");
    return 1;
  }
  std::memcpy(p, vertices.data(), vertices.size());
  bigVB->Unlock();
  IDirect3DIndexBuffer8* bigIB = nullptr;
  UINT bigIBBytes = 0;
  const GLuint hand = CompileHand();
  if (!hand) {
    std::fprintf(stderr, "bench_frame: the hand-written shaders do not link\n");
    return 1;
  }
  // The hand-written limit reads the same vertices through a vertex array of
  // its own, with the attribute locations the translated shader uses.
  GLuint handVao = 0, handBuffers[2] = {0, 0};
  GLint deviceVao = 0, deviceArrayBuffer = 0;
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &deviceVao);
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &deviceArrayBuffer);
  glGenVertexArrays(1, &handVao);
  glGenBuffers(2, handBuffers);
  glBindVertexArray(handVao);
  glBindBuffer(GL_ARRAY_BUFFER, handBuffers[0]);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size()), vertices.data(), GL_STATIC_DRAW);
  const struct { GLuint location; GLint size; std::size_t offset; } attributes[] = {
      {0, 3, offsetof(TerrainVertex, Position)}, {3, 3, offsetof(TerrainVertex, Normal)},
      {11, 3, offsetof(TerrainVertex, Tangent)}, {7, 2, offsetof(TerrainVertex, Tex[0])},
      {8, 2, offsetof(TerrainVertex, Tex[1])},   {10, 2, offsetof(TerrainVertex, Tex[3])}};
  for (const auto& a : attributes) {
    glEnableVertexAttribArray(a.location);
    glVertexAttribPointer(a.location, a.size, GL_FLOAT, GL_FALSE, sizeof(TerrainVertex),
                          reinterpret_cast<const void*>(a.offset));
  }
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, handBuffers[1]);
  glBindVertexArray(static_cast<GLuint>(deviceVao));
  glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(deviceArrayBuffer));  // as the device left it

  D3DCAPS8 caps{};
  real->GetDeviceCaps(&caps);
  const UINT maxPrimitives = std::max<UINT>(1, caps.MaxPrimitiveCount);

  // One system frame at path frame i; the draws are recorded when asked.
  auto systemFrame = [&](int i, bool skip, bool capture, Figures& fig) {
    QvD3D8SetDrawSkip(real, skip);
    PlaceCamera(i, frames);
    proxy.draws.clear();
    proxy.capture = capture;
    proxy.m_inside = {};
    const qv::host::Stats before = qv::host::GetStats();
    const auto start = Clock::now();
    PreFrame();
    InFrame();
    PostFrame();
    const auto beforeFinish = Clock::now();
    glFinish();
    const auto end = Clock::now();
    proxy.capture = false;
    const qv::host::Stats& after = qv::host::GetStats();
    fig.wall.push_back(Ms(end - start));
    fig.outside.push_back(Ms(beforeFinish - start) - Ms(proxy.m_inside));
    fig.draws.push_back(static_cast<double>(after.draws - before.draws));
    fig.triangles.push_back(static_cast<double>(after.triangles - before.triangles));
    fig.skipped.push_back(static_cast<double>(after.draws_skipped - before.draws_skipped));
  };

  // A limit frame: the kept triangles in one draw, with the translated
  // shaders or (handWritten) with the hand-written ones.
  auto limitFrame = [&](const Camera& camera, const D3DXMATRIX& view, std::size_t indexCount,
                        bool handWritten, Figures& fig) {
    QvD3D8SetDrawSkip(real, false);
    // The system frame's own view: the camera re-orthonormalises its frame on
    // every update, so updating it again would move the picture by rounding.
    g_Camera = camera;
    g_matView = view;
    const qv::host::Stats before = qv::host::GetStats();
    const auto start = Clock::now();
    real->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF8264FF, 1.0f, 0);
    real->BeginScene();
    g_pd3dDevice = real;
    ApplyPS(g_pTerrain->m_pTextures[0], g_pTerrain->m_pTextures[1], g_pTerrain->m_pTextures[2],
            g_pTerrain->m_pTextures[3]);
    ApplyVS();
    g_pd3dDevice = &proxy;
    real->SetStreamSource(0, bigVB, sizeof(TerrainVertex));
    real->SetIndices(bigIB, 0);
    const UINT total = static_cast<UINT>(indexCount / 3);
    if (handWritten && total > 0) {
      // The device draws the first triangle, which leaves its state (vertex
      // input, index buffer, textures, blending) in place for the rest.
      real->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, 0, 1);
      real->EndScene();
      GLint previous = 0, vao = 0;
      glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
      glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vao);
      glUseProgram(hand);
      glBindVertexArray(handVao);
      LoadHandUniforms(hand, real);
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>((total - 1) * 3), GL_UNSIGNED_INT,
                     reinterpret_cast<const void*>(std::uintptr_t{12}));
      glBindVertexArray(static_cast<GLuint>(vao));
      glUseProgram(static_cast<GLuint>(previous));
    } else {
      // One draw, unless the triangles pass the device's primitive limit.
      for (UINT first = 0; first < total;) {
        const UINT n = std::min(total - first, maxPrimitives);
        real->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexCount, first * 3, n);
        first += n;
      }
      real->EndScene();
    }
    real->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
    const auto end = Clock::now();
    fig.wall.push_back(Ms(end - start));
    fig.draws.push_back(static_cast<double>(qv::host::GetStats().draws - before.draws));
    fig.triangles.push_back(static_cast<double>(total));
  };

  Figures withSkip, withoutSkip, limit, handLimit;
  int worstStep = 0;
  std::size_t pixelsOverOneStep = 0, pixelsCompared = 0;
  std::vector<std::uint8_t> limitRgb, handRgb;
  int width = 0, height = 0;
  for (int i = 0; i < frames; ++i) {
    qv::host::SetVirtualTime(10000u + 51u * static_cast<std::uint32_t>(i));
    // Without skipping first, then with (the draws of this pass recorded).
    // Their pictures are compared by the tests on whole flights: here the
    // second pass starts from the first one's frame state.
    systemFrame(i, false, false, withoutSkip);
    systemFrame(i, true, true, withSkip);
    const Camera camera = g_Camera;
    const D3DXMATRIX view = g_matView;

    // The kept draws' triangles as one list of 32-bit indices into the one buffer.
    std::vector<std::uint32_t> indices;
    for (const Draw& d : proxy.draws) {
      if (!d.kept) continue;
      const std::uint32_t offset = vbOffset.count(d.vb) ? vbOffset[d.vb] : 0;
      auto at = [&](std::size_t k) { return offset + d.base + d.indices[k]; };
      if (d.type == D3DPT_TRIANGLELIST) {
        for (std::size_t k = 0; k + 2 < d.indices.size(); k += 3)
          indices.insert(indices.end(), {at(k), at(k + 1), at(k + 2)});
      } else if (d.type == D3DPT_TRIANGLESTRIP) {
        for (std::size_t k = 0; k + 2 < d.indices.size(); ++k) {
          // Odd triangles of a strip run the other way round.
          const std::uint32_t a = at(k), b = at(k + 1), c = at(k + 2);
          if (a == b || b == c || a == c) continue;
          if (k & 1)
            indices.insert(indices.end(), {b, a, c});
          else
            indices.insert(indices.end(), {a, b, c});
        }
      }
    }
    const UINT bytes = static_cast<UINT>(indices.size() * 4);
    if (bytes > bigIBBytes) {
      if (bigIB) bigIB->Release();
      bigIB = nullptr;
      bigIBBytes = bytes;
      if (FAILED(real->CreateIndexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_DEFAULT,
                                         &bigIB)))
        return 1;
    }
    if (bytes && SUCCEEDED(bigIB->Lock(0, bytes, &p, 0))) {
      std::memcpy(p, indices.data(), bytes);
      bigIB->Unlock();
    }
    // The hand-written limit's copy (bound through its own vertex array).
    glBindBuffer(GL_COPY_WRITE_BUFFER, handBuffers[1]);
    glBufferData(GL_COPY_WRITE_BUFFER, static_cast<GLsizeiptr>(bytes), indices.data(), GL_STATIC_DRAW);
    glFinish();

    limitFrame(camera, view, indices.size(), false, limit);
    QvReadLastFrame(real, limitRgb, width, height);
    limitFrame(camera, view, indices.size(), true, handLimit);
    QvReadLastFrame(real, handRgb, width, height);
    const StepDifference d = CompareFrames(limitRgb, handRgb);
    worstStep = std::max(worstStep, d.largest);
    pixelsOverOneStep += d.overOne;
    pixelsCompared += limitRgb.size() / 3;
  }
  QvD3D8SetDrawSkip(real, true);

  const double skipMedian = Percentile(withSkip.wall, 0.5);
  const double noSkipMedian = Percentile(withoutSkip.wall, 0.5);
  const double limMedian = Percentile(limit.wall, 0.5);
  const double handMedian = Percentile(handLimit.wall, 0.5);
  std::printf("frames: %d (data %s)\n", frames, dir.c_str());
  std::printf("system_frame_ms_median: %.2f\n", skipMedian);
  std::printf("system_frame_ms_p95: %.2f\n", Percentile(withSkip.wall, 0.95));
  std::printf("system_draws_per_frame: %.1f\n", Mean(withSkip.draws));
  std::printf("system_triangles_per_frame: %.1f\n", Mean(withSkip.triangles));
  std::printf("system_draws_skipped_per_frame: %.1f\n", Mean(withSkip.skipped));
  std::printf("system_cpu_ms_outside_gl_per_frame_median: %.2f\n", Percentile(withSkip.outside, 0.5));
  std::printf("system_without_skipping_frame_ms_median: %.2f\n", noSkipMedian);
  std::printf("system_without_skipping_frame_ms_p95: %.2f\n", Percentile(withoutSkip.wall, 0.95));
  std::printf("ratio_with_to_without_skipping: %.3f\n", noSkipMedian > 0 ? skipMedian / noSkipMedian : 0.0);
  std::printf("limit_frame_ms_median: %.2f\n", limMedian);
  std::printf("limit_frame_ms_p95: %.2f\n", Percentile(limit.wall, 0.95));
  std::printf("limit_draws_per_frame: %.1f\n", Mean(limit.draws));
  std::printf("limit_triangles_per_frame: %.1f (kept draws only, degenerate strip triangles dropped)\n",
              Mean(limit.triangles));
  std::printf("ratio_system_to_limit: %.3f\n", limMedian > 0 ? skipMedian / limMedian : 0.0);
  std::printf("handwritten_frame_ms_median: %.2f\n", handMedian);
  std::printf("handwritten_frame_ms_p95: %.2f\n", Percentile(handLimit.wall, 0.95));
  std::printf("ratio_system_to_handwritten: %.3f\n", handMedian > 0 ? skipMedian / handMedian : 0.0);
  std::printf("handwritten_picture_max_step_difference: %d\n", worstStep);
  std::printf("handwritten_picture_pixels_over_one_step: %zu of %zu\n", pixelsOverOneStep,
              pixelsCompared);
  g_pd3dDevice = real;
  // Both limits draw the same triangles from the same view, so every pixel
  // lies within one step (rounding can tip the dither); more means the two
  // programs shade differently.
  if (pixelsOverOneStep > 0) {
    std::fprintf(stderr, "bench_frame: the hand-written picture differs from the system's\n");
    return 3;
  }
  return 0;
}
// clang-format on
