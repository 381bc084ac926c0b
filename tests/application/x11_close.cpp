#include "x11_close.hpp"

#include <X11/Xlib.h>

namespace zentha_program {

bool askWindowToClose(const std::string& window) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = Window(std::stoul(window));
  e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  const bool sent = XSendEvent(display, e.xclient.window, False, NoEventMask, &e) != 0;
  XFlush(display);
  XCloseDisplay(display);
  return sent;
}

}  // namespace zentha_program
