#include "io/vl_WindowEventHandler.hpp"

#include "io/vl_Window.hpp"

namespace vl {

WindowEventHandler::~WindowEventHandler() {
  removeFromWindow();
}

void WindowEventHandler::removeFromWindow() {
  if (mWindow) mWindow->remove(*this);
}

}  // namespace vl
