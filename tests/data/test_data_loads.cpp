// Every preset, preset map, preset sequence and synth sequence of the piece's data, loaded
// through the classes and the paths the program loads them with, in a copy of data/. Each
// file must load whole, every value must land in a parameter of the program (within its range:
// a value outside is clamped and reads back different), every name a file refers to must exist,
// and not one error or warning line may be printed on the way.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "AppParameters.hpp"
#include "HydrogenVoice.hpp"
#include "data_support.hpp"
#include "ui/vl_PresetFile.hpp"
#include "ui/vl_PresetHandler.hpp"
#include "ui/vl_PresetMap.hpp"
#include "ui/vl_PresetSequencer.hpp"
#include "ui/vl_SynthSequence.hpp"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

const char* const kCoda = "ZENTHA-coda11minutesT60.synthSequence";

// Names of the files with the extension in a directory (not below it), without it.
std::vector<std::string> namesIn(const fs::path& dir, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file() && entry.path().extension() == extension) {
      names.push_back(entry.path().stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool sameValue(const vl::ParameterField& a, const vl::ParameterField& b) {
  if (a.type() == vl::ParameterField::STRING || b.type() == vl::ParameterField::STRING) {
    return a.get<std::string>() == b.get<std::string>();
  }
  const float x = a.get<float>(), y = b.get<float>();
  return std::fabs(x - y) <= 1e-5f * std::max(1.0f, std::fabs(x));
}

// What is wrong with the data, gathered while the console is captured (a failed expectation
// would print into the capture) and reported once it is released.
struct Problems {
  std::vector<std::string> found;
  void check(bool ok, const std::string& what) {
    if (!ok) found.push_back(what);
  }
};

// Recalls the preset through the handler at once and checks that it holds values for
// parameters the handler has, and that each now has the file's value.
void checkRecalledWhole(Problems& p, vl::PresetHandler& handler, const std::string& name,
                        const std::string& file) {
  const vl::PresetHandler::ParameterStates stored = vl::PresetFile::read(file);
  p.check(!stored.empty(), file + " holds no values");
  handler.recallPresetSynchronous(name);
  const vl::PresetHandler::ParameterStates now = handler.getCurrentValues();
  for (const auto& [address, fields] : stored) {
    const auto found = now.find(address);
    if (found == now.end() || found->second.size() != fields.size()) {
      p.check(false, file + ": " + address + " is no parameter of its handler");
      continue;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      // The drawing style is stored as its menu text and recalled as its index.
      if (fields[i].type() == vl::ParameterField::STRING) continue;
      p.check(sameValue(found->second[i], fields[i]),
              file + ": " + address + " is " + found->second[i].get<std::string>() +
                  " after recalling " + fields[i].get<std::string>());
    }
  }
}

// Every entry of the map names a preset file in the directory.
std::map<int, std::string> checkMapComplete(Problems& p, const fs::path& dir) {
  const std::map<int, std::string> map = vl::PresetMap::read((dir / "default.presetMap").string());
  for (const auto& [index, name] : map) {
    p.check(fs::is_regular_file(dir / (name + ".preset")),
            dir.string() + " map entry " + std::to_string(index) + ":" + name + " has no file");
  }
  return map;
}

// Every step of every sequence in the directory recalls a preset of it, at sane times.
void checkSequencesComplete(Problems& p, vl::PresetSequencer& sequencer, const fs::path& dir) {
  for (const std::string& name : namesIn(dir, ".sequence")) {
    const std::vector<vl::SequenceStep> steps = sequencer.loadSequence(name);
    p.check(!steps.empty(), "sequence " + name + " has no steps");
    for (const vl::SequenceStep& s : steps) {
      p.check(s.type == vl::SequenceStep::PRESET && s.morphTime >= 0.0f && s.waitTime >= 0.0f &&
                  fs::is_regular_file(dir / (s.name + ".preset")),
              "sequence " + name + " has a bad step \"" + s.name + "\"");
    }
  }
}

}  // namespace

TEST(PieceData, EveryFileLoadsThroughTheProgramsClassesWithoutAMessage) {
  zentha_data::DataCopy data;
  const fs::path presets = "hydrogen_presets";
  Problems p;
  CaptureStdout();
  CaptureStderr();
  {
    HydrogenVoice voice;
    voice.init();
    vl::PresetHandler& handler = voice.presets();

    // The voice's presets, the keyboard's and the morph targets: all in one folder.
    const std::vector<std::string> names = namesIn(presets, ".preset");
    p.check(names.size() >= 9u + 29u, "too few presets");
    for (const std::string& name : names) {
      checkRecalledWhole(p, handler, name, (presets / (name + ".preset")).string());
    }
    // The defaults, recalled as the program recalls them.
    const std::vector<std::string>& defaults = AppParameters::defaultPresetNames();
    p.check(defaults.size() == 9u, "not nine default presets");
    p.check(handler.setSubDirectory("defaults"), "no defaults folder");
    for (const std::string& name : defaults) {
      checkRecalledWhole(p, handler, name, (presets / "defaults" / (name + ".preset")).string());
    }
    handler.setSubDirectory("");
    for (const std::string& name : defaults) {
      voice.recallPreset("defaults/" + name);
      voice.applyRecallNow();
    }

    // The map: the defaults' own names from 0 (0 is recalled at start-up), one preset per key.
    const std::map<int, std::string> map = checkMapComplete(p, presets);
    for (int index = 0; index < 9; ++index) {
      p.check(map.count(index) == 1, "no map entry " + std::to_string(index));
    }
    for (int key = 60; key <= 88; ++key) {
      p.check(!handler.recallPreset(key).empty(), "no preset for key " + std::to_string(key));
    }
    p.check(!handler.recallPreset(0).empty(), "no preset at start-up");
    checkMapComplete(p, presets / "defaults");

    vl::PresetSequencer sequencer;
    sequencer << handler;
    checkSequencesComplete(p, sequencer, presets);

    // The fx and position presets with the parameters the program gives their handlers.
    vl::PresetHandler fx{"hydrogen_presets/fx"};
    fx << voice.sound().parameters().gain << voice.visual().parameters().howTranslucent;
    const std::map<int, std::string> fxMap = checkMapComplete(p, presets / "fx");
    p.check(!fxMap.empty(), "no fx presets");
    for (const auto& [index, name] : fxMap) {
      checkRecalledWhole(p, fx, name, (presets / "fx" / (name + ".preset")).string());
    }
    vl::PresetSequencer fxSequencer;
    fxSequencer << fx;
    checkSequencesComplete(p, fxSequencer, presets / "fx");

    AppParameters app;
    vl::PresetHandler position{"hydrogen_presets/position"};
    position << voice.parameterPose() << voice.parameterSize();
    for (vl::ParameterMeta* parameter : app.positionPresetParameters()) position << *parameter;
    const std::map<int, std::string> positionMap = checkMapComplete(p, presets / "position");
    p.check(!positionMap.empty(), "no position presets");
    for (const auto& [index, name] : positionMap) {
      checkRecalledWhole(p, position, name, (presets / "position" / (name + ".preset")).string());
    }
  }

  // The coda: every event's fields set on a voice read back unchanged, and its trigger
  // recalls the preset and starts the preset sequence it names.
  std::set<std::string> characters;
  size_t events = 0;
  {
    vl::SynthSequenceReader reader(".");
    p.check(reader.read(kCoda), "the coda cannot be read");
    events = reader.events().size();
    HydrogenVoice voice;
    voice.init();
    for (const vl::SynthSequenceEvent& e : reader.events()) {
      const std::string at = "coda event at " + std::to_string(e.startTime) + " s: ";
      p.check(e.kind == vl::SynthSequenceEvent::PLAY && e.voiceType == "HydrogenVoice",
              at + "not a HydrogenVoice playing");
      p.check(voice.setTriggerParams(e.fields), at + "too few fields");
      const std::vector<vl::ParameterField> set = voice.getTriggerParams();
      for (size_t i = 0; i < set.size() && i < e.fields.size(); ++i) {
        p.check(sameValue(set[i], e.fields[i]),
                at + "field " + std::to_string(i) + " \"" + e.fields[i].get<std::string>() +
                    "\" became \"" + set[i].get<std::string>() + "\"");
      }
      const std::string preset = voice.parameters().presetToLoad.get();
      const std::string sequence = voice.parameters().sequenceToPlay.get();
      p.check(fs::is_regular_file(presets / (preset + ".preset")), at + "no preset " + preset);
      characters.insert(preset);
      voice.onTriggerOn();
      voice.applyRecallNow();
      voice.update(1.0 / 60.0);
      p.check(sequence.empty() || voice.sequencer().running(),
              at + "sequence " + sequence + " does not play");
      voice.onTriggerOff();
      voice.update(1.0 / 60.0);
    }
  }

  const std::string console = GetCapturedStdout() + GetCapturedStderr();
  for (const std::string& problem : p.found) ADD_FAILURE() << problem;
  for (const std::string& line : zentha_data::faultLines(console)) ADD_FAILURE() << line;
  EXPECT_GE(events, 32u);
  EXPECT_EQ(characters.size(), 9u);  // every default character takes part
}
