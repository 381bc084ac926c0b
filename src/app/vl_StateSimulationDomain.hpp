#pragma once

#include <memory>
#include <type_traits>

#include "app/vl_SimulationDomain.hpp"

namespace vl {

// A simulation domain that owns the record the application computes every frame. The record
// travels between hosts as raw bytes, so it must be a plain record.
template <class T>
class StateSimulationDomain : public SimulationDomain {
  static_assert(std::is_trivially_copyable_v<T>, "a state record is copied as raw bytes");

 public:
  T& state() { return *mState; }
  const std::shared_ptr<T>& statePtr() const { return mState; }

 protected:
  std::shared_ptr<T> mState = std::make_shared<T>();
};

}  // namespace vl
