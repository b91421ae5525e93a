// The readout over the picture: the text the programs hand over, rendered
// with SDL2_ttf into an image the graphics layer draws over each presented
// frame, the message line, and the live viewer's F1 and F12 keys.
#include <SDL.h>
#include <SDL_ttf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host/host.h"

namespace qv::host {
namespace {

// Where Debian's fonts-dejavu-core puts the font, then where other systems
// and other Debian font packages put a monospaced one.
const char* const kFontPaths[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/TTF/DejaVuSansMono.ttf",
    "/usr/share/fonts/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/dejavu-sans-mono-fonts/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf",
    "/usr/share/fonts/truetype/freefont/FreeMono.ttf",
};
constexpr int kFontPoints = 14;
constexpr int kMargin = 8;   // from the picture's top-left corner to the box
constexpr int kPadding = 5;  // from the box's edge to the text
constexpr SDL_Color kTextColour = {235, 235, 235, 255};
constexpr SDL_Color kBoxColour = {24, 24, 24, 255};
constexpr std::uint32_t kMessageMs = 2000;

struct ReadoutState {
  ReadoutSource source;
  bool on = false;
  std::string text;  // what the source said last
  std::string message;
  std::uint32_t messageStart = 0;  // the frame clock when it was first shown
  bool messageShown = false;
  bool shotRequested = false;
  int keyListener = 0;
  // The font, opened on first use; after a failure nothing is tried again.
  TTF_Font* font = nullptr;
  bool fontFailed = false;
  bool ttfStarted = false;
  bool renderFailed = false;
  // The image of the lines last rendered, kept while they do not change.
  std::vector<std::string> lines;
  std::vector<std::uint8_t> rgba;
  int width = 0, height = 0;
};

ReadoutState& R() {
  static ReadoutState state;
  return state;
}

bool OpenFont(ReadoutState& r) {
  if (r.font) return true;
  if (r.fontFailed) return false;
  r.fontFailed = true;
  if (TTF_Init() != 0) {
    std::fprintf(stderr, "quorvel: no readout: the font library did not start: %s\n", TTF_GetError());
    return false;
  }
  r.ttfStarted = true;
  for (const char* path : kFontPaths) {
    if (::access(path, R_OK) != 0) continue;
    r.font = TTF_OpenFont(path, kFontPoints);
    if (r.font) break;
    std::fprintf(stderr, "quorvel: cannot open the font %s: %s\n", path, TTF_GetError());
  }
  if (!r.font) {
    std::fprintf(stderr,
                 "quorvel: no readout: no usable monospaced font (looked for %s and %zu others; Debian "
                 "package fonts-dejavu-core)\n",
                 kFontPaths[0], std::size(kFontPaths) - 1);
    return false;
  }
  r.fontFailed = false;
  return true;
}

// Renders the lines, light on the dark box, into r.rgba; false when the font
// is missing or SDL cannot render.
bool RenderLines(ReadoutState& r, const std::vector<std::string>& lines) {
  r.lines.clear();
  if (!OpenFont(r)) return false;
  const int lineSkip = TTF_FontLineSkip(r.font);
  int textWidth = 0;
  std::vector<SDL_Surface*> rendered;
  for (const std::string& line : lines) {
    // Shaded: anti-aliased against the box colour, one palette index a pixel.
    SDL_Surface* s = TTF_RenderUTF8_Shaded(r.font, line.c_str(), kTextColour, kBoxColour);
    rendered.push_back(s);
    if (s) textWidth = std::max(textWidth, s->w);
  }
  const int width = textWidth + 2 * kPadding;
  const int height = lineSkip * static_cast<int>(lines.size()) + 2 * kPadding;
  SDL_Surface* box = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
  bool ok = box != nullptr;
  if (ok) {
    SDL_FillRect(box, nullptr, SDL_MapRGBA(box->format, kBoxColour.r, kBoxColour.g, kBoxColour.b, 255));
    for (std::size_t i = 0; i < rendered.size(); ++i) {
      if (!rendered[i]) continue;
      SDL_SetSurfaceBlendMode(rendered[i], SDL_BLENDMODE_NONE);
      SDL_Rect at = {kPadding, kPadding + lineSkip * static_cast<int>(i), 0, 0};
      ok = ok && SDL_BlitSurface(rendered[i], nullptr, box, &at) == 0;
    }
  }
  if (ok) {
    r.rgba.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u);
    SDL_LockSurface(box);
    for (int y = 0; y < height; ++y) {
      const auto* row =
          static_cast<const std::uint8_t*>(box->pixels) + static_cast<std::size_t>(y) * box->pitch;
      std::uint8_t* out = r.rgba.data() + static_cast<std::size_t>(y) * width * 4u;
      std::memcpy(out, row, static_cast<std::size_t>(width) * 4u);
      for (int x = 0; x < width; ++x) out[x * 4 + 3] = 255;  // an opaque box
    }
    SDL_UnlockSurface(box);
    r.width = width;
    r.height = height;
    r.lines = lines;
  } else if (!r.renderFailed) {
    r.renderFailed = true;  // said once, tried again each frame
    std::fprintf(stderr, "quorvel: the readout could not be rendered: %s\n", SDL_GetError());
  }
  for (SDL_Surface* s : rendered) SDL_FreeSurface(s);
  SDL_FreeSurface(box);
  return ok;
}

std::string ShotPath(int frame) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char name[96];
  std::snprintf(name, sizeof name, "Shot_%06d_%04d%02d%02d-%02d%02d%02d.png", frame, local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  char dir[4096];
  if (!::getcwd(dir, sizeof dir)) return name;
  return std::string(dir) + "/" + name;
}

void OnKey(const SDL_Event& e) {
  if (e.type != SDL_KEYDOWN || e.key.repeat) return;
  if (e.key.keysym.scancode == SDL_SCANCODE_F1) SetReadoutOn(!ReadoutOn());
  if (e.key.keysym.scancode == SDL_SCANCODE_F12) RequestShot();
}

}  // namespace

