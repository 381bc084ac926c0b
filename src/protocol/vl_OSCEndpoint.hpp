#pragma once

// The endpoint of an address and port, for senders and receivers alike. oscpack resolves a name
// it cannot find to 0.0.0.0, which would send nowhere or listen on every interface, so that is
// refused here with an error the caller reports.

#include <arpa/inet.h>
#include <oscpack/ip/IpEndpointName.h>

#include <mutex>
#include <stdexcept>
#include <string>

namespace vl::osc {

inline IpEndpointName resolveEndpoint(const std::string& address, int port) {
  // Numeric addresses need no lookup. oscpack looks names up with gethostbyname, whose result
  // lives in one buffer for the whole process, so lookups from several threads (receive
  // threads answering commands, senders opened elsewhere) take turns.
  in_addr numeric;
  if (inet_pton(AF_INET, address.c_str(), &numeric) == 1) {
    return IpEndpointName(static_cast<unsigned long>(ntohl(numeric.s_addr)), port);
  }
  static std::mutex lookup;
  std::lock_guard<std::mutex> lock(lookup);
  IpEndpointName endpoint(address.c_str(), port);
  if (endpoint.address == 0) throw std::runtime_error("unable to resolve address " + address);
  return endpoint;
}

}  // namespace vl::osc
