// Every parameter of the application and of a voice against the tables it is built from:
// order, names, classes, groups, defaults, bounds and menu texts.

#include <gtest/gtest.h>

#include <set>

#include "application/AppParameters.hpp"
#include "application/AtomParameters.hpp"
#include "application/SoundParameters.hpp"
#include "application/VisualParameters.hpp"
#include "application/VoiceParameters.hpp"
#include "parameter_rows.hpp"

namespace {

constexpr double kWide = 99999.0;

const std::vector<std::string> kFilterTypes{"low pass",    "high pass",  "resonant",
                                            "band reject", "all_pass",   "peaking",
                                            "low_shelf",   "high shelf", "smoothing"};

std::vector<Row> appRows() {
  return {T("goToHome"),
          T("makePitchMap"),
          T("makePitchMapChromatic"),
          T("screenshot"),
          B("Show Static Atom", 0, "Real-time"),
          M("KeyboardMode", 2, {"Presets", "Navigation", "Events"}, "Real-time"),
          B("Trigger Preset Sequence", 0),
          M("Available Sequences", 0, {}),
          M("DefaultPresets", 0,
            {"Flower", "Filaments", "Fine", "Floating Sail", "Ghost", "Momentary Spires", "Rose",
             "Spool-Unspool", "Whirlwing"}),
          B("StorePitch", 1),
          B("StoreStartState", 1),
          B("StorePose", 1),
          I("OctaveOffset", 0, -4, 4, "Real-time"),
          B("ShowPositionMarker", 0),
          F("spreadX", 0.2, 0, 5),
          F("spreadY", 0, 0, 5),
          F("spreadZ", 0, 0, 5),
          F("planeElevation", 0, -90, 90),
          F("planeRotation", 0, -180, 180),
          F("lineRotation", 0, -180, 180),
          F("randomX", 0, 0, 1),
          F("randomY", 0, 0, 1),
          F("randomZ", 0, 0, 1),
          F("randomSize", 0, 0, 5),
          F("quatRotation", 0, -180, 180),
          F("quatRotation2", 0, -180, 180),
          F("highShelfFreq", 2500, 400, 8000),
          F("highShelfRes", 0.1, 0.00001, 100),
          M("filterType", 0, kFilterTypes),
          B("useShelfFilters", 0),
          B("startDrone", 1),
          F("mx", 0, -kWide, kWide),
          F("my", 0, -kWide, kWide),
          F("mz", 0, -kWide, kWide)};
}

std::vector<Row> physicsRows() {
  return {F("polyX", 0, -99, 99),
          F("polyY", 0, -99, 99),
          F("polyZ", 0, -99, 99),
          F("polyAlpha", 0, 0, 1),
          F("polyBeta", 0, 0, 1),
          F("polyGamma", 0, 0, 1),
          F("polyRadius", 0.08, -99, 99),
          F("polyRigid", 0.001, 0, 1),
          F("polySmooth", 1, 0, 1),
          F("polyVel", 0.01, -9, 9),
          F("der", 0.02, -1, 1),
          F("contour", 1, 0, 1),
          F("zoom", 0, -99, 99),
          F("lenEps", 0, 0, 1),
          F("hueRotation", 0, 0, 1),
          B("newColors", 1),
          B("springForce", 1),
          F("simulationSpeed", 1, 0.1, 4),
          B("freeze", 0),
          B("ResetOnLoad", 1),
          B("ResetSpinorOnTrigger", 1),
          T("ForceReset"),
          F("mute", 0, -kWide, kWide)};
}

std::vector<Row> waveFunctionRows(const std::string& group) {
  return {F("n", 0, 1, 99, group),     F("l", 0, 0, 99, group),   F("J", 0, -9.5, 9.5, group),
          F("j", 0, -9.5, 9.5, group), F("f", 0, -99, 99, group), F("w", 0, 0, 1, group)};
}

std::vector<Row> voiceRows() {
  return {F("reson1R", 1, -kWide, kWide),
          F("reson1I", 0, -kWide, kWide),
          F("reson2R", 1, -kWide, kWide),
          F("reson2I", 0, -kWide, kWide),
          F("reson3R", 1, -kWide, kWide),
          F("reson3I", 0, -kWide, kWide),
          F("env", 0, -kWide, kWide),
          S("presetToLoad"),
          S("sequenceToPlay"),
          F("seqTimeScale", 1, 0.01, 10)};
}

std::vector<Row> drawingRows() {
  return {F("thick", 1, 0, 99), F("howTranslucent", 0.2, 0, 1),
          M("drawType", 0, {"ribbon", "particles", "markers"})};
}

std::vector<Row> soundRows() {
  return {F("ReverbAmount", 0.6, 0, 1), F("pitch", -2, -10, 10),
          F("pitchShift", 0, -48, 48),  F("curvatureCompensation", 0, 0, 0.9),
          F("gain", 0.7, 0, 5),         F("attackTime", 0.01, 0, 5),
          F("releaseTime", 1, 0, 5)};
}

template <class... Lists>
std::vector<vl::ParameterMeta*> join(const Lists&... lists) {
  std::vector<vl::ParameterMeta*> all;
  (all.insert(all.end(), lists.begin(), lists.end()), ...);
  return all;
}

}  // namespace

