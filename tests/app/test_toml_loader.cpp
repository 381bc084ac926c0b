// Configuration files: defaults written on the first start only, the user's values and foreign
// keys kept, and wrong, missing or damaged input reported without touching the file.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <tuple>

#include "app/vl_PersistentConfig.hpp"
#include "app/vl_TomlLoader.hpp"
#include "ui/preset_test_support.hpp"

using testing::StrEq;
using testing::ThrowsMessage;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using vl::test::readFile;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

// The application's three settings after a read from the given defaults, and what it threw.
using Settings = std::tuple<double, double, std::int64_t, std::string>;
Settings readSettings(const std::string& name, double level = 1.0, double subLevel = 0.1,
                      std::int64_t subChannel = 47) {
  vl::PersistentConfig config(name);
  config.registerDouble("audioOutputLevel", &level);
  config.registerDouble("subWooferLevel", &subLevel);
  config.registerInt("subWooferChannel", &subChannel);
  std::string error;
  try {
    config.read();
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  return {level, subLevel, subChannel, error};
}

}  // namespace

TEST(PersistentConfig, FirstStartWritesTheDefaultsAndLaterStartsReadTheFile) {
  ScratchDir dir;
  const std::string file = dir / "host.toml";
  CaptureStdout();
  EXPECT_EQ(readSettings(dir / "host"), Settings(1.0, 0.1, 47, ""));
  EXPECT_EQ(GetCapturedStdout(), "TomlLoader creating config file: " + file + "\n");
  // Other defaults show the values come from the file; 0.1 exactly, not rounded to "%f".
  EXPECT_EQ(readSettings(dir / "host", 9, 9, 9), Settings(1.0, 0.1, 47, ""));

  const std::string edited =
      "# tuned\naudioOutputLevel = 0.25\nsubWooferLevel = 2\nsubWooferChannel = 3\nother = 1\n";
  writeFile(file, edited);
  EXPECT_EQ(readSettings(dir / "host"), Settings(0.25, 2.0, 3, ""));
  EXPECT_EQ(readFile(file), edited);
}

TEST(PersistentConfig, MissingWrongOrDamagedValuesThrowAndLeaveTheFileAlone) {
  ScratchDir dir;
  // Keys before the failing one keep what they read, the others their defaults.
  const std::pair<std::string, Settings> cases[] = {
      {"audioOutputLevel = 0.5\nsubWooferChannel = 3\n",
       {0.5, 0.1, 47, "vl::TomlLoader::get, key 'subWooferLevel' not found"}},
      {"audioOutputLevel = 0.5\nsubWooferLevel = 0.2\nsubWooferChannel = 3.0\n",
       {0.5, 0.2, 47, "vl::TomlLoader::get, key 'subWooferChannel' not found"}},
      {"audioOutputLevel = \"loud\"\nsubWooferLevel = 0.2\nsubWooferChannel = 3\n",
       {1.0, 0.1, 47, "vl::TomlLoader::get, key 'audioOutputLevel' not found"}},
      {"audioOutputLevel = 0.5\naudioOutputLevel = 0.6\n",
       {1.0, 0.1, 47, "Key audioOutputLevel already present at line 2"}},
  };
  for (const auto& [text, expected] : cases) {
    writeFile(dir / "host.toml", text);
    EXPECT_EQ(readSettings(dir / "host"), expected);
    EXPECT_EQ(readFile(dir / "host.toml"), text);
  }
}

TEST(TomlLoader, UnsetOrUnreachableFilesThrowWithTheirMessages) {
  ScratchDir dir;
  vl::TomlLoader loader;
  const auto notSet =
      ThrowsMessage<std::runtime_error>(StrEq("vl::TomlLoader::get, toml file not set"));
  EXPECT_THAT([&] { loader.get<double>("a"); }, notSet);
  EXPECT_THAT([&] { loader.set("a", 1.0); }, notSet);
  EXPECT_THAT([&] { loader.writeFile(dir / "a.toml"); }, notSet);

  const std::string path = dir / "none/a.toml";
  CaptureStdout();
  EXPECT_THAT([&] { loader.setFile(path); },
              ThrowsMessage<cpptoml::parse_exception>(path + " could not be opened for parsing"));
  EXPECT_EQ(GetCapturedStdout(), "TomlLoader creating config file: " + path +
                                     "\nERROR: Unable to create config file: " + path + "\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(TomlLoader, WritingKeepsEveryKeyAndNeitherAFailedParseNorWriteLosesAnything) {
  ScratchDir dir;
  const std::string file = dir / "distributed_app.toml";
  writeFile(file,
            "broadcastAddress = \"10.1.2.255\"\nlevel = 1.5\n"
            "[[node]]\nhost = \"a\"\n[[node]]\nhost = \"b\"\nrank = 2\n");
  vl::TomlLoader loader(file);
  loader.set("level", 0.1);
  loader.writeFile();
  const std::string text = readFile(file);
  vl::TomlLoader reread(file);
  EXPECT_EQ(reread.get<std::string>("broadcastAddress"), "10.1.2.255");
  EXPECT_EQ(reread.get<double>("level"), 0.1);
  const auto nodes = reread.root()->get_table_array("node");
  EXPECT_TRUE(nodes && nodes->get().size() == 2u) << text;

  writeFile(dir / "broken.toml", "level = \n");
  EXPECT_THROW(reread.setFile(dir / "broken.toml"), cpptoml::parse_exception);
  EXPECT_EQ(reread.fileName(), file);
  EXPECT_EQ(reread.get<double>("level"), 0.1);

  // A write cut short, here by a file-size limit as by a full disk, keeps the old file whole.
  loader.set("long", std::string(4096, 'x'));
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 1024;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  CaptureStdout();
  loader.writeFile();
  const std::string printed = GetCapturedStdout();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(printed, "ERROR: Opening toml file '" + file + "' for writing.\n");
  EXPECT_EQ(readFile(file), text);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);

  // A key that cpptoml would write in a form read back as another key ("\u13fe") is not
  // written at all.
  vl::TomlLoader odd(file);
  odd.set(std::string("\x01") + "3fe", 1.0);
  CaptureStdout();
  EXPECT_FALSE(odd.writeFile());
  EXPECT_EQ(GetCapturedStdout(), "ERROR: Not writing toml file '" + file +
                                     "': a key or text would read back otherwise.\n");
  EXPECT_EQ(readFile(file), text);
}
