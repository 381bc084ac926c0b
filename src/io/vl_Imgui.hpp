#pragma once

// Dear ImGui on a window, with its GLFW and OpenGL 3 back ends: started in an application's
// onCreate, once its window is open, and stopped in onExit. One GUI per process, main thread.

namespace vl {

class Window;

// Needs the window open with its context current. True when the GUI runs (also when it was
// already running); a back end that fails to start is reported and leaves nothing behind.
bool imguiInit(Window& window);
// Stops the back ends and the GUI; does nothing when it is not running.
void imguiShutdown();
bool imguiActive();

}  // namespace vl
