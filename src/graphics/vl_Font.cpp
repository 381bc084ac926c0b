#include "graphics/vl_Font.hpp"

#include <epoxy/gl.h>
#include <stb_truetype.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "core/vl_Console.hpp"

namespace vl {

static_assert(sizeof(BakedGlyph) == sizeof(stbtt_bakedchar), "BakedGlyph mirrors stb's record");

namespace {

constexpr char32_t kInvalid = 0xFFFD;

// The next code point of UTF-8 text at i, moving i past it. A malformed or overlong sequence
// consumes its first byte only and counts as one invalid code point, so that broken text from
// presets or the network still moves on and draws.
char32_t nextCodePoint(const std::string& text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  if (lead < 0x80) return lead;
  int more = lead >= 0xF5 ? -1 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (more < 0 || i + static_cast<std::size_t>(more) > text.size()) return kInvalid;
  char32_t c = lead & (0x3Fu >> more);
  for (int k = 0; k < more; ++k) {
    const auto b = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) return kInvalid;
    c = (c << 6) | (b & 0x3Fu);
  }
  constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[more]) return kInvalid;
  i += static_cast<std::size_t>(more);
  return c;
}

}  // namespace

long readFontFile(const std::string& path, std::vector<unsigned char>& buffer) {
  buffer.assign(kFontFileBytes, 0);
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), f);
  std::fclose(f);
  return static_cast<long>(n);
}

FontData loadFont(const std::string& path, float fontSize, int bitmapSize) {
  FontData data;
  std::vector<unsigned char> file;
  const long n = readFontFile(path, file);
  if (n < 0) {
    printError("[vl_stb::loadFont] could not open font file: %s\n", path.c_str());
    return data;
  }
  if (n == 0) {
    printError("[vl_stb::loadFont] no bytes read from font file: %s\n", path.c_str());
    return data;
  }
  // stb_truetype trusts the tables it is given; refuse what it cannot even start on.
  const int offset = stbtt_GetFontOffsetForIndex(file.data(), 0);
  stbtt_fontinfo info;
  if (offset < 0 || !stbtt_InitFont(&info, file.data(), offset)) {
    printError("[vl_stb::loadFont] not a font file: %s\n", path.c_str());
    return data;
  }
  std::vector<stbtt_bakedchar> baked(FontData::NUM_CHARS);
  data.bitmap.assign(static_cast<std::size_t>(bitmapSize) * static_cast<std::size_t>(bitmapSize),
                     0);
  stbtt_BakeFontBitmap(file.data(), offset, fontSize, data.bitmap.data(), bitmapSize, bitmapSize,
                       FontData::FIRST_CHAR, FontData::NUM_CHARS, baked.data());
  data.glyphs.resize(FontData::NUM_CHARS);
  for (int i = 0; i < FontData::NUM_CHARS; ++i) {
    const stbtt_bakedchar& b = baked[static_cast<std::size_t>(i)];
    data.glyphs[static_cast<std::size_t>(i)] = {b.x0, b.y0, b.x1, b.y1, b.xoff, b.yoff, b.xadvance};
  }
  data.fontSize = fontSize;
  data.width = data.height = bitmapSize;
  return data;
}

Font::Font() : mData(new (std::nothrow) FontData) {
  if (!mData) printError("Error allocating font implementation\n");
}

bool Font::load(const std::string& path, float fontSize, int bitmapSize) {
  if (!mData) return false;
  *mData = loadFont(path, fontSize, bitmapSize);
  mCached.fill(false);
  if (mData->glyphs.empty()) {
    mTex.destroy();  // a texture of an earlier font would not match the data any more
    return false;
  }
  mTex.create2D(mData->width, mData->height, GL_R8, GL_RED, GL_UNSIGNED_BYTE);
  mTex.filter(GL_LINEAR);
  mTex.submit(mData->bitmap.data());
  // Sampled as white with the coverage as alpha.
  const GLint swizzle[4] = {GL_ONE, GL_ONE, GL_ONE, GL_RED};
  glBindTexture(GL_TEXTURE_2D, mTex.id());
  glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
  glBindTexture(GL_TEXTURE_2D, 0);
  return true;
}

const GlyphQuad& Font::quad(int index) {
  const auto i = static_cast<std::size_t>(index);
  if (!mCached[i]) {
    const BakedGlyph& b = mData->glyphs[i];
    const auto w = static_cast<float>(mData->width), h = static_cast<float>(mData->height);
    GlyphQuad& q = mQuads[i];
    q.x0 = std::floor(b.xoff + 0.5f);
    q.y0 = std::floor(b.yoff + 0.5f);
    q.x1 = q.x0 + static_cast<float>(b.x1 - b.x0);
    q.y1 = q.y0 + static_cast<float>(b.y1 - b.y0);
    q.s0 = b.x0 / w;
    q.t0 = b.y0 / h;
    q.s1 = b.x1 / w;
    q.t1 = b.y1 / h;
    q.advance = b.advance;
    mCached[i] = true;
  }
  return mQuads[i];
}

void Font::write(Mesh& mesh, const std::string& text, float height) {
  mesh.reset();
  mesh.primitive(Mesh::TRIANGLES);
  if (!loaded()) return;
  const float s = height / mData->fontSize;
  float pen = 0.f;
  for (std::size_t i = 0; i < text.size();) {
    const char32_t c = nextCodePoint(text, i);
    const bool inTable = c >= FontData::FIRST_CHAR &&
                         c < static_cast<char32_t>(FontData::FIRST_CHAR + FontData::NUM_CHARS);
    const GlyphQuad& q =
        quad(inTable ? static_cast<int>(c) - FontData::FIRST_CHAR : '?' - FontData::FIRST_CHAR);
    const float x0 = q.x0 * s + pen, x1 = q.x1 * s + pen;
    const float y0 = -q.y0 * s, y1 = -q.y1 * s;  // the atlas's y points down, the world's up
    mesh.vertex(x0, y0).vertex(x1, y0).vertex(x0, y1);
    mesh.vertex(x0, y1).vertex(x1, y0).vertex(x1, y1);
    mesh.texCoord(q.s0, q.t0).texCoord(q.s1, q.t0).texCoord(q.s0, q.t1);
    mesh.texCoord(q.s0, q.t1).texCoord(q.s1, q.t0).texCoord(q.s1, q.t1);
    pen += q.advance * s;
  }
  for (auto& v : mesh.vertices()) v[0] += pen * mAlign;
}

}  // namespace vl
