// Text meshes and drawn text, checked against stb_truetype's own bake of the same font file.
#include <stb_truetype.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "gl_context.hpp"
#include "graphics/vl_Font.hpp"
#include "graphics/vl_FontPath.hpp"

using namespace vl;

namespace {

const std::string kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<unsigned char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// stb's bake of the whole file, and its quad of a character with the pen at the origin.
struct Reference {
  int size;
  std::vector<unsigned char> bitmap;
  std::vector<stbtt_bakedchar> chars = std::vector<stbtt_bakedchar>(95);
  Reference(const std::string& path, float px, int atlas)
      : size(atlas), bitmap(std::size_t(atlas * atlas)) {
    auto ttf = fileBytes(path);
    stbtt_BakeFontBitmap(ttf.data(), 0, px, bitmap.data(), atlas, atlas, 32, 95, chars.data());
  }
  stbtt_aligned_quad quad(char c) const {
    float x = 0, y = 0;
    stbtt_aligned_quad q;
    stbtt_GetBakedQuad(chars.data(), size, size, c - 32, &x, &y, &q, 1);
    return q;
  }
};

}  // namespace

TEST(Font, WritesStbsQuadsAlongThePenAndCentresOnTheOrigin) {
  Font font;
  ASSERT_TRUE(font.load(kDejaVu, 48, 512));
  const Reference ref(kDejaVu, 48, 512);
  Mesh mesh;
  mesh.vertex(1, 2, 3);
  font.write(mesh, "", 0.2f);
  EXPECT_TRUE(mesh.vertices().empty());

  const std::string text = "ZENTHA";
  const float s = 0.2f / 48;
  float width = 0;
  for (char c : text) width += ref.chars[std::size_t(c - 32)].xadvance * s;
  for (float align : {0.f, -0.5f}) {
    font.alignment(align);
    font.write(mesh, text, 0.2f);
    ASSERT_EQ(mesh.vertices().size(), 6 * text.size());
    ASSERT_EQ(mesh.texCoords().size(), 6 * text.size());
    float pen = align * width;  // -0.5: the text spans -width/2 to width/2
    for (std::size_t k = 0; k < text.size(); ++k) {
      const stbtt_aligned_quad q = ref.quad(text[k]);
      const float xs[6] = {q.x0, q.x1, q.x0, q.x0, q.x1, q.x1};
      const float ys[6] = {q.y0, q.y0, q.y1, q.y1, q.y0, q.y1};
      const float ss[6] = {q.s0, q.s1, q.s0, q.s0, q.s1, q.s1};
      const float ts[6] = {q.t0, q.t0, q.t1, q.t1, q.t0, q.t1};
      for (std::size_t v = 0; v < 6; ++v) {
        const Vec3f& p = mesh.vertices()[6 * k + v];
        const Vec2f& t = mesh.texCoords()[6 * k + v];
        EXPECT_NEAR(p[0], xs[v] * s + pen, 1e-6) << text[k] << " vertex " << v;
        EXPECT_NEAR(p[1], -ys[v] * s, 1e-6) << text[k] << " vertex " << v;
        EXPECT_EQ(p[2], 0.f);
        EXPECT_FLOAT_EQ(t[0], ss[v]);
        EXPECT_FLOAT_EQ(t[1], ts[v]);
      }
      pen += ref.chars[std::size_t(text[k] - 32)].xadvance * s;
    }
  }
}

TEST(Font, MissingFileIsReportedAndLeavesNoTexture) {
  Font font;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(font.load("/nonexistent/Arial.ttf", 128, 1024));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[vl_stb::loadFont] could not open font file: /nonexistent/Arial.ttf\n");
  EXPECT_FALSE(font.tex().created());
  EXPECT_EQ(font.size(), -1.f);
  Mesh mesh;
  font.write(mesh, "ZENTHA", 1.f);
  EXPECT_TRUE(mesh.vertices().empty());
}

