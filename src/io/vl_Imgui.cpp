#include "io/vl_Imgui.hpp"

#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include "core/vl_Console.hpp"
#include "io/vl_Window.hpp"

namespace vl {

namespace {
bool gActive = false;
}

bool imguiInit(Window& window) {
  if (gActive) return true;
  if (!window.created()) {
    printError("ERROR: imgui needs an open window\n");
    return false;
  }
  IMGUI_CHECKVERSION();
  ImGui::CreateContext();
  ImGui::StyleColorsDark();
  // Input reaches the framework through the window's own callbacks; the GUI draws no panel
  // of its own, so its back end installs none that would sit in front of them.
  if (!ImGui_ImplGlfw_InitForOpenGL(window.windowHandle(), false)) {
    printError("ERROR: imgui could not start its GLFW back end\n");
    ImGui::DestroyContext();
    return false;
  }
  if (!ImGui_ImplOpenGL3_Init("#version 330")) {
    printError("ERROR: imgui could not start its OpenGL 3 back end\n");
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    return false;
  }
  gActive = true;
  return true;
}

void imguiShutdown() {
  if (!gActive) return;
  ImGui_ImplOpenGL3_Shutdown();
  ImGui_ImplGlfw_Shutdown();
  ImGui::DestroyContext();
  gActive = false;
}

bool imguiActive() {
  return gActive;
}

}  // namespace vl
