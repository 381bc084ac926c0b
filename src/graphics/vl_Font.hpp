#pragma once

// Bitmap text: a TrueType file is rasterised once into a single-channel glyph atlas, the atlas
// becomes a texture, and each text becomes a mesh of textured quads, one per character.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "graphics/vl_Mesh.hpp"
#include "graphics/vl_Texture.hpp"

namespace vl {

// One baked character, in atlas pixels: its rectangle in the atlas, its offset from the pen
// (y down) and its advance. The layout of stb_truetype's baked-character record.
struct BakedGlyph {
  std::uint16_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  float xoff = 0.f, yoff = 0.f, advance = 0.f;
};

// The characters 32 (space) to 126 of a font, baked into an atlas. Empty (size and
// dimensions -1, no glyphs) when nothing could be loaded.
struct FontData {
  static constexpr int FIRST_CHAR = 32;
  static constexpr int NUM_CHARS = 95;

  float fontSize = -1.f;
  int width = -1, height = -1;
  std::vector<unsigned char> bitmap;  // width × height coverage values, top row first
  std::vector<BakedGlyph> glyphs;     // NUM_CHARS entries once loaded
};

// Where a character's quad lies when the pen is at the origin (atlas pixels, y down) and
// which part of the atlas it shows.
struct GlyphQuad {
  float x0 = 0.f, y0 = 0.f, x1 = 0.f, y1 = 0.f;
  float s0 = 0.f, t0 = 0.f, s1 = 0.f, t1 = 0.f;
  float advance = 0.f;
};

// The font reader's limit: bigger files are read in their first 1 MiB only.
constexpr std::size_t kFontFileBytes = 1048576;

// Fills buffer with kFontFileBytes zeros and reads at most that many bytes of the file into
// it. Returns the number of bytes read, or -1 when the file cannot be opened.
long readFontFile(const std::string& path, std::vector<unsigned char>& buffer);

// Bakes characters 32 to 126 of the file's first font at a pixel height into a square atlas
// of bitmapSize pixels. Failures are printed and give empty data.
FontData loadFont(const std::string& path, float fontSize, int bitmapSize);

// A font ready to draw: the atlas texture samples as white with the coverage as alpha, so a
// text takes the colour of the tint it is drawn with. Write a text into a mesh, then draw the
// mesh in texture colouring with tex() bound. Main thread, with the context current.
class Font {
 public:
  Font();

  // Loads a font and uploads its atlas. False (and no texture) when nothing was loaded.
  bool load(const std::string& path, float fontSize, int bitmapSize);
  bool loaded() const { return mData && !mData->glyphs.empty(); }

  // Replaces the mesh with two triangles per character, height world units per font size,
  // pen starting at the origin and moving along +x. Text is UTF-8; characters the atlas
  // lacks are drawn as "?".
  void write(Mesh& mesh, const std::string& text, float height);

  // Shift of the text, in text widths: 0 starts it at the origin, -0.5 centres it there.
  void alignment(float factor) { mAlign = factor; }
  float alignment() const { return mAlign; }
  void alignLeft() { mAlign = 0.f; }
  void alignCenter() { mAlign = -0.5f; }

  Texture& tex() { return mTex; }
  // Null only when the data could not be allocated.
  const FontData* data() const { return mData.get(); }
  float size() const { return mData ? mData->fontSize : -1.f; }

 private:
  const GlyphQuad& quad(int index);

  Texture mTex;
  std::unique_ptr<FontData> mData;
  std::array<GlyphQuad, FontData::NUM_CHARS> mQuads{};
  std::array<bool, FontData::NUM_CHARS> mCached{};
  float mAlign = 0.f;
};

}  // namespace vl
