#pragma once

#include <cstddef>

#include "graphics/vl_GPUObject.hpp"

namespace vl {

// An OpenGL buffer bound to one target (GL_ARRAY_BUFFER unless told otherwise).
class BufferObject : public GPUObject {
 public:
  explicit BufferObject(unsigned target = 0x8892 /* GL_ARRAY_BUFFER */,
                        unsigned usage = 0x88E8 /* GL_DYNAMIC_DRAW */)
      : mTarget(target), mUsage(usage) {}
  BufferObject(BufferObject&&) noexcept = default;
  ~BufferObject() override { destroy(); }

  unsigned target() const { return mTarget; }
  void bind();
  void unbind() const;
  // Replaces the contents (creating the buffer if needed); the buffer stays bound.
  void data(std::size_t bytes, const void* src);
  // Overwrites part of the contents; the buffer must be large enough.
  void subData(std::size_t offset, std::size_t bytes, const void* src);
  std::size_t size() const { return mSize; }

 protected:
  void onCreate() override;
  void onDestroy() override;

 private:
  unsigned mTarget, mUsage;
  std::size_t mSize = 0;
};

}  // namespace vl
