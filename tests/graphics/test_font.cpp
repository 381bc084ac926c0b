// Text meshes and drawn text, checked against stb_truetype's own bake of the same font file.
#include <stb_truetype.h>

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
  Reference(float px, int atlas) : size(atlas), bitmap(std::size_t(atlas * atlas)) {
    auto ttf = fileBytes(kDejaVu);
    stbtt_BakeFontBitmap(ttf.data(), 0, px, bitmap.data(), atlas, atlas, 32, 95, chars.data());
  }
  const stbtt_bakedchar& operator[](char c) const { return chars[std::size_t(c - 32)]; }
  stbtt_aligned_quad quad(char c) const {
    float x = 0, y = 0;
    stbtt_aligned_quad q;
    stbtt_GetBakedQuad(chars.data(), size, size, c - 32, &x, &y, &q, 1);
    return q;
  }
  float width(const std::string& text) const {
    float w = 0;
    for (char c : text) w += (*this)[c].xadvance;
    return w;
  }
};

}  // namespace

TEST(Font, TextStartsAtStbsFirstQuadOrIsCentredOnTheOrigin) {
  Font font;
  ASSERT_TRUE(font.load(kDejaVu, 48, 512));
  const Reference ref(48, 512);
  Mesh left, centred;
  left.vertex(1, 2, 3);
  font.write(left, "", 0.2f);
  EXPECT_TRUE(left.vertices().empty());
  font.write(left, "ZENTHA", 0.2f);
  font.alignCenter();
  font.write(centred, "ZENTHA", 0.2f);
  ASSERT_EQ(left.vertices().size(), 36u);
  const float s = 0.2f / 48, half = ref.width("ZENTHA") * s / 2;
  const stbtt_aligned_quad z = ref.quad('Z');  // the drawn test checks the other glyphs
  EXPECT_EQ(left.vertices()[0], (Vec3f{z.x0 * s, -z.y0 * s, 0}));
  EXPECT_EQ(left.vertices()[5], (Vec3f{z.x1 * s, -z.y1 * s, 0}));
  EXPECT_EQ(left.texCoords()[5], (Vec2f{z.s1, z.t1}));
  for (std::size_t i = 0; i < 36; ++i) {
    EXPECT_NEAR(centred.vertices()[i][0], left.vertices()[i][0] - half, 1e-6);
    EXPECT_EQ(centred.vertices()[i][1], left.vertices()[i][1]);
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
  EXPECT_EQ(loadFont(path, 32, 256).bitmap, loadFont(kDejaVu, 32, 256).bitmap);
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
  EXPECT_TRUE(font.load(defaultFontPath(), 128, 1024));
  EXPECT_TRUE(font.tex().created());
}

namespace {

// Draws text at the font's own pixel size into an FBO with one world unit per pixel, so that
// each drawn pixel can be traced back to the atlas texel it shows.
class DrawnText : public ::testing::Test {
 protected:
  static constexpr int W = 224, H = 64, PX = 48, kLeft = 8, kBaseline = 14;

  void SetUp() override {
    ASSERT_TRUE(font.load(kDejaVu, PX, 512));
    color.create2D(W, H);
    fbo.attachTexture2D(color);
    g.init();
  }

  struct Result {
    int wrong = 0, ink = 0, gaps = 0, counter = 0;
  };
  // Draws the text, then compares it with stb's coverage of the glyphs of ascii laid along
  // the pen: pixels whose neighbourhood is solid ink must come out white, pixels with no ink
  // within a pixel black, and the edges between are left alone. Counts the background seen
  // between the letters and inside the counter of an "A" (no ink, ink above and below).
  Result drawAndCompare(const std::string& text, const std::string& ascii) {
    g.framebuffer(fbo);
    g.viewport(0, 0, W, H);
    g.projMatrix(glm::ortho(0.f, float(W), 0.f, float(H)));
    g.clear(0, 0, 0, 0);
    g.blendTrans();
    g.texture(font.tex());
    g.translate(kLeft, kBaseline);
    Mesh mesh;
    font.write(mesh, text, PX);
    g.draw(mesh);
    std::vector<unsigned char> rgba(std::size_t(W * H * 4));
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    FBO::unbind();

    std::vector<int> cover(std::size_t(W * H), 0), glyph(cover.size(), -1), texel(cover.size());
    float pen = kLeft;
    for (std::size_t k = 0; k < ascii.size(); pen += ref[ascii[k++]].xadvance) {
      const stbtt_bakedchar& b = ref[ascii[k]];
      const stbtt_aligned_quad q = ref.quad(ascii[k]);
      for (int py = 0; py < H; ++py)
        for (int px = 0; px < W; ++px) {
          const int u = int(std::floor(px + 0.5f - pen - q.x0)), v = kBaseline - 1 - py - int(q.y0);
          if (u < 0 || v < 0 || u >= b.x1 - b.x0 || v >= b.y1 - b.y0) continue;
          const auto i = std::size_t(py * W + px),
                     t = std::size_t((b.y0 + v) * ref.size + b.x0 + u);
          cover[i] = std::max(cover[i], int(ref.bitmap[t]));
          glyph[i] = int(k), texel[i] = int(t);
        }
    }
    Result r;
    for (int py = 1; py < H - 1; ++py)
      for (int px = 1; px < W - 1; ++px) {
        int lo = 255, hi = 0;
        for (int n = 0; n < 9; ++n) {
          const int c = cover[std::size_t((py + n / 3 - 1) * W + px + n % 3 - 1)];
          lo = std::min(lo, c), hi = std::max(hi, c);
        }
        const auto i = std::size_t(py * W + px);
        const unsigned char* p = &rgba[4 * i];
        if (lo >= 200) {
          ++r.ink;
          r.wrong += std::min({p[0], p[1], p[2]}) < 128;
        } else if (hi == 0) {
          r.wrong += std::max({p[0], p[1], p[2]}) > 5;
          r.gaps +=
              glyph[i] < 0 && px > kLeft && px < pen && py > kBaseline && py < kBaseline + PX / 2;
          if (glyph[i] >= 0 && ascii[std::size_t(glyph[i])] == 'A') {
            const stbtt_bakedchar& a = ref['A'];
            bool above = false, below = false;
            for (int row = a.y0, t0 = texel[i] % ref.size; row < a.y1; ++row)
              (row * ref.size + t0 < texel[i] ? above : below) |=
                  ref.bitmap[std::size_t(row * ref.size + t0)] > 128;
            r.counter += above && below;
          }
        }
      }
    return r;
  }

  Font font;
  Reference ref{PX, 512};
  Texture color;
  FBO fbo;
  Graphics g;
};

}  // namespace

TEST_F(DrawnText, WordCoversItsGlyphsAndLeavesCountersAndGapsEmpty) {
  const Result r = drawAndCompare("ZENTHA", "ZENTHA");
  EXPECT_EQ(r.wrong, 0);
  EXPECT_GT(r.ink, 500);
  EXPECT_GT(r.gaps, 20);
  EXPECT_GT(r.counter, 5);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawnText, CharactersOutsideTheTableDrawAsQuestionMarks) {
  // "É", a lone continuation byte, "€", an overlong "A" (three bytes) and a control character.
  const Result r = drawAndCompare("\xC3\x89Z\x80\xE2\x82\xAC\xE0\x81\x81\n", "?Z??????");
  EXPECT_EQ(r.wrong, 0);
  EXPECT_GT(r.ink, 150);
}
