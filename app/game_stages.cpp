#include "app/app.h"
#include "app/app_globals.h"
#include "app/frame_timer.h"
#include "device/d3d_wrapper.h"
#include "input/di_wrapper.h"
#include "lighting/sky_map.h"
#include "lighting/terrain_shaders.h"
#include "log/log_file.h"
#include "terrain/terrain.h"
#include "view/camera.h"
#include "view/paint.h"

namespace {

constexpr const char* kInitTag = "Game Initialize()";
constexpr const char* kCleanupTag = "Game Cleanup";

}  // namespace

bool GameInitialize() {
  g_pInput = new DIWrapper(&g_hWnd, &g_hInstance);
  g_pTerrain = new Terrain();
  g_pTerrain->InitD3D(g_hWnd);

  g_Camera.Init();
  g_Camera.SetPosition(0.0f, 0.0f, -200.0f);
  g_Camera.SetLook(0.0f, 0.0f, 200.0f);

  SeedRandom();

  StartupParameters params;
  const bool readOk = ReadStartupParameters("Readme.txt", &params);

  g_pTerrain->LoadHM("HeightMap20.raw", 1024, 1024);
  g_pTerrain->LoadTextures(params.textures[0], params.textures[1], params.textures[2], params.textures[3]);

  if (!readOk) {
    g_pLog->Report(LOG_ERROR, "Could not read ReadMe file", kInitTag);
    return false;
  }

  // Without a heightmap or a device there is nothing to build the patches
  // from or into; both failures were logged where they happened.
  if (g_pHeightMap && g_pd3dDevice)
    g_pTerrain->InitPatches(params.patchSize, params.levels, params.vertexLimit);
  InitVS();
  InitPS();
  LoadSkyMap("Diffuse.raw", "Ambient.raw");
  SetPaintBrush(0.2f, 10);
  return true;
}

bool Loop() {
  if (!PreFrame()) {
    g_pLog->Report(LOG_FATAL, "Error in Pre Frame processing", "Loop");
    return false;
  }
  if (!InFrame()) {
    g_pLog->Report(LOG_FATAL, "Error in In Frame processing", "Loop");
    return false;
  }
  if (!PostFrame()) {
    g_pLog->Report(LOG_FATAL, "Error in Post Frame processing", "Loop");
    return false;
  }
  return true;
}

bool PreFrame() {
  // After a failed start-up, frames may run before the quit message is
  // taken: every step skips the objects that were never made.
  if (g_pInput) {
    g_pInput->Update();
    if (g_pInput->KeyReleased(DIK_P) && g_pTerrain) {
      float x, y, z;
      g_Camera.GetPosition(&x, &y, &z);
      PaintTerrain(static_cast<int>(x), static_cast<int>(z));
    }
  }
  if (g_pTerrain) {
    g_pTerrain->MouseLook();
    g_pTerrain->MoveCamera(g_pInput);
  }
  g_Camera.Update();
  if (g_pd3dDevice) {
    g_pd3dDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF8264FF, 1.0f, 0);
    g_pd3dDevice->BeginScene();
  }
  return true;
}

bool InFrame() {
  FrameTimerTick();
  if (g_pTerrain && g_pd3dDevice) g_pTerrain->Render();
  return true;
}

bool PostFrame() {
  if (g_pd3dDevice) {
    g_pd3dDevice->EndScene();
    g_pd3dDevice->Present(nullptr, nullptr, nullptr, nullptr);
  }
  if (g_pInput && g_pInput->IsKeyDown(DIK_ESCAPE)) PostQuitMessage(0);
  return true;
}

bool GameCleanup() {
  ReleaseVS();
  ReleasePS();
  ReportAverageFPS();
  delete g_pTerrain;
  g_pTerrain = nullptr;
  g_pLog->Report(LOG_INFO, "Cleaning...", kCleanupTag);
  delete g_pInput;
  g_pInput = nullptr;
  g_pLog->Report(LOG_INFO, "Cleaning Done", kCleanupTag);
  return true;
}