TEST(Font, LongFileIsReadInItsFirstMebibyte) {
  auto bytes = fileBytes(kDejaVu);
  ASSERT_LT(bytes.size(), kFontFileBytes);
  for (std::size_t i = bytes.size(); i < kFontFileBytes * 3 / 2; ++i) bytes.push_back(i * 7 % 251);
  const std::string path = testing::TempDir() + "/long_font.ttf";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  std::vector<unsigned char> read;
  EXPECT_EQ(readFontFile(path, read), long(kFontFileBytes));
  ASSERT_EQ(read.size(), kFontFileBytes);
  EXPECT_TRUE(std::equal(read.begin(), read.end(), bytes.begin()));

  const FontData padded = loadFont(path, 32, 256), plain = loadFont(kDejaVu, 32, 256);
  ASSERT_EQ(padded.glyphs.size(), 95u);
  EXPECT_EQ(padded.bitmap, plain.bitmap);
  std::remove(path.c_str());
}

TEST(Font, DefaultFontIsTheFileFontconfigMatchesForArial) {
  std::FILE* p = popen("fc-match -f '%{file}' Arial", "r");
  ASSERT_NE(p, nullptr);
  char buf[512] = {};
  const std::string matched(buf, std::fread(buf, 1, sizeof buf - 1, p));
  pclose(p);
  ASSERT_FALSE(matched.empty());
  EXPECT_EQ(defaultFontPath(), matched);
  Font font;  // at the application's own sizes
  ASSERT_TRUE(font.load(defaultFontPath(), 128, 1024));
  EXPECT_TRUE(font.tex().created());
  EXPECT_EQ(font.data()->width, 1024);
}

namespace {

// Draws text at the font's own pixel size into an FBO with one world unit per pixel, so each
// drawn pixel can be traced back to the atlas texel it shows.
class DrawnText : public ::testing::Test {
 protected:
  static constexpr int W = 224, H = 64, PX = 48;
  static constexpr float kLeft = 8, kBaseline = 14;

  void SetUp() override {
    ASSERT_TRUE(font.load(kDejaVu, PX, 512));
    color.create2D(W, H);
    fbo.attachTexture2D(color);
    ASSERT_EQ(fbo.status(), unsigned(GL_FRAMEBUFFER_COMPLETE));
    g.init();
  }
  void TearDown() override {
    FBO::unbind();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }

  std::vector<unsigned char> draw(const std::string& text) {
    g.framebuffer(fbo);
    g.viewport(0, 0, W, H);
    g.resetMatrixStack();
    g.projMatrix(glm::ortho(0.f, float(W), 0.f, float(H)));
    g.clear(0, 0, 0, 0);
    g.blendTrans();
    g.texture(font.tex());
    g.translate(kLeft, kBaseline);
    Mesh mesh;
    font.write(mesh, text, PX);
    g.draw(mesh);
    g.blending(false);
    std::vector<unsigned char> rgba(std::size_t(W * H * 4));
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
  }

  // stb's coverage at a point of the text (pen units, y up from the baseline), the largest
  // over the glyphs of ascii whose rectangles hold it.
  int coverage(const std::string& ascii, float x, float y, int* glyph = nullptr) const {
    int best = 0;
    float pen = 0;
    for (std::size_t k = 0; k < ascii.size(); ++k) {
      const stbtt_bakedchar& b = ref.chars[std::size_t(ascii[k] - 32)];
      const stbtt_aligned_quad q = ref.quad(ascii[k]);
      const float u = x - pen - q.x0, v = -y - q.y0;
      if (u >= 0 && v >= 0 && u < q.x1 - q.x0 && v < q.y1 - q.y0) {
        const int c = ref.bitmap[std::size_t((b.y0 + int(v)) * ref.size + b.x0 + int(u))];
        if (c >= best) best = c;
        if (glyph) *glyph = int(k);
      }
      pen += b.xadvance;
    }
    return best;
  }

