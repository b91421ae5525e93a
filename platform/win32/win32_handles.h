// Conversions between Win32 handles and the objects behind them, in one place.
#pragma once

#include "platform/win32/win32_types.h"

namespace qv::win32 {

struct Window;  // the one window record, defined in win32_window.cpp

inline HWND toHwnd(Window* w) { return reinterpret_cast<HWND>(w); }
inline Window* fromHwnd(HWND h) { return reinterpret_cast<Window*>(h); }

template <typename T>
inline HMODULE toHmodule(T* module) {
  return reinterpret_cast<HMODULE>(module);
}
template <typename T>
inline T* fromHmodule(HMODULE h) {
  return reinterpret_cast<T*>(h);
}

}  // namespace qv::win32
