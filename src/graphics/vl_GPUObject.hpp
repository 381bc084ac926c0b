#pragma once

#include <utility>

namespace vl {

// Owner of one OpenGL object name (0 = none). Subclasses supply onCreate (which sets mID)
// and onDestroy, and call destroy() in their own destructor, where the virtual call still
// reaches them. Objects must be destroyed while their context is current.
class GPUObject {
 public:
  GPUObject() = default;
  GPUObject(const GPUObject&) = delete;
  GPUObject& operator=(const GPUObject&) = delete;
  GPUObject(GPUObject&& o) noexcept : mID(std::exchange(o.mID, 0u)), mInvalidated(o.mInvalidated) {}
  virtual ~GPUObject() = default;

  // Destroys an existing object first, then creates a fresh one.
  void create();
  // Deletes the object if one exists.
  void destroy();
  bool created() const { return mID != 0; }
  // Recreates an invalidated object (e.g. after its context was lost), creates a missing one.
  void validate();
  void invalidate() { mInvalidated = true; }
  bool invalidated() const { return mInvalidated; }
  unsigned id() const { return mID; }

 protected:
  virtual void onCreate() = 0;
  virtual void onDestroy() = 0;

  unsigned mID = 0;
  bool mInvalidated = false;
};

}  // namespace vl
