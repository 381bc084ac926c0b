// Preset files and maps: exact text formats, store naming rules, recall, hand-written input,
// unsafe names and replacement of stored files.

#include <gtest/gtest.h>

#include <filesystem>

#include "ui/preset_test_support.hpp"
#include "ui/vl_PresetHandler.hpp"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using vl::test::readFile;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

struct Params {
  vl::Parameter level{"level", "", 0.5f, "", 0.0f, 1.0f};
  vl::ParameterInt count{"count", "", -3, "", -10, 10};
  vl::ParameterString label{"label", "", "hello"};
  vl::ParameterBool on{"on", "", 1.0f};
  vl::ParameterPose pose{"pose", "g"};

  void registerWith(vl::PresetHandler& h) { h << level << count << label << on << pose; }
};

std::string quietStore(vl::PresetHandler& h, int index, const std::string& name,
                       bool overwrite = true) {
  CaptureStdout();
  h.storePreset(index, name, overwrite);
  return GetCapturedStdout();
}

}  // namespace

TEST(PresetFiles, StoredPresetAndMapAreByteExactAndReadBack) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  GetCapturedStdout();
  Params p;
  p.registerWith(h);
  p.pose.set(vl::Pose({1.0, -2.0, 0.25}));
  quietStore(h, 0, "first");

  EXPECT_EQ(readFile(dir / "first.preset"),
            "::first\n"
            "/count i -3 \n"
            "/g/pose fffffff 1.000000 -2.000000 0.250000 1.000000 0.000000 0.000000 0.000000 \n"
            "/label s hello \n"
            "/level f 0.500000 \n"
            "/on i 1 \n"
            "::\n");
  EXPECT_EQ(readFile(dir / "default.presetMap"), "0:first\n::\n");
  // No temporary files are left beside the stored ones.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            2);

  p.level.set(0.125f);
  p.count.set(7);
  p.label.set("other");
  p.on.set(0.0f);
  p.pose.set(vl::Pose());
  h.recallPresetSynchronous("first");
  EXPECT_FLOAT_EQ(p.level.get(), 0.5f);
  EXPECT_EQ(p.count.get(), -3);
  EXPECT_EQ(p.label.get(), "hello");
  EXPECT_EQ(p.on.get(), 1.0f);
  EXPECT_EQ(p.pose.get().position[1], -2.0);

  // Reading back the map by index gives the name and morphs to the values.
  p.count.set(0);
  EXPECT_EQ(h.recallPreset(0), "first");
  h.morphStep(0.02);
  EXPECT_EQ(p.count.get(), -3);
}

TEST(PresetFiles, StoreNamingRules) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  GetCapturedStdout();
  Params p;
  p.registerWith(h);

  // Colons become underscores in the file and in the map.
  quietStore(h, 0, "a:b");
  EXPECT_TRUE(std::filesystem::exists(dir / "a_b.preset"));
  EXPECT_EQ(readFile(dir / "a_b.preset").substr(0, 6), "::a_b\n");

  // Without overwrite an existing name takes the first free counter.
  quietStore(h, 1, "x", false);
  quietStore(h, 2, "x", false);
  quietStore(h, 3, "x", false);
  EXPECT_TRUE(std::filesystem::exists(dir / "x.preset"));
  EXPECT_TRUE(std::filesystem::exists(dir / "x_0.preset"));
  EXPECT_TRUE(std::filesystem::exists(dir / "x_1.preset"));
  EXPECT_EQ(readFile(dir / "x_1.preset").substr(0, 6), "::x_1\n");
  EXPECT_EQ(readFile(dir / "default.presetMap"), "0:a_b\n1:x\n2:x_0\n3:x_1\n::\n");

  // An empty name takes the map's name for the index, else "default".
  p.level.set(0.75f);
  quietStore(h, 1, "");
  EXPECT_NE(readFile(dir / "x.preset").find("/level f 0.750000 \n"), std::string::npos);
  quietStore(h, 9, "");
  EXPECT_TRUE(std::filesystem::exists(dir / "default.preset"));

  // storePreset(name) reuses the index of a known name and appends a new one.
  CaptureStdout();
  h.storePreset("x_0");
  h.storePreset("new");
  GetCapturedStdout();
  EXPECT_EQ(h.getPresetIndex("x_0"), 2);
  EXPECT_EQ(h.getPresetIndex("new"), 10);
}

TEST(PresetFiles, FirstStoreByNameStartsTheMapAtZero) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  vl::Parameter level{"level"};
  h << level;
  h.storePreset("only");
  GetCapturedStdout();
  EXPECT_EQ(readFile(dir / "default.presetMap"), "0:only\n::\n");
}

