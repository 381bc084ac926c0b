#pragma once

// The text score of synthesis events (".synthSequence" files) read into a time-ordered event
// list: voices played for a duration, voices triggered on and off by id, tempo and offset
// changes, and other scores inserted at a time.

#include <string>
#include <vector>

#include "ui/vl_ParameterField.hpp"

namespace vl {

struct SynthSequenceEvent {
  enum Kind { PLAY, TRIGGER_ON, TRIGGER_OFF };
  Kind kind = PLAY;
  double startTime = 0.0;  // seconds, scaled and offset
  double duration = 0.0;   // PLAY only
  int id = -1;             // TRIGGER_ON and TRIGGER_OFF
  std::string voiceType;   // PLAY and TRIGGER_ON
  std::vector<ParameterField> fields;
};

// A score inserted through "=": its name, the time origin of its events and the value given
// with it (multiplied by the tempo factor in force), kept for the caller.
struct SynthSequenceInclusion {
  std::string name;
  double origin = 0.0;
  double value = 0.0;
};

class SynthSequenceReader {
 public:
  // Inclusions deeper than this are refused, so that scores including each other in long
  // chains cannot multiply without bound.
  static constexpr int kMaxInclusionDepth = 16;

  explicit SynthSequenceReader(std::string directory = "");

  // The directory with "/" added when missing, the name, and ".synthSequence" unless the name
  // already ends in it.
  std::string path(const std::string& name) const;
  // Replaces the events with those of the named score; false (with a message) when it cannot
  // be read. Times are multiplied by timeScale.
  bool read(const std::string& name, double timeScale = 1.0);

  const std::vector<SynthSequenceEvent>& events() const { return mEvents; }
  std::vector<SynthSequenceEvent> takeEvents() { return std::move(mEvents); }
  const std::vector<SynthSequenceInclusion>& inclusions() const { return mInclusions; }

 private:
  bool readFile(const std::string& name, double timeScale, double origin,
                std::vector<std::string>& including);
  bool parseLine(const std::string& line, double timeScale, double& tempo, double& offset,
                 std::vector<std::string>& including);

  std::string mDirectory;
  std::vector<SynthSequenceEvent> mEvents;
  std::vector<SynthSequenceInclusion> mInclusions;
  std::vector<int> mTriggeredIds;
};

}  // namespace vl
