// Test seams of the Direct3D 8 layer: not part of Direct3D 8, and only
// tests call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8.h"

// Reads the frame last presented by a device of this layer as 8-bit RGB
// rows, top row first. False for any other device or when nothing was
// presented yet.
bool QvReadLastFrame(IDirect3DDevice8* device, std::vector<std::uint8_t>& rgb, int& width, int& height);

// The GL program (a GLuint) a device of this layer links for a vertex and
// pixel shader pair; 0 when the handles are not its shaders or the device is
// not one of this layer. The device's context must be current.
unsigned int QvD3D8ProgramFor(IDirect3DDevice8* device, DWORD vertexShader, DWORD pixelShader);

// Turns the layer's early rejection of draws wholly outside the clip volume on
// or off (for comparisons; the pixels are the same either way).
void QvD3D8SetDrawSkip(IDirect3DDevice8* device, bool on);

// Bytes of GL storage a device of this layer holds for vertex buffers (0 for
// any other device).
std::size_t QvD3D8VertexStorageBytes(IDirect3DDevice8* device);