TEST(PresetFiles, HandWrittenFilesAndTheirMessages) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path(), true);
  GetCapturedStdout();
  Params p;
  p.registerWith(h);

  // Text before the first "::" is skipped and only the first block is read; Windows line ends
  // are accepted.
  writeFile(dir / "hand.preset",
            "notes\r\n::hand\r\n/level f 0.25 0.5 0.75\r\n/count i 4 \r\n::\r\n::second\n"
            "/label s never \n::\n");
  CaptureStdout();
  CaptureStderr();
  auto values = h.loadPresetValues("hand");
  const std::string err = GetCapturedStderr();
  const std::string out = GetCapturedStdout();
  EXPECT_NE(err.find("ERROR: Inconsistent type tags. Ingnoring extra values"), std::string::npos);
  EXPECT_NE(out.find("Found preset : ::hand"), std::string::npos);
  EXPECT_NE(out.find("End preset."), std::string::npos);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values["/level"].size(), 1u);
  EXPECT_FLOAT_EQ(values["/level"][0].get<float>(), 0.25f);
  EXPECT_EQ(values["/count"][0].type(), vl::ParameterField::INT32);
  EXPECT_EQ(values.count("/label"), 0u);

  // A line with two float tags and three values keeps two fields.
  writeFile(dir / "two.preset", "::two\n/g/v ff 1 2 3 \n::\n");
  CaptureStderr();
  EXPECT_EQ(h.loadPresetValues("two")["/g/v"].size(), 2u);
  EXPECT_NE(GetCapturedStderr().find("Inconsistent type tags"), std::string::npos);

  // A value that does not convert raises to a direct reader but never out of a recall.
  writeFile(dir / "bad.preset", "::bad\n/level f abc \n::\n");
  EXPECT_THROW(h.loadPresetValues("bad"), std::invalid_argument);
  writeFile(dir / "huge.preset", "::huge\n/count i 99999999999 \n::\n");
  EXPECT_THROW(h.loadPresetValues("huge"), std::out_of_range);
  p.level.set(0.1f);
  CaptureStderr();
  CaptureStdout();
  h.recallPresetSynchronous("bad");
  h.recallPreset("huge");
  h.morphStep(0.02);
  GetCapturedStdout();
  const std::string badErr = GetCapturedStderr();
  EXPECT_NE(badErr.find("ERROR: Bad value in preset file " + (dir / "bad.preset")),
            std::string::npos);
  EXPECT_NE(badErr.find("huge.preset"), std::string::npos);
  EXPECT_FLOAT_EQ(p.level.get(), 0.1f);
  EXPECT_EQ(p.count.get(), -3);

  // A missing file is reported and recalls nothing.
  CaptureStdout();
  EXPECT_TRUE(h.loadPresetValues("missing").empty());
  EXPECT_EQ(GetCapturedStdout(),
            "Error while opening preset file: " + (dir / "missing.preset") + "\n");

  // An integer written for a float parameter still applies; the unmatched ones are named.
  writeFile(dir / "int.preset", "::int\n/level i 1 \n::\n");
  CaptureStderr();
  h.recallPresetSynchronous("int");
  EXPECT_NE(GetCapturedStderr().find("Warning: parameter /countnot matched..\\..\\vantlib\\src\\ui"
                                     "\\vl_PresetHandler  vl::PresetHandler::"
                                     "recallPresetSynchronous\n"),
            std::string::npos);
  EXPECT_FLOAT_EQ(p.level.get(), 1.0f);
}

TEST(PresetMaps, ReadSelectCreateAndRecallByIndex) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  const std::string constructionOut = GetCapturedStdout();
  // Selecting the absent default map at construction only reports it.
  EXPECT_NE(constructionOut.find("Error while opening preset map file for reading: " +
                                 (dir / "default.presetMap")),
            std::string::npos);
  vl::Parameter level{"level"};
  h << level;

  writeFile(dir / "b.preset", "::b\n/level f 2 \n::\n");
  writeFile(dir / "a.preset", "::a\n/level f 1 \n::\n");
  writeFile(dir / "notes.txt", "not a preset");
  std::vector<std::string> maps;
  h.registerPresetMapCallback([&](std::string name) { maps.push_back(name); });
  CaptureStdout();
  h.selectPresetMap("listed", true);
  EXPECT_EQ(GetCapturedStdout(), "No preset map. Creating default.\n");
  EXPECT_EQ(readFile(dir / "listed.presetMap"), "0:a\n1:b\n::\n");
  EXPECT_EQ(maps, std::vector<std::string>{"listed"});

  // A hand-written map: names end at the next colon, bad lines are reported and skipped.
  writeFile(dir / "hand.txt", "5:b:extra\nbad:a\n\n2:a\n::\n7:b\n");
  CaptureStderr();
  h.selectPresetMap("hand.txt", false);
  EXPECT_NE(GetCapturedStderr().find("ERROR: Bad preset map line"), std::string::npos);
  EXPECT_EQ(h.availablePresets(), (std::map<int, std::string>{{2, "a"}, {5, "b"}}));
  EXPECT_EQ(h.getCurrentPresetMap(), "hand.txt");

  CaptureStdout();
  EXPECT_EQ(h.recallPreset(5), "b");
  h.morphStep(0.02);
  EXPECT_FLOAT_EQ(level.get(), 2.0f);
  EXPECT_EQ(h.recallPreset(7), "");
  h.morphStep(0.02);
  EXPECT_EQ(GetCapturedStdout(), "No preset index 7\n");
  EXPECT_FLOAT_EQ(level.get(), 2.0f);

  // Selecting a map that does not exist, without creating it, empties the map.
  CaptureStdout();
  h.selectPresetMap("absent", false);
  EXPECT_NE(GetCapturedStdout().find("Error while opening preset map file for reading"),
            std::string::npos);
  EXPECT_TRUE(h.availablePresets().empty());
  EXPECT_EQ(h.availablePresetNames(), (std::vector<std::string>{"a", "b"}));
}

