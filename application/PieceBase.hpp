#pragma once

// The framework base of the piece, and what the piece asks of it about its place among other
// instances: whether it is a replica (draws what a primary computes) and whether it fills the
// state record that the primary offers the replicas each frame.

#include "SharedState.hpp"
#include "app/vl_DistributedAppWithState.hpp"

class PieceBase : public vl::DistributedAppWithState<SharedState> {
 public:
  bool isReplica() const { return !isPrimary(); }
  bool sendsState() { return stateSender() != nullptr; }
};
