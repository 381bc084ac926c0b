#pragma once

// The OSCQuery description of a parameter server's registered parameters: one node per OSC
// address, containers for the path segments above them, with the attributes clients read to
// drive a parameter without knowing it beforehand.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "protocol/vl_OSCPacket.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl::oscquery {

// The OSC type tags of the messages that set the parameter; empty for a kind not served.
std::string typeTags(ParameterMeta& parameter);

// The node of one parameter: FULL_PATH, TYPE, VALUE, RANGE, ACCESS, DESCRIPTION.
nlohmann::json parameterNode(ParameterMeta& parameter);

// The whole tree, rooted at "/", of the parameters in the order given.
nlohmann::json tree(const std::vector<ParameterMeta*>& parameters);

// The node at path in a tree; null when there is none.
const nlohmann::json* find(const nlohmann::json& tree, const std::string& path);

// The message that carries the parameter's current value, as a client would send it.
bool valueMessage(ParameterMeta& parameter, osc::Packet& packet);

}  // namespace vl::oscquery
