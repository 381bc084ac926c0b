#pragma once

// Asks a window to close the way a window manager's close button does: a WM_DELETE_WINDOW
// message from the WM_PROTOCOLS family. (xdotool's windowclose destroys the window instead.)
// Xlib stays out of the header: its macros clash with ordinary names.

#include <string>

namespace zentha_program {

// window: the X window id as xdotool prints it. False when the display or window is not there.
bool askWindowToClose(const std::string& window);

}  // namespace zentha_program
