// Synth sequences: the score format (tempo, offsets, quoted fields, ids, inclusion and its
// limits) and playback on a voice pool in each time-master mode.

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "ui/preset_test_support.hpp"
#include "ui/sequence_test_clock.hpp"
#include "ui/vl_SynthSequencer.hpp"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using vl::SynthSequenceEvent;
using vl::SynthSequencer;
using vl::test::ScratchDir;
using vl::test::writeFile;

namespace {

std::string describe(const SynthSequenceEvent& e) {
  char text[96];
  std::snprintf(text, sizeof(text), "%c %.3f", "@+-"[e.kind], e.startTime);
  std::string s = text;
  if (e.kind == SynthSequenceEvent::PLAY) {
    std::snprintf(text, sizeof(text), " %.3f", e.duration);
    s += text;
  } else {
    s += " #" + std::to_string(e.id);
  }
  if (!e.voiceType.empty()) s += " " + e.voiceType;
  for (const auto& f : e.fields) {
    s += f.type() == vl::ParameterField::STRING ? " '" + f.get<std::string>() + "'"
                                                : " " + std::to_string(f.get<float>());
  }
  return s;
}

std::vector<std::string> describeAll(const std::vector<SynthSequenceEvent>& events) {
  std::vector<std::string> out;
  for (const auto& e : events) out.push_back(describe(e));
  return out;
}

// A pool with a number of free voices per type that logs what the sequencer does, stamped
// with the time the test says it is.
class FakePool : public vl::SynthSequencerVoicePool {
 public:
  int takeVoice(const std::string& type) override {
    if (free[type] <= 0) return -1;
    --free[type];
    voices.push_back(type);
    return static_cast<int>(voices.size()) - 1;
  }
  bool setVoiceFields(int voice, const std::vector<vl::ParameterField>& fields) override {
    fieldsOf[voice] = fields;
    return fields.size() <= 2;
  }
  int triggerOn(int voice, int, int id) override {
    if (id < 0) id = nextId++;
    std::string text = "on " + voices[voice] + " #" + std::to_string(id);
    for (const auto& f : fieldsOf[voice]) text += " " + f.get<std::string>();
    note(text);
    return id;
  }
  void triggerOff(int id) override { note("off #" + std::to_string(id)); }
  void giveBack(int voice) override { ++free[voices[voice]]; }

  void note(const std::string& text) {
    std::lock_guard<std::mutex> lock(logLock);
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%.3f ", now);
    log.push_back(stamp + text);
  }

  std::map<std::string, int> free;
  std::vector<std::string> voices;
  std::map<int, std::vector<vl::ParameterField>> fieldsOf;
  int nextId = 1000;
  double now = 0.0;
  std::mutex logLock;
  std::vector<std::string> log;
};

}  // namespace

TEST(SynthSequenceFormat, TempoOffsetsQuotedFieldsAndIds) {
  ScratchDir dir;
  writeFile(dir / "score.synthSequence",
            "@ 0 1 Voice 440 0.5\r\n"
            "t 120\n"
            "@ 2 2 Voice \"a quoted text\" 3 \"x\"\n"
            "> 2\n"
            "@ 1 1 Voice 2\n"
            "+ 1 7 Other 0.5\n"
            "- 3 7\n"
            "- 4 9\n"
            "x bad\n"
            "@1 1 Voice\n"
            "@ 1 1\n"
            "@ 1 1 Voice \"open\n"
            "@ 1 1 Voice 12abc\n"
            "\n");
  vl::SynthSequenceReader reader(dir.path());
  CaptureStdout();
  EXPECT_TRUE(reader.read("score"));
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(describeAll(reader.events()),
            (std::vector<std::string>{"@ 0.000 1.000 Voice 440.000000 0.500000",
                                      "@ 1.000 1.000 Voice 'a quoted text' 3.000000 'x'",
                                      "@ 2.500 0.500 Voice 2.000000", "+ 2.500 #7 Other 0.500000",
                                      "- 3.500 #7", "- 4.000 #9"}));
  const std::string path = dir / "score.synthSequence";
  EXPECT_EQ(out,
            "WARNING: Trigger off for id 9 that no earlier line triggers on\n"
            "Line ignored. Command: x bad\n"
            "Line ignored. Command: @1 1 Voice\n"
            "ERROR: Bad synth sequence line in " +
                path +
                ": @ 1 1\n"
                "ERROR: Bad synth sequence line in " +
                path +
                ": @ 1 1 Voice \"open\n"
                "ERROR: Bad synth sequence line in " +
                path + ": @ 1 1 Voice 12abc\n");

  // The time scale multiplies times, not offsets; the ending may be given.
  CaptureStdout();
  EXPECT_TRUE(reader.read("score.synthSequence", 2.0));
  GetCapturedStdout();
  EXPECT_EQ(reader.events()[1].startTime, 2.0);
  EXPECT_EQ(reader.events()[2].startTime, 3.0);
  EXPECT_EQ(reader.path("a"), dir.path() + "/a.synthSequence");
}

