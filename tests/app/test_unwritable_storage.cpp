// What the program stores, on a disk that refuses: a read-only mount and a full filesystem. Each
// failed write says so in one line, and every file that was there keeps its bytes, with no
// temporary left beside it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>

#include "app/vl_PersistentConfig.hpp"
#include "app/vl_TomlLoader.hpp"
#include "ui/vl_Parameter.hpp"
#include "ui/vl_PresetHandler.hpp"
#include "ui/vl_SequenceRecorder.hpp"
#include "unwritable_dir.hpp"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using unwritable::Trouble;

namespace {

int lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class UnwritableStorage : public testing::TestWithParam<Trouble> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.prepare()) << "needs root for mounts of its own";
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    handler = std::make_unique<vl::PresetHandler>(dir.path() + "/presets");
    *handler << level;
    recorder << *handler;
  }
  void TearDown() override { std::filesystem::current_path(previous); }

  // Output and error text of one action.
  template <typename F>
  std::string said(F&& action) {
    CaptureStdout();
    CaptureStderr();
    action();
    const std::string out = GetCapturedStdout();
    return out + GetCapturedStderr();
  }

  bool full() const { return GetParam() == Trouble::FULL; }

  unwritable::Dir dir{GetParam()};
  std::filesystem::path previous;
  vl::Parameter level{"level", "", 0.25f, "", 0.0f, 1.0f};
  std::unique_ptr<vl::PresetHandler> handler;
  vl::SequenceRecorder recorder;
};

TEST_P(UnwritableStorage, EveryFailedWriteSaysSoOnceAndKeepsTheFiles) {
  // What a working installation has stored before its disk turned.
  handler->storePreset(0, "ground");
  recorder.startRecord("take", true);
  handler->recallPresetSynchronous("ground");
  recorder.stopRecord();
  vl::TomlLoader host("host.toml");
  host.set("audioOutputLevel", 0.5);
  ASSERT_TRUE(host.writeFile());
  const std::string presets = handler->getCurrentPath();
  const auto before = dir.contents();
  ASSERT_EQ(before.count(presets + "ground.preset"), 1u);
  ASSERT_EQ(before.count(presets + "take.sequence"), 1u);
  ASSERT_EQ(before.count(dir.path() + "/host.toml"), 1u);

  ASSERT_TRUE(dir.seal());
  level.set(0.75f);

  // A preset stored again, and a new one: one line each, and no new map entry for either.
  std::string text = said([&] { handler->storePreset(0, "ground"); });
  EXPECT_EQ(text, (full() ? "Error while writing preset file: "
                          : "Error while opening preset file fro write: ") +
                      presets + "ground.preset\n");
  text = said([&] { handler->storePreset(1, "height"); });
  EXPECT_EQ(lines(text), 1) << text;
  EXPECT_NE(text.find(presets + "height.preset"), std::string::npos) << text;

  // A recording over the last one.
  text = said([&] {
    recorder.startRecord("take", true);
    handler->recallPresetSynchronous("ground");
    recorder.stopRecord();
  });
  EXPECT_EQ(text, (full() ? "Error while writing sequence file: "
                          : "Error while opening sequence file: ") +
                      presets + "take.sequence\n");
  EXPECT_EQ(recorder.lastRecordedPath(), presets + "take.sequence");

  // Configuration written back, and one created on a first start.
  host.set("audioOutputLevel", 0.9);
  bool written = true;
  text = said([&] { written = host.writeFile(); });
  EXPECT_FALSE(written);
  EXPECT_EQ(text, "ERROR: Opening toml file 'host.toml' for writing.\n");
  std::int64_t channel = 47;
  text = said([&] {
    vl::PersistentConfig fresh("fresh");
    fresh.registerInt("subWooferChannel", &channel);
    fresh.read();
  });
  EXPECT_EQ(text,
            "TomlLoader creating config file: fresh.toml\n"
            "ERROR: Unable to create config file: fresh.toml. Using the defaults.\n");
  EXPECT_EQ(channel, 47);

  // Byte for byte as before, and nothing added: no half-written file, no temporary.
  EXPECT_EQ(dir.contents(), before);
}

INSTANTIATE_TEST_SUITE_P(Disks, UnwritableStorage,
                         testing::Values(Trouble::READ_ONLY, Trouble::FULL),
                         [](const auto& info) { return unwritable::name(info.param); });

}  // namespace
