#include "platform/dinput8/dinput8_keymap.h"

#include <SDL.h>

#include <array>

namespace qv::dinput8 {
namespace {

struct KeyPair {
  SDL_Scancode scancode;
  BYTE dik;
};

// One row per key the system keyboard reports. DIK_ codes are the PC set 1
// scan codes (extended keys have the high bit set).
// clang-format off
constexpr KeyPair s_keyPairs[] = {
    {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
    {SDL_SCANCODE_1, DIK_1}, {SDL_SCANCODE_2, DIK_2}, {SDL_SCANCODE_3, DIK_3},
    {SDL_SCANCODE_4, DIK_4}, {SDL_SCANCODE_5, DIK_5}, {SDL_SCANCODE_6, DIK_6},
    {SDL_SCANCODE_7, DIK_7}, {SDL_SCANCODE_8, DIK_8}, {SDL_SCANCODE_9, DIK_9},
    {SDL_SCANCODE_0, DIK_0},
    {SDL_SCANCODE_MINUS, DIK_MINUS}, {SDL_SCANCODE_EQUALS, DIK_EQUALS},
    {SDL_SCANCODE_BACKSPACE, DIK_BACK}, {SDL_SCANCODE_TAB, DIK_TAB},
    {SDL_SCANCODE_Q, DIK_Q}, {SDL_SCANCODE_W, DIK_W}, {SDL_SCANCODE_E, DIK_E},
    {SDL_SCANCODE_R, DIK_R}, {SDL_SCANCODE_T, DIK_T}, {SDL_SCANCODE_Y, DIK_Y},
    {SDL_SCANCODE_U, DIK_U}, {SDL_SCANCODE_I, DIK_I}, {SDL_SCANCODE_O, DIK_O},
    {SDL_SCANCODE_P, DIK_P},
    {SDL_SCANCODE_LEFTBRACKET, DIK_LBRACKET}, {SDL_SCANCODE_RIGHTBRACKET, DIK_RBRACKET},
    {SDL_SCANCODE_RETURN, DIK_RETURN}, {SDL_SCANCODE_LCTRL, DIK_LCONTROL},
    {SDL_SCANCODE_A, DIK_A}, {SDL_SCANCODE_S, DIK_S}, {SDL_SCANCODE_D, DIK_D},
    {SDL_SCANCODE_F, DIK_F}, {SDL_SCANCODE_G, DIK_G}, {SDL_SCANCODE_H, DIK_H},
    {SDL_SCANCODE_J, DIK_J}, {SDL_SCANCODE_K, DIK_K}, {SDL_SCANCODE_L, DIK_L},
    {SDL_SCANCODE_SEMICOLON, DIK_SEMICOLON}, {SDL_SCANCODE_APOSTROPHE, DIK_APOSTROPHE},
    {SDL_SCANCODE_GRAVE, DIK_GRAVE}, {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
    {SDL_SCANCODE_BACKSLASH, DIK_BACKSLASH},
    {SDL_SCANCODE_Z, DIK_Z}, {SDL_SCANCODE_X, DIK_X}, {SDL_SCANCODE_C, DIK_C},
    {SDL_SCANCODE_V, DIK_V}, {SDL_SCANCODE_B, DIK_B}, {SDL_SCANCODE_N, DIK_N},
    {SDL_SCANCODE_M, DIK_M},
    {SDL_SCANCODE_COMMA, DIK_COMMA}, {SDL_SCANCODE_PERIOD, DIK_PERIOD},
    {SDL_SCANCODE_SLASH, DIK_SLASH}, {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},
    {SDL_SCANCODE_KP_MULTIPLY, DIK_MULTIPLY}, {SDL_SCANCODE_LALT, DIK_LMENU},
    {SDL_SCANCODE_SPACE, DIK_SPACE}, {SDL_SCANCODE_CAPSLOCK, DIK_CAPITAL},
    {SDL_SCANCODE_F1, DIK_F1}, {SDL_SCANCODE_F2, DIK_F2}, {SDL_SCANCODE_F3, DIK_F3},
    {SDL_SCANCODE_F4, DIK_F4}, {SDL_SCANCODE_F5, DIK_F5}, {SDL_SCANCODE_F6, DIK_F6},
    {SDL_SCANCODE_F7, DIK_F7}, {SDL_SCANCODE_F8, DIK_F8}, {SDL_SCANCODE_F9, DIK_F9},
    {SDL_SCANCODE_F10, DIK_F10}, {SDL_SCANCODE_F11, DIK_F11}, {SDL_SCANCODE_F12, DIK_F12},
    {SDL_SCANCODE_F13, DIK_F13}, {SDL_SCANCODE_F14, DIK_F14}, {SDL_SCANCODE_F15, DIK_F15},
    {SDL_SCANCODE_NUMLOCKCLEAR, DIK_NUMLOCK}, {SDL_SCANCODE_SCROLLLOCK, DIK_SCROLL},
    {SDL_SCANCODE_KP_7, DIK_NUMPAD7}, {SDL_SCANCODE_KP_8, DIK_NUMPAD8},
    {SDL_SCANCODE_KP_9, DIK_NUMPAD9}, {SDL_SCANCODE_KP_MINUS, DIK_SUBTRACT},
    {SDL_SCANCODE_KP_4, DIK_NUMPAD4}, {SDL_SCANCODE_KP_5, DIK_NUMPAD5},
    {SDL_SCANCODE_KP_6, DIK_NUMPAD6}, {SDL_SCANCODE_KP_PLUS, DIK_ADD},
    {SDL_SCANCODE_KP_1, DIK_NUMPAD1}, {SDL_SCANCODE_KP_2, DIK_NUMPAD2},
    {SDL_SCANCODE_KP_3, DIK_NUMPAD3}, {SDL_SCANCODE_KP_0, DIK_NUMPAD0},
    {SDL_SCANCODE_KP_PERIOD, DIK_DECIMAL}, {SDL_SCANCODE_NONUSBACKSLASH, DIK_OEM_102},
    {SDL_SCANCODE_KP_EQUALS, DIK_NUMPADEQUALS}, {SDL_SCANCODE_KP_ENTER, DIK_NUMPADENTER},
    {SDL_SCANCODE_RCTRL, DIK_RCONTROL}, {SDL_SCANCODE_KP_DIVIDE, DIK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, DIK_SYSRQ}, {SDL_SCANCODE_RALT, DIK_RMENU},
    {SDL_SCANCODE_PAUSE, DIK_PAUSE}, {SDL_SCANCODE_HOME, DIK_HOME},
    {SDL_SCANCODE_UP, DIK_UP}, {SDL_SCANCODE_PAGEUP, DIK_PRIOR},
    {SDL_SCANCODE_LEFT, DIK_LEFT}, {SDL_SCANCODE_RIGHT, DIK_RIGHT},
    {SDL_SCANCODE_END, DIK_END}, {SDL_SCANCODE_DOWN, DIK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, DIK_NEXT}, {SDL_SCANCODE_INSERT, DIK_INSERT},
    {SDL_SCANCODE_DELETE, DIK_DELETE}, {SDL_SCANCODE_LGUI, DIK_LWIN},
    {SDL_SCANCODE_RGUI, DIK_RWIN}, {SDL_SCANCODE_APPLICATION, DIK_APPS},
};
// clang-format on

// A key listed twice, or two keys sharing a code, would make one of them
// silently unreachable; refuse to compile instead.
constexpr bool PairsAreUnique() {
  constexpr std::size_t n = sizeof(s_keyPairs) / sizeof(s_keyPairs[0]);
  for (std::size_t i = 0; i < n; ++i) {
    if (s_keyPairs[i].dik == 0 || s_keyPairs[i].scancode <= 0 || s_keyPairs[i].scancode >= SDL_NUM_SCANCODES)
      return false;
    for (std::size_t j = i + 1; j < n; ++j)
      if (s_keyPairs[i].scancode == s_keyPairs[j].scancode || s_keyPairs[i].dik == s_keyPairs[j].dik)
        return false;
  }
  return true;
}
static_assert(PairsAreUnique(), "every scancode and every DIK_ code appears once in the key table");

// Linux input key codes, which X servers report as their key codes plus 8:
// up to F12 (88) they are the PC set 1 scan codes themselves, so equal to the
// DIK_ code; the extended keys after them are numbered apart and listed here.
constexpr int kLinuxSameAsDik = 88;
struct LinuxPair {
  int code;
  BYTE dik;
};
constexpr LinuxPair s_linuxExtended[] = {
    {96, DIK_NUMPADENTER},   {97, DIK_RCONTROL}, {98, DIK_DIVIDE}, {99, DIK_SYSRQ},   {100, DIK_RMENU},
    {102, DIK_HOME},         {103, DIK_UP},      {104, DIK_PRIOR}, {105, DIK_LEFT},   {106, DIK_RIGHT},
    {107, DIK_END},          {108, DIK_DOWN},    {109, DIK_NEXT},  {110, DIK_INSERT}, {111, DIK_DELETE},
    {117, DIK_NUMPADEQUALS}, {119, DIK_PAUSE},   {125, DIK_LWIN},  {126, DIK_RWIN},   {127, DIK_APPS},
};

// Both ways of reading the keyboard must reach the same keys: every DIK_ code
// a Linux key code gives is one the scancode table gives too.
constexpr bool InKeyTable(BYTE dik) {
  for (const KeyPair& p : s_keyPairs)
    if (p.dik == dik) return true;
  return false;
}
constexpr bool LinuxCodesAreInKeyTable() {
  for (int code = 1; code <= kLinuxSameAsDik; ++code)
    if (code != 84 && code != 85 && !InKeyTable(static_cast<BYTE>(code))) return false;
  for (const LinuxPair& p : s_linuxExtended)
    if (!InKeyTable(p.dik)) return false;
  return true;
}
static_assert(LinuxCodesAreInKeyTable(), "every Linux key code maps to a key of the key table");

// The lookup table, filled once from the pairs above.
const std::array<BYTE, SDL_NUM_SCANCODES>& TranslateTable() {
  static const std::array<BYTE, SDL_NUM_SCANCODES> s_translateKey = [] {
    std::array<BYTE, SDL_NUM_SCANCODES> table{};
    for (const KeyPair& p : s_keyPairs) table[p.scancode] = p.dik;
    return table;
  }();
  return s_translateKey;
}

}  // namespace

BYTE DikFromScancode(int scancode) {
  if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return 0;
  return TranslateTable()[static_cast<std::size_t>(scancode)];
}

BYTE DikFromLinuxKey(int code) {
  if (code >= 1 && code <= kLinuxSameAsDik)
    return InKeyTable(static_cast<BYTE>(code)) ? static_cast<BYTE>(code) : 0;
  for (const LinuxPair& p : s_linuxExtended)
    if (p.code == code) return p.dik;
  return 0;
}

}  // namespace qv::dinput8
