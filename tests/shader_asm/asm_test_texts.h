// The terrain's two shader program texts, as the system keeps them, under the
// names the assembler tests use.
#pragma once

#include "lighting/terrain_shaders.h"

namespace asm_test {

inline const char* const kVertexText = g_TerrainVertexShaderText;
inline const char* const kPixelText = g_TerrainPixelShaderText;

}  // namespace asm_test
