#include "graphics/vl_FontPath.hpp"

#ifndef _WIN32
#include <fontconfig/fontconfig.h>
#endif

#include "core/vl_File.hpp"

namespace vl {

namespace {
constexpr const char* kFallbackFont = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

std::string fontFileFor(const std::string& family) {
  std::string file;
#ifndef _WIN32
  if (FcInit()) {
    // A plain family pattern, not FcNameParse: family names may hold ':' or '-'.
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
      FcChar8* path = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
        file = reinterpret_cast<const char*>(path);
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
#endif
  if (file.empty() || !File::exists(file)) return kFallbackFont;
  return file;
}

std::string defaultFontPath() {
#ifdef _WIN32
  return std::string("C:/Windows/Fonts") + "/" + "Arial.ttf";
#else
  return fontFileFor("Arial");
#endif
}

}  // namespace vl
