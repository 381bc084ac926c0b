// A screenshot over an older one, on a disk that refuses: the old picture keeps its bytes.

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "gl_context.hpp"
#include "graphics/vl_Screenshot.hpp"
#include "unwritable_dir.hpp"

using unwritable::Trouble;

TEST(Screenshot, AFailedWriteLeavesTheOldPicture) {
  for (Trouble trouble : {Trouble::READ_ONLY, Trouble::FULL}) {
    SCOPED_TRACE(unwritable::name(trouble));
    unwritable::Dir dir(trouble);
    ASSERT_TRUE(dir.prepare()) << "needs root for mounts of its own";
    const std::string shot = dir.path() + "/shot.png";
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_EQ(vl::saveScreenshot(shot, 64, 64), vl::ScreenshotResult::OK);
    const auto before = dir.contents();
    ASSERT_EQ(before.at(shot).substr(0, 4), "\x89PNG");

    ASSERT_TRUE(dir.seal());
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(vl::saveScreenshot(shot, 64, 64), vl::ScreenshotResult::WRITE_FAILED);
    EXPECT_EQ(vl::saveScreenshot(dir.path() + "/other.png", 64, 64),
              vl::ScreenshotResult::WRITE_FAILED);
    EXPECT_EQ(dir.contents(), before);
  }
}
