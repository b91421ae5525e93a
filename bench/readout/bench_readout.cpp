// What the readout adds to a frame. Present of the system's 1024 x 768
// back buffer on the headless device, timed to completion (glFinish), with
// the readout off and on; and the readout's image alone (the text rendered
// with SDL2_ttf, no GL). The text changes every frame, as it does in flight,
// so it is rendered anew each time.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <string>

#include "platform/host/host.h"
#include "tools/headless/headless_device.h"
#include "tools/readout/readout.h"

namespace {

// A readout line as in flight: every figure moves from frame to frame.
std::string FlightText(int frame) {
  qv::readout::Figures f;
  f.frame = frame;
  f.fps = 19.0 + (frame % 10) * 0.1;
  f.frameMs = 50.0 + frame % 5;
  f.x = 4000.0f + frame * 55.0f;
  f.y = 900.0f - frame;
  f.z = 3000.0f - frame * 20.0f;
  f.lookX = 0.6f;
  f.lookZ = 0.8f - (frame % 100) * 0.01f;
  f.hours = (frame % 240) * 0.1f;
  f.draws = 4000 + frame % 400;
  f.triangles = 1000000 + frame * 37 % 300000;
  return qv::readout::FormatReadout(f);
}

void BM_Present(benchmark::State& state) {
  const bool readout = state.range(0) != 0;
  qv::headless::Device dev;
  std::string error;
  if (!qv::headless::Create(dev, "readout bench", nullptr, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  int frame = 0;
  qv::host::SetReadoutSource([&] { return FlightText(frame); });
  qv::host::SetReadoutOn(readout);
  for (auto _ : state) {
    ++frame;
    dev.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF8264FFu, 1.0f, 0);
    dev.device->Present(nullptr, nullptr, nullptr, nullptr);
    glFinish();
  }
  state.SetLabel(readout ? "readout on" : "readout off");
  qv::headless::Destroy(dev, "readout bench");
  qv::host::Reset();
}
BENCHMARK(BM_Present)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ReadoutImage(benchmark::State& state) {
  int frame = 0;
  qv::host::SetReadoutSource([&] { return FlightText(frame); });
  qv::host::SetReadoutOn(true);
  qv::host::OverlayImage image;
  for (auto _ : state) {
    ++frame;
    benchmark::DoNotOptimize(qv::host::FrameOverlay(image));
  }
  qv::host::Reset();
}
BENCHMARK(BM_ReadoutImage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
