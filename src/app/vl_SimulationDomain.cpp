#include "app/vl_SimulationDomain.hpp"

namespace vl {

bool SimulationDomain::tick() {
  tickSubdomains(true);
  if (enabled) simulationFunction(mTimeDelta);
  tickSubdomains(false);
  return true;
}

}  // namespace vl