TEST(ParameterTables, ApplicationRowsInConstructionOrder) {
  AppParameters app;
  expectRows(app.parameters(), appRows());
}

TEST(ParameterTables, AtomPhysicsThenThreeWaveFunctionGroups) {
  AtomParameters atom;
  expectRows(atom.physicsParameters(), physicsRows());

  std::vector<Row> groups;
  for (const char* g : {"wfs1", "wfs2", "wfs3"}) {
    for (Row& r : waveFunctionRows(g)) groups.push_back(r);
  }
  expectRows(atom.waveFunctionParameters(), groups);
  ASSERT_EQ(atom.waveFunctions().size(), 3u);
  EXPECT_EQ(atom.waveFunctions()[0]->name(), "wfs1");
  EXPECT_EQ(atom.waveFunctions()[2]->name(), "wfs3");
  EXPECT_EQ(atom.parameters(), join(atom.physicsParameters(), atom.waveFunctionParameters()));
}

TEST(ParameterTables, VoiceDrawingAndSoundGroups) {
  VoiceParameters voice;
  expectRows(voice.parameters(), voiceRows());
  const std::vector<vl::ParameterMeta*> all = voice.parameters();
  EXPECT_EQ(voice.resonanceParameters(),
            std::vector<vl::ParameterMeta*>(all.begin(), all.begin() + 6));

  VisualParameters visual;
  expectRows(visual.parameters(), drawingRows());
  SoundParameters sound;
  expectRows(sound.parameters(), soundRows());
}

// One voice's groups and the application rows meet on one parameter server, which dispatches
// by address: two parameters on one address would both take every message sent to it.
TEST(ParameterTables, AddressesAreDistinctWhereTheyShareAServer) {
  AppParameters app;
  AtomParameters atom;
  VoiceParameters voice;
  VisualParameters visual;
  SoundParameters sound;
  std::set<std::string> seen;
  for (vl::ParameterMeta* p : join(atom.parameters(), visual.parameters(), sound.parameters(),
                                   voice.parameters(), app.parameters())) {
    EXPECT_TRUE(seen.insert(p->getFullAddress()).second) << p->getFullAddress();
  }
  EXPECT_TRUE(seen.count("/wfs2/J"));
  EXPECT_TRUE(seen.count("/wfs2/j"));
  EXPECT_TRUE(seen.count("/gain"));
}

TEST(ParameterTables, MenusNameTheirSelection) {
  AppParameters app;
  EXPECT_EQ(app.keyboardMode.currentElement(), "Events");
  EXPECT_EQ(app.defaultPresets.currentElement(), "Flower");
  EXPECT_EQ(app.filterType.currentElement(), "low pass");
  EXPECT_EQ(app.availableSequences.currentElement(), "");
  app.filterType.selectElement("high shelf");
  EXPECT_EQ(app.filterType.get(), 7);  // the biquad type number
  app.defaultPresets.selectElement("Whirlwing");
  EXPECT_EQ(app.defaultPresets.get(), 8);

  VisualParameters visual;
  visual.drawType.selectElement("markers");
  EXPECT_EQ(visual.drawType.get(), 2);
}

TEST(ParameterTables, PositionPresetsStoreThePlacementRowsInTheirOwnOrder) {
  AppParameters app;
  std::vector<std::string> names;
  for (vl::ParameterMeta* p : app.positionPresetParameters()) names.push_back(p->getName());
  EXPECT_EQ(names, (std::vector<std::string>{"spreadX", "spreadY", "spreadZ", "planeRotation",
                                             "lineRotation", "planeElevation", "randomX", "randomY",
                                             "randomZ", "randomSize"}));
}

TEST(ParameterTables, ResonancesResetToOnePlusZeroI) {
  VoiceParameters voice;
  for (vl::ParameterMeta* p : voice.resonanceParameters()) p->setFromFloat(-3.5f);
  voice.env.set(0.4f);
  voice.resetResonances();
  std::vector<float> values;
  for (vl::ParameterMeta* p : voice.resonanceParameters()) values.push_back(p->asFloat());
  EXPECT_EQ(values, (std::vector<float>{1, 0, 1, 0, 1, 0}));
  EXPECT_EQ(voice.env.get(), 0.4f);
}