void SetReadoutSource(ReadoutSource source) { R().source = std::move(source); }
void SetReadoutOn(bool on) { R().on = on; }
bool ReadoutOn() { return R().on; }
std::string LastReadoutText() { return R().text; }

void ShowReadoutMessage(const std::string& text) {
  R().message = text;
  R().messageShown = false;
}

void RequestShot() { R().shotRequested = true; }

void EnableReadoutKeys() {
  if (R().keyListener) RemoveEventListener(R().keyListener);
  R().keyListener = AddEventListener(OnKey);
}

bool FrameOverlay(OverlayImage& image) {
  ReadoutState& r = R();
  if (r.source) r.text = r.source();
  std::vector<std::string> lines;
  if (r.on && !r.text.empty()) lines.push_back(r.text);
  if (!r.message.empty()) {
    // The time counts from the first frame that shows the message, so that
    // even a frame slower than that shows it.
    const std::uint32_t now = Milliseconds();
    if (!r.messageShown) r.messageStart = now;
    r.messageShown = true;
    if (now - r.messageStart < kMessageMs)
      lines.push_back(r.message);
    else
      r.message.clear();
  }
  if (lines.empty()) return false;
  if (lines != r.lines && !RenderLines(r, lines)) return false;
  image.rgba = r.rgba.data();
  image.width = r.width;
  image.height = r.height;
  image.x = kMargin;
  image.y = kMargin;
  return true;
}

void SaveRequestedShot(const FrameReader& reader) {
  ReadoutState& r = R();
  if (!r.shotRequested) return;
  r.shotRequested = false;
  const std::string path = ShotPath(FrameIndex());
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  std::string reason;
  if (!reader || !reader(rgb, width, height)) {
    reason = "the picture could not be read back";
  } else {
    WritePngRGB(path, rgb.data(), width, height, &reason);
  }
  if (reason.empty()) {
    ShowReadoutMessage("saved " + path);
  } else {
    std::fprintf(stderr, "quorvel: could not save %s: %s\n", path.c_str(), reason.c_str());
    ShowReadoutMessage("could not save " + path + ": " + reason);
  }
}

void ResetReadout() {
  ReadoutState& r = R();
  if (r.keyListener) RemoveEventListener(r.keyListener);
  if (r.font) TTF_CloseFont(r.font);
  if (r.ttfStarted) TTF_Quit();
  r = ReadoutState{};
}

}  // namespace qv::host
