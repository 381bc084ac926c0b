#pragma once

// The endpoint of an address and port, for senders and receivers alike. oscpack resolves a name
// it cannot find to 0.0.0.0, which would send nowhere or listen on every interface, so that is
// refused here with an error the caller reports.

#include <oscpack/ip/IpEndpointName.h>

#include <stdexcept>
#include <string>

namespace vl::osc {

inline IpEndpointName resolveEndpoint(const std::string& address, int port) {
  IpEndpointName endpoint(address.c_str(), port);
  if (endpoint.address == 0 && address != "0.0.0.0") {
    throw std::runtime_error("unable to resolve address " + address);
  }
  return endpoint;
}

}  // namespace vl::osc
