// What the PNG and JPEG screenshot writers share: opening the file, and
// telling why a write failed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace qv::host {

// Encodes 8-bit RGB rows (top row first) into an open file; false when the
// encoder gave up.
using RgbEncoder = bool (*)(std::FILE* f, const std::uint8_t* rgb, int width, int height);

// Creates (or truncates) path and encodes the picture into it; on failure
// false, with the C library's reason in *error when it is not null (the
// encoders' own texts for a failed write, such as libpng's "Write Error",
// say less than errno).
bool WriteRgbFile(const std::string& path, const std::uint8_t* rgb, int width, int height, std::string* error,
                  RgbEncoder encode);

}  // namespace qv::host