TEST(SynthSequenceFormat, InclusionAndItsLimits) {
  ScratchDir dir;
  writeFile(dir / "main.synthSequence",
            "@ 0 1 Main\nt 120\n> 1\n= 2 \"inner\" 4\n= 0 \"self\" 1\n= 0 \"../up\" 1\n");
  writeFile(dir / "inner.synthSequence", "@ 1 1 Inner\n> 1\n@ 0 1 Inner2\n");
  writeFile(dir / "self.synthSequence", "@ 0 1 Self\n= 1 \"self\" 1\n= 1 \"ping\" 1\n");
  writeFile(dir / "ping.synthSequence", "@ 0 1 Ping\n= 1 \"self\" 1\n");
  vl::SynthSequenceReader reader(dir.path());
  CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(reader.read("main"));
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string out = GetCapturedStdout();
  // inner starts at 2 × 0.5 + 1 = 2, with a tempo of its own; self at 0 + 1 = 1.
  EXPECT_EQ(
      describeAll(reader.events()),
      (std::vector<std::string>{"@ 0.000 1.000 Main", "@ 1.000 1.000 Self", "@ 2.000 1.000 Ping",
                                "@ 3.000 1.000 Inner", "@ 3.000 1.000 Inner2"}));
  ASSERT_EQ(reader.inclusions().size(), 3u);  // inner, ping (inside self), self
  EXPECT_EQ(reader.inclusions()[0].name, "inner");
  EXPECT_EQ(reader.inclusions()[0].origin, 2.0);
  EXPECT_EQ(reader.inclusions()[0].value, 2.0);
  EXPECT_EQ(out, "ERROR: Synth sequence includes itself: " + (dir / "self.synthSequence") +
                     "\nERROR: Synth sequence includes itself: " + (dir / "self.synthSequence") +
                     "\n");
  EXPECT_NE(err.find("ERROR: Refusing synth sequence name \"../up\""), std::string::npos);

  CaptureStdout();
  EXPECT_FALSE(reader.read("absent"));
  EXPECT_EQ(GetCapturedStdout(), "Could not open:" + (dir / "absent.synthSequence") + "\n");

  // A long chain of distinct scores stops at the depth limit instead of growing without end.
  for (int i = 0; i < 40; ++i) {
    writeFile(dir / ("c" + std::to_string(i) + ".synthSequence"),
              "@ 0 1 V\n= 0 \"c" + std::to_string(i + 1) + "\" 1\n");
  }
  CaptureStdout();
  EXPECT_TRUE(reader.read("c0"));
  EXPECT_NE(GetCapturedStdout().find("ERROR: Synth sequences nested too deeply at: " +
                                     (dir / "c17.synthSequence")),
            std::string::npos);
  EXPECT_EQ(reader.events().size(), 17u);
}

