#include "protocol/vl_OSCDomain.hpp"

namespace vl {

bool OSCDomain::init(ComputationDomain* parent) {
  return ComputationDomain::init(parent);
}

}  // namespace vl
