#include "graphics/vl_GPUObject.hpp"

namespace vl {

void GPUObject::create() {
  if (created()) {
    onDestroy();
    mID = 0;
  }
  onCreate();
}

void GPUObject::destroy() {
  if (created()) onDestroy();
  mID = 0;
}

void GPUObject::validate() {
  if (mInvalidated) {
    mInvalidated = false;
    create();
  } else if (!created()) {
    create();
  }
}

}  // namespace vl
