#pragma once

// The parameters reachable by OSC, found by address in constant time, and the rules by which a
// received message sets each kind. Messages come from the network: a message whose tags do
// not fit a parameter's kind, or whose value that kind cannot take, leaves it alone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "protocol/vl_OSC.hpp"
#include "ui/vl_ParameterMeta.hpp"

namespace vl {

class ParameterAddressTable {
 public:
  enum class Kind : uint8_t {
    FLOAT,   // Parameter, ParameterBool
    INT,     // ParameterInt
    MENU,    // ParameterMenu
    CHOICE,  // ParameterChoice
    STRING,
    VEC3,
    VEC4,
    COLOR,
    POSE,
    POSE_POSITION,  // pose address + "/pos"
    POSE_X,         // + "/pos/x", "/pos/y", "/pos/z"
    POSE_Y,
    POSE_Z,
    TRIGGER,
    UNSUPPORTED
  };
  struct Entry {
    ParameterMeta* parameter;
    Kind kind;
  };

  // The kind a parameter is served as; UNSUPPORTED outside the known classes.
  static Kind kindOf(ParameterMeta& parameter);

  // Files the parameter under prefix + its address (a pose also under its sub-addresses),
  // after the parameters already there. Returns its kind.
  Kind add(ParameterMeta& parameter, const std::string& prefix = "");
  void clear() { mEntries.clear(); }
  bool empty() const { return mEntries.empty(); }

  // Applies the message to each parameter at its address, in the order they were added; the
  // source goes to the parameters' callbacks. False when no parameter has that address.
  bool apply(osc::Message& message, ValueSource* source) const;

  // The same rules for one parameter reached at prefix-free address, without a table (a voice's
  // parameters, looked up per message). False when the address is not the parameter's.
  static bool applyAt(ParameterMeta& parameter, const std::string& address, osc::Message& message,
                      ValueSource* source);

 private:
  static void apply(const Entry& entry, osc::Message& message, ValueSource* source);

  std::unordered_map<std::string, std::vector<Entry>> mEntries;
};

}  // namespace vl
