#pragma once

// The framework base of the piece, and what the piece asks of it about its place among other
// instances: whether it is a replica (draws what a primary computes) and the state record
// that the primary offers the replicas each frame. A stand-alone instance is its own primary.

#include <memory>

#include "SharedState.hpp"
#include "app/vl_App.hpp"

class PieceBase : public vl::App {
 public:
  PieceBase() : mState(std::make_unique<SharedState>()) {}

  bool isReplica() const { return false; }
  // Whether this instance fills the state record for others.
  bool sendsState() const { return false; }
  SharedState& state() { return *mState; }

 private:
  std::unique_ptr<SharedState> mState;
};