  struct Result {
    int wrong = 0, ink = 0, empty = 0, gaps = 0;
  };
  // Pixels whose neighbourhood is solid ink must be drawn white, pixels with no ink
  // within a pixel must stay black; the edges in between are left alone.
  Result compare(const std::vector<unsigned char>& rgba, const std::string& ascii) const {
    Result r;
    for (int py = 0; py < H; ++py)
      for (int px = 0; px < W; ++px) {
        const float x = px + 0.5f - kLeft, y = py + 0.5f - kBaseline;
        int lo = 255, hi = 0, glyph = -1;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const int c = coverage(ascii, x + dx, y + dy, dx == 0 && dy == 0 ? &glyph : nullptr);
            lo = std::min(lo, c);
            hi = std::max(hi, c);
          }
        const unsigned char* p = &rgba[std::size_t((py * W + px) * 4)];
        const int dim = std::min({p[0], p[1], p[2]}), bright = std::max({p[0], p[1], p[2]});
        if (lo >= 200) {
          ++r.ink;
          r.wrong += dim < 128;
        } else if (hi == 0) {
          ++r.empty;
          r.wrong += bright > 5;
          r.gaps += glyph < 0 && x > 0 && x < textWidth(ascii) && y > 0 && y < PX / 2;
        }
      }
    return r;
  }
  float textWidth(const std::string& ascii) const {
    float w = 0;
    for (char c : ascii) w += ref.chars[std::size_t(c - 32)].xadvance;
    return w;
  }

  Font font;
  Reference ref{kDejaVu, PX, 512};
  Texture color;
  FBO fbo;
  Graphics g;
};

}  // namespace

TEST_F(DrawnText, WordCoversItsGlyphsAndLeavesCountersAndGapsEmpty) {
  const auto rgba = draw("ZENTHA");
  const Result r = compare(rgba, "ZENTHA");
  EXPECT_EQ(r.wrong, 0);
  EXPECT_GT(r.ink, 500);
  EXPECT_GT(r.gaps, 20);  // background between the letters was looked at

  // The counter of "A": atlas texels of its rectangle that no path of empty texels joins to
  // the rectangle's border. Each must come out black where it was drawn.
  const stbtt_bakedchar& a = ref.chars['A' - 32];
  const int w = a.x1 - a.x0, h = a.y1 - a.y0;
  std::vector<char> outside(std::size_t(w * h), 0);
  std::vector<int> stack;
  auto texel = [&](int u, int v) {
    return ref.bitmap[std::size_t((a.y0 + v) * ref.size + a.x0 + u)];
  };
  for (int u = 0; u < w; ++u)
    for (int v = 0; v < h; ++v)
      if ((u == 0 || v == 0 || u == w - 1 || v == h - 1) && texel(u, v) == 0)
        stack.push_back(v * w + u);
  while (!stack.empty()) {
    const int i = stack.back();
    stack.pop_back();
    if (outside[std::size_t(i)]) continue;
    outside[std::size_t(i)] = 1;
    const int u = i % w, v = i / w;
    for (auto [du, dv] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}})
      if (u + du >= 0 && u + du < w && v + dv >= 0 && v + dv < h && texel(u + du, v + dv) == 0)
        stack.push_back((v + dv) * w + u + du);
  }
  const stbtt_aligned_quad q = ref.quad('A');
  const float pen = textWidth("ZENTH");
  int counter = 0;
  for (int v = 1; v < h - 1; ++v)
    for (int u = 1; u < w - 1; ++u) {
      bool inside = true;  // the texel and its neighbours are all counter
      for (int dv = -1; dv <= 1; ++dv)
        for (int du = -1; du <= 1; ++du)
          inside &= !outside[std::size_t((v + dv) * w + u + du)] && texel(u + du, v + dv) == 0;
      if (!inside) continue;
      const int px = int(std::floor(kLeft + pen + q.x0 + u + 0.5f));
      const int py = int(std::floor(kBaseline - q.y0 - v - 0.5f));
      ++counter;
      EXPECT_LE(rgba[std::size_t((py * W + px) * 4)], 5) << "counter texel " << u << ", " << v;
    }
  EXPECT_GT(counter, 3);
}

TEST_F(DrawnText, CharactersOutsideTheTableDrawAsQuestionMarks) {
  // "É", a lone continuation byte, "€", an overlong "A" and a control character.
  const auto rgba = draw("\xC3\x89Z\x80\xE2\x82\xAC\xE0\x81\x81\n");
  const Result r = compare(rgba, "?Z??????");
  EXPECT_EQ(r.wrong, 0);
  EXPECT_GT(r.ink, 150);
}
