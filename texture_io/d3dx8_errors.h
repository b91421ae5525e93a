// Result codes of the Direct3D extension library that more than one of its
// parts returns (the texture loader and the shader assembler).
#pragma once

#include "platform/win32/win32_types.h"

// The data handed in could not be understood (no image reader accepted the
// file, or a shader text had errors).
constexpr HRESULT D3DXERR_INVALIDDATA = static_cast<HRESULT>(0x88760B59u);
