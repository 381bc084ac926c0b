#pragma once

#include <functional>

#include "core/vl_ComputationDomain.hpp"

namespace vl {

// Runs the application's simulation function once per tick of its parent, with the
// parent's time step in seconds.
class SimulationDomain : public SynchronousDomain {
 public:
  bool tick() override;

  std::function<void(double)> simulationFunction = [](double) {};
  bool enabled = true;
};

}  // namespace vl
