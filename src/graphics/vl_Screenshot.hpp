#pragma once

#include <string>

namespace vl {

// Writes the colour buffer being drawn (the back buffer of the current context, before its
// swap: llvmpipe's front buffer reads back as zeros) as an RGB PNG of width × height pixels,
// top row first. False, with nothing written, when the pixels cannot be read or the file
// cannot be written.
bool saveScreenshot(const std::string& path, int width, int height);

// "<prefix>-YYYYMMDD-HHMMSS.png" for the local time now.
std::string screenshotName(const std::string& prefix);

}  // namespace vl