TEST(PresetFiles, NamesFromOutsideStayInsideTheDirectory) {
  ScratchDir dir;
  const std::string root = dir / "root";
  CaptureStdout();
  vl::PresetHandler h(root);
  GetCapturedStdout();
  vl::Parameter level{"level", "", 0.5f};
  h << level;
  writeFile(dir / "outside.preset", "::outside\n/level f 0.9 \n::\n");

  for (const std::string name : {"../outside", "a/b", "a\\b", "..", "c:x", ""}) {
    CaptureStderr();
    CaptureStdout();
    h.recallPreset(name);
    h.recallPresetSynchronous(name);
    h.morphStep(0.02);
    GetCapturedStdout();
    EXPECT_NE(GetCapturedStderr().find("ERROR: Refusing preset name"), std::string::npos) << name;
  }
  EXPECT_FLOAT_EQ(level.get(), 0.5f);

  CaptureStderr();
  CaptureStdout();
  h.storePreset(0, "../escaped");
  h.storePreset("sub/escaped");
  h.selectPresetMap("../map", true);
  EXPECT_FALSE(h.setSubDirectory("../up"));
  EXPECT_FALSE(h.setSubDirectory("/abs"));
  GetCapturedStdout();
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: Refusing preset name \"../escaped\""), std::string::npos);
  EXPECT_NE(err.find("ERROR: Refusing preset map name \"../map\""), std::string::npos);
  EXPECT_NE(err.find("ERROR: Refusing preset sub-directory \"../up\""), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "escaped.preset"));
  EXPECT_FALSE(std::filesystem::exists(dir / "map.presetMap"));
  EXPECT_FALSE(std::filesystem::exists(root + "/sub"));
  EXPECT_FALSE(std::filesystem::exists(root + "/default.presetMap"));
}

TEST(PresetFiles, SubDirectoriesHoldTheirOwnPresetsAndMaps) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  vl::Parameter level{"level", "", 0.5f};
  h << level;
  h.storePreset(0, "top");
  ASSERT_TRUE(h.setSubDirectory("fx/deep"));
  EXPECT_EQ(h.getCurrentPath(), dir.path() + "/fx/deep/");
  EXPECT_TRUE(h.availablePresets().empty());
  level.set(0.25f);
  h.storePreset(0, "inner");
  GetCapturedStdout();
  EXPECT_EQ(readFile(dir / "fx/deep/inner.preset"), "::inner\n/level f 0.250000 \n::\n");
  EXPECT_EQ(readFile(dir / "fx/deep/default.presetMap"), "0:inner\n::\n");

  CaptureStdout();
  ASSERT_TRUE(h.setSubDirectory(""));
  GetCapturedStdout();
  EXPECT_EQ(h.getPresetName(0), "top");
  h.recallPresetSynchronous("top");
  EXPECT_FLOAT_EQ(level.get(), 0.5f);
}

