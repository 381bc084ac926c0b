#pragma once

#include <string>

namespace vl {

// The file of the font that this machine's font configuration offers for a family: the
// best match fontconfig finds, or DejaVu Sans when it finds no file at all.
std::string fontFileFor(const std::string& family);

// Arial, the font the title texts were set in. On Linux fontconfig stands in for the Windows
// font folder and usually offers Liberation Sans, which has Arial's metrics.
std::string defaultFontPath();

}  // namespace vl