TEST(SynthSequencerPlayback, VoiceLivesAndMissingVoicesInAudioTime) {
  ScratchDir dir;
  writeFile(dir / "s.synthSequence",
            "@ 0 1 Voice 1 2\n@ 0.5 0.25 Missing\n+ 0.2 7 Held \"txt\"\n- 1.5 7\n"
            "+ 0.3 8 Absent\n+ 0.4 9 Held 1 2 3\n");
  FakePool pool;
  pool.free = {{"Voice", 1}, {"Held", 2}};
  SynthSequencer seq(SynthSequencer::TIME_MASTER_AUDIO);
  seq.setVoicePool(pool);
  seq.setDirectory(dir.path());
  int ends = 0;
  seq.registerEndCallback([&](SynthSequencer*) { ++ends; });
  CaptureStdout();
  ASSERT_TRUE(seq.playSequence("s", -1.0f));
  EXPECT_EQ(GetCapturedStdout(),
            "Warning: Unable to get free voice from PolySynth.\n"
            "Error setting pFields for voice of type Held. Fields: 1.000000 2.000000 3.000000 \n");
  EXPECT_EQ(pool.free["Held"], 0);  // both taken while the score was read

  CaptureStdout();
  int blocks = 0;
  while (seq.playing() && blocks < 1000) {
    pool.now = seq.currentTime();
    seq.processAudioBlock(441, 44100.0);  // 10 ms blocks
    ++blocks;
  }
  // Audio blocks hold their messages back until asked from another thread.
  EXPECT_EQ(GetCapturedStdout(), "");
  CaptureStdout();
  seq.reportMessages();
  EXPECT_EQ(GetCapturedStdout(),
            "SynthSequencer::processEvents: Could not get free voice 'Missing' for sequencer!\n");
  // Events at 0 fire one second after a start at -1; each line is logged with the time of the
  // block before the one that processed it.
  EXPECT_EQ(pool.log, (std::vector<std::string>{"-0.010 on Voice #1000 1.000000 2.000000",
                                                "0.190 on Held #7 txt",
                                                "0.390 on Held #9 1.000000 "
                                                "2.000000 3.000000",
                                                "0.990 off #1000", "1.490 off #7"}));
  EXPECT_EQ(ends, 1);
  EXPECT_NEAR(blocks, 250, 1);

  // Stopping turns off what sounds and gives back what never played.
  pool.log.clear();
  pool.free = {{"Voice", 1}, {"Held", 2}};
  CaptureStdout();
  seq.playSequence("s", 0.0f);
  seq.processAudioBlock(441 * 30, 44100.0);
  seq.stopSequence();
  GetCapturedStdout();
  EXPECT_EQ(pool.free["Held"], 1);  // #9 was prepared and never played
  for (auto& line : pool.log) line = line.substr(line.find(' ') + 1);
  // The first run left #9 on (no line turns it off): starting again turns it off first.
  EXPECT_EQ(pool.log, (std::vector<std::string>{"off #9", "on Voice #1001 1.000000 2.000000",
                                                "on Held #7 txt", "off #1001", "off #7"}));
  seq.processAudioBlock(441 * 300, 44100.0);
  EXPECT_EQ(pool.log.size(), 5u);
}

// A voice's end is played at its time even when the next event lies beyond the look-ahead;
// held back until that event, the voice would sound on and stay taken from the pool.
TEST(SynthSequencerPlayback, EndsComeOnTimeWhenTheNextEventIsFarOff) {
  ScratchDir dir;
  writeFile(dir / "far.synthSequence", "@ 0 1 Voice\n@ 0.5 1.5 Voice\n@ 10 1 Voice\n");
  FakePool pool;
  pool.free = {{"Voice", 3}};
  SynthSequencer audio(SynthSequencer::TIME_MASTER_AUDIO);
  audio.setVoicePool(pool);
  audio.setDirectory(dir.path());
  audio.prepareOnCaller(true);
  ASSERT_TRUE(audio.playSequence("far"));
  while (audio.playing() && audio.currentTime() < 12.0) {
    pool.now = audio.currentTime();
    audio.prepareAhead();
    audio.processAudioBlock(441, 44100.0);
  }
  EXPECT_EQ(pool.log, (std::vector<std::string>{"0.000 on Voice #1000", "0.490 on Voice #1001",
                                                "0.990 off #1000", "1.990 off #1001",
                                                "9.990 on Voice #1002", "10.990 off #1002"}));

  pool.log.clear();
  pool.free = {{"Voice", 3}};
  SynthSequencer frames(SynthSequencer::TIME_MASTER_GRAPHICS);
  frames.setVoicePool(pool);
  frames.setDirectory(dir.path());
  ASSERT_TRUE(frames.playSequence("far"));
  for (int i = 0; i < 3 * 60; ++i) {
    pool.now = frames.currentTime();
    frames.processGraphicsFrame(60.0);
  }
  ASSERT_EQ(pool.log.size(), 4u);
  EXPECT_EQ(pool.log[2].substr(pool.log[2].find(' ')), " off #1003");
  EXPECT_NEAR(std::stod(pool.log[2]), 1.0, 0.02);  // stamped with the frame before
  EXPECT_NEAR(std::stod(pool.log[3]), 2.0, 0.02);
}