TEST(PresetFiles, RecallFromASubDirectoryOfTheProgramsChoice) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  GetCapturedStdout();
  vl::Parameter level{"level", "", 0.5f};
  h << level;
  std::filesystem::create_directories(dir / "defaults");
  writeFile(dir / "defaults/calm.preset", "::calm\n/level f 0.125 \n::\n");
  std::vector<int> indices;
  h.registerPresetCallback([&](int index, vl::PresetHandler*, void*) { indices.push_back(index); });
  h.recallPresetFrom("defaults", "calm", 0.0f);
  h.morphStep(0.02);
  EXPECT_FLOAT_EQ(level.get(), 0.125f);
  EXPECT_EQ(indices, std::vector<int>{-1});

  // The name still may not leave the directory, nor may the sub-directory.
  CaptureStderr();
  CaptureStdout();
  h.recallPresetFrom("defaults", "../../x");
  h.recallPresetFrom("../defaults", "calm");
  h.recallPreset("defaults/calm");
  GetCapturedStdout();
  const std::string err = GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: Refusing preset name \"../../x\""), std::string::npos);
  EXPECT_NE(err.find("ERROR: Refusing preset sub-directory \"../defaults\""), std::string::npos);
  EXPECT_NE(err.find("ERROR: Refusing preset name \"defaults/calm\""), std::string::npos);
  EXPECT_EQ(indices.size(), 1u);
}

TEST(PresetFiles, StoringReplacesWholeFilesAndKeepsThemWhenWritingFails) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  vl::ParameterString label{"label", "", "a-rather-long-text-value"};
  h << label;
  h.storePreset(0, "p");
  label.set("short");
  h.storePreset(0, "p");
  GetCapturedStdout();
  EXPECT_EQ(readFile(dir / "p.preset"), "::p\n/label s short \n::\n");

  // A directory in the way of the preset file: the write fails, is reported, and neither the
  // map nor the files change.
  std::filesystem::create_directories(dir / "blocked.preset/inside");
  const std::string mapBefore = readFile(dir / "default.presetMap");
  CaptureStdout();
  h.storePreset(1, "blocked");
  EXPECT_EQ(GetCapturedStdout(),
            "Error while writing preset file: " + (dir / "blocked.preset") + "\n");
  EXPECT_EQ(readFile(dir / "default.presetMap"), mapBefore);
  EXPECT_EQ(h.getPresetName(1), "");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
  }

  // A vanished directory cannot be opened for writing.
  const std::string gone = dir / "gone";
  CaptureStdout();
  vl::PresetHandler g(gone);
  g << label;
  std::filesystem::remove_all(gone);
  GetCapturedStdout();
  CaptureStdout();
  g.storePreset(0, "p");
  EXPECT_EQ(GetCapturedStdout(),
            "Error while opening preset file fro write: " + gone + "/p.preset\n");
}

TEST(PresetFiles, BundlesAreStoredUnderTheirAddress) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  GetCapturedStdout();
  vl::ParameterBundle bundle("presetTestVoice");
  bundle.setBundleId("v1");
  vl::Parameter gain{"gain", "", 0.25f};
  bundle << gain;
  h << bundle;
  CaptureStdout();
  h.storePreset(0, "b");
  GetCapturedStdout();
  EXPECT_EQ(readFile(dir / "b.preset"), "::b\n/presetTestVoice/v1/gain f 0.250000 \n::\n");
  gain.set(0.0f);
  h.recallPresetSynchronous("b");
  EXPECT_FLOAT_EQ(gain.get(), 0.25f);
  gain.set(0.0f);
  h.recallPreset("b", 0.0f);
  h.morphStep(0.02);
  EXPECT_FLOAT_EQ(gain.get(), 0.25f);
}

TEST(PresetCallbacks, RecallStoreAndSwitch) {
  ScratchDir dir;
  CaptureStdout();
  vl::PresetHandler h(dir.path());
  GetCapturedStdout();
  vl::Parameter level{"level"};
  h << level;
  int user = 42;
  std::vector<std::string> log;
  h.registerPresetCallback(
      [&](int index, vl::PresetHandler* sender, void* data) {
        EXPECT_EQ(sender, &h);
        log.push_back("recall " + std::to_string(index) + " " +
                      std::to_string(*static_cast<int*>(data)));
      },
      &user);
  h.registerRecallNameCallback([&](const std::string& name, float morph) {
    log.push_back("name " + name + " " + std::to_string(morph));
  });
  h.registerStoreCallback(
      [&](int index, std::string name, void* data) {
        log.push_back("store " + std::to_string(index) + " " + name +
                      (data == &user ? " user" : ""));
      },
      &user);
  CaptureStdout();
  h.storePreset(3, "s");
  writeFile(dir / "unmapped.preset", "::unmapped\n/level f 1 \n::\n");
  h.recallPreset("s", 0.5f);
  h.recallPreset("unmapped");
  h.setUseCallbacks(false);
  h.recallPreset("s");
  h.storePreset(4, "t");
  GetCapturedStdout();
  EXPECT_EQ(log, (std::vector<std::string>{"store 3 s user", "recall 3 42", "name s 0.500000",
                                           "recall -1 42", "name unmapped 0.500000"}));
  EXPECT_FLOAT_EQ(h.getMorphTime(), 0.5f);
}
