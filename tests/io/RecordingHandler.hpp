#pragma once

#include <string>
#include <vector>

#include "io/vl_WindowEventHandler.hpp"

// A handler that writes what it sees into a shared log ("name:event:detail") and stops the
// events named in `consume`.
class RecordingHandler : public vl::WindowEventHandler {
 public:
  RecordingHandler(std::string name, std::vector<std::string>& log)
      : mName(std::move(name)), mLog(log) {}

  std::vector<std::string> consume;
  int lastWidth = -1, lastHeight = -1;

  bool keyDown(const vl::Keyboard& k) override { return note("keyDown", k.key()); }
  bool keyUp(const vl::Keyboard& k) override { return note("keyUp", k.key()); }
  bool mouseDown(const vl::Mouse& m) override { return note("mouseDown", m.button()); }
  bool mouseUp(const vl::Mouse& m) override { return note("mouseUp", m.button()); }
  bool mouseDrag(const vl::Mouse& m) override { return note("mouseDrag", m.dx()); }
  bool mouseMove(const vl::Mouse& m) override { return note("mouseMove", m.dx()); }
  bool mouseScroll(const vl::Mouse& m) override { return note("mouseScroll", int(m.scrollY())); }
  bool resize(int w, int h) override {
    lastWidth = w;
    lastHeight = h;
    return note("resize", w);
  }

 private:
  bool note(const std::string& event, int detail) {
    mLog.push_back(mName + ":" + event + ":" + std::to_string(detail));
    for (auto& c : consume)
      if (c == event) return false;
    return true;
  }

  std::string mName;
  std::vector<std::string>& mLog;
};