TEST(SynthSequencerPlayback, GraphicsFramesAndThePlayThread) {
  ScratchDir dir;
  writeFile(dir / "g.synthSequence", "@ 0.1 0.2 Voice\n");
  FakePool pool;
  pool.free = {{"Voice", 4}};
  SynthSequencer frames(SynthSequencer::TIME_MASTER_GRAPHICS);
  frames.setVoicePool(pool);
  frames.setDirectory(dir.path());
  frames.playSequence("g");
  frames.processAudioBlock(44100, 44100.0);  // not this sequencer's time master
  EXPECT_EQ(frames.currentTime(), 0.0);
  for (int i = 0; i < 5; ++i) frames.processGraphicsFrame(60.0);
  EXPECT_TRUE(pool.log.empty());
  frames.processGraphicsFrame(60.0);  // six frames make 0.1 s
  EXPECT_EQ(pool.log.size(), 1u);

  auto clock = std::make_shared<vl::test::VirtualClock>();
  SynthSequencer cpu(SynthSequencer::TIME_MASTER_CPU, 2000000, clock);
  cpu.setVoicePool(pool);
  cpu.setDirectory(dir.path());
  cpu.verbose(true);
  pool.log.clear();
  cpu.playSequence("g");
  clock->advance(0.099);
  EXPECT_TRUE(pool.log.empty());
  clock->advance(0.002);
  EXPECT_EQ(pool.log.size(), 1u);
  CaptureStdout();
  clock->advance(0.21);  // off at 0.1 + 0.2
  for (int i = 0; i < 500 && cpu.playing(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_FALSE(cpu.playing());
  cpu.stopSequence();  // joins the thread, which has printed its last line
  EXPECT_EQ(GetCapturedStdout(), "CPU play thread done.\n");
  EXPECT_EQ(pool.log.size(), 2u);
}

TEST(SynthSequenceFormat, IdsOutOfRangeAndTimesThatAreNoNumbers) {
  ScratchDir dir;
  writeFile(
      dir / "bad.synthSequence",
      "+ 0 4e9 V\n- 1 -3e9\n@ nan 1 V\n+ inf 2 V\n@ 0.5 1 V\n> nan\n@ 2 1 V\n- 3 2147483647\n");
  vl::SynthSequenceReader reader(dir.path());
  CaptureStdout();
  reader.read("bad");
  const std::string out = GetCapturedStdout();
  const std::string path = dir / "bad.synthSequence";
  for (const char* line : {"+ 0 4e9 V", "- 1 -3e9"}) {
    EXPECT_NE(out.find("ERROR: Synth sequence line refused (id out of range) in " + path + ": " +
                       line + "\n"),
              std::string::npos);
  }
  for (const char* line : {"@ nan 1 V", "+ inf 2 V", "> nan"}) {
    EXPECT_NE(out.find("ERROR: Synth sequence line refused (time is not a finite number) in " +
                       path + ": " + line + "\n"),
              std::string::npos);
  }
  // The good lines stay, in order, and the refused offset changed nothing.
  EXPECT_EQ(
      describeAll(reader.events()),
      (std::vector<std::string>{"@ 0.500 1.000 V", "@ 2.000 1.000 V", "- 3.000 #2147483647"}));
}
