#include "ui/vl_SynthSequence.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <stdexcept>

#include "core/vl_Console.hpp"
#include "core/vl_File.hpp"

namespace vl {

namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits at single spaces; a token that begins with a double quote runs to the token that ends
// with one and becomes one text without the quotes.
bool tokenize(const std::string& text, std::vector<Token>& tokens) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(' ', start);
    pieces.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string& piece = pieces[i];
    if (piece.empty()) continue;  // trailing or doubled spaces
    if (piece.front() != '"') {
      tokens.push_back({piece, false});
      continue;
    }
    std::string joined = piece;
    while (joined.size() < 2 || joined.back() != '"') {
      if (++i >= pieces.size()) return false;  // no closing quote
      joined += " " + pieces[i];
    }
    tokens.push_back({joined.substr(1, joined.size() - 2), true});
  }
  return true;
}

// A line refused with a message of its own (the reader prints it with the file and the line).
struct Refused : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

double number(const Token& token) {
  if (token.quoted) throw std::invalid_argument("quoted number");
  std::size_t used = 0;
  const double value = std::stod(token.text, &used);
  if (used != token.text.size()) throw std::invalid_argument("trailing characters");
  return value;
}

}  // namespace

SynthSequenceReader::SynthSequenceReader(std::string directory)
    : mDirectory(std::move(directory)) {}

std::string SynthSequenceReader::path(const std::string& name) const {
  return File::conformDirectory(mDirectory) + name +
         (File::endsWith(name, ".synthSequence") ? "" : ".synthSequence");
}

bool SynthSequenceReader::read(const std::string& name, double timeScale) {
  mEvents.clear();
  mInclusions.clear();
  mTriggeredIds.clear();
  std::vector<std::string> including;
  const bool ok = readFile(name, timeScale, 0.0, including);
  std::stable_sort(mEvents.begin(), mEvents.end(),
                   [](const SynthSequenceEvent& a, const SynthSequenceEvent& b) {
                     return a.startTime < b.startTime;
                   });
  return ok;
}

bool SynthSequenceReader::readFile(const std::string& name, double timeScale, double origin,
                                   std::vector<std::string>& including) {
  if (!File::checkName(name, "synth sequence")) return false;
  const std::string filePath = path(name);
  if (std::find(including.begin(), including.end(), filePath) != including.end()) {
    print("ERROR: Synth sequence includes itself: %s\n", filePath.c_str());
    return false;
  }
  if (static_cast<int>(including.size()) > kMaxInclusionDepth) {
    print("ERROR: Synth sequences nested too deeply at: %s\n", filePath.c_str());
    return false;
  }
  std::ifstream in(filePath);
  if (!in.is_open()) {
    print("Could not open:%s\n", filePath.c_str());
    return false;
  }
  including.push_back(filePath);
  double tempo = 1.0;
  double offset = origin;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    try {
      if (!parseLine(line, timeScale, tempo, offset, including)) {
        print("Line ignored. Command: %s\n", line.c_str());
      }
    } catch (const Refused& e) {
      print("ERROR: Synth sequence line refused (%s) in %s: %s\n", e.what(), filePath.c_str(),
            line.c_str());
    } catch (const std::logic_error&) {
      print("ERROR: Bad synth sequence line in %s: %s\n", filePath.c_str(), line.c_str());
    }
  }
  including.pop_back();
  if (in.bad()) {
    print("Error reading:%s\n", filePath.c_str());
    return false;
  }
  return true;
}

bool SynthSequenceReader::parseLine(const std::string& line, double timeScale, double& tempo,
                                    double& offset, std::vector<std::string>& including) {
  const char command = line[0];
  if (line.size() > 1 && line[1] != ' ') return false;
  std::vector<Token> tokens;
  if (!tokenize(line.size() > 2 ? line.substr(2) : "", tokens)) {
    throw std::invalid_argument("unterminated quote");
  }
  const auto need = [&](std::size_t n) {
    if (tokens.size() < n) throw std::invalid_argument("missing fields");
  };
  // A time that is not a number would break the ordering of the events; an id outside the
  // int range cannot be converted.
  const auto finite = [&](const Token& t) {
    const double value = number(t);
    if (!std::isfinite(value)) throw Refused("time is not a finite number");
    return value;
  };
  const auto time = [&](const Token& t) { return finite(t) * timeScale * tempo; };
  const auto idOf = [&](const Token& t) {
    const double value = number(t);
    if (!(value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max())) {
      throw Refused("id out of range");
    }
    return static_cast<int>(value);
  };
  const auto fieldsFrom = [&](std::size_t first, SynthSequenceEvent& e) {
    for (std::size_t i = first; i < tokens.size(); ++i) {
      if (tokens[i].quoted) {
        e.fields.emplace_back(tokens[i].text);
      } else {
        e.fields.emplace_back(static_cast<float>(number(tokens[i])));
      }
    }
  };
  SynthSequenceEvent event;
  switch (command) {
    case '@':
      need(3);
      event.kind = SynthSequenceEvent::PLAY;
      event.startTime = time(tokens[0]) + offset;
      event.duration = time(tokens[1]);
      event.voiceType = tokens[2].text;
      fieldsFrom(3, event);
      mEvents.push_back(std::move(event));
      return true;
    case '+':
      need(3);
      event.kind = SynthSequenceEvent::TRIGGER_ON;
      event.startTime = time(tokens[0]) + offset;
      event.id = idOf(tokens[1]);
      event.voiceType = tokens[2].text;
      fieldsFrom(3, event);
      mTriggeredIds.push_back(event.id);
      mEvents.push_back(std::move(event));
      return true;
    case '-':
      need(2);
      event.kind = SynthSequenceEvent::TRIGGER_OFF;
      event.startTime = time(tokens[0]) + offset;
      event.id = idOf(tokens[1]);
      if (std::find(mTriggeredIds.begin(), mTriggeredIds.end(), event.id) == mTriggeredIds.end()) {
        print("WARNING: Trigger off for id %d that no earlier line triggers on\n", event.id);
      }
      mEvents.push_back(std::move(event));
      return true;
    case '=': {
      need(2);
      const double origin = time(tokens[0]) + offset;
      const double value = tokens.size() > 2 ? number(tokens[2]) * tempo : 0.0;
      if (readFile(tokens[1].text, timeScale, origin, including)) {
        mInclusions.push_back({tokens[1].text, origin, value});
      }
      return true;
    }
    case '>':
      need(1);
      offset += finite(tokens[0]);
      return true;
    case 't': {
      need(1);
      const double bpm = number(tokens[0]);
      if (!(bpm > 0.0)) throw std::invalid_argument("tempo");
      tempo = 60.0 / bpm;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace vl
