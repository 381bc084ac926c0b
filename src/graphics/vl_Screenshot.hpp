#pragma once

#include <string>

namespace vl {

// Writes the colour buffer being drawn (the back buffer of the current context, before its
// swap: llvmpipe's front buffer reads back as zeros) as an RGB PNG of width × height pixels,
// top row first. The file is replaced only once the whole picture is on disk, so a full or
// read-only disk leaves nothing, or the previous file, behind.
enum class ScreenshotResult { OK, READ_FAILED, WRITE_FAILED };
ScreenshotResult saveScreenshot(const std::string& path, int width, int height);

// "<prefix>-YYYYMMDD-HHMMSS.png" for the local time now.
std::string screenshotName(const std::string& prefix);

}  // namespace vl
