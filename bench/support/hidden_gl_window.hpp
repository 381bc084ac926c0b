#pragma once

// The hidden OpenGL 3.3 core window a graphics benchmark draws in; it lives as long as the
// process. Aborts when no display is there to give one.

#define GLFW_INCLUDE_NONE  // OpenGL comes from epoxy
#include <GLFW/glfw3.h>

#include <cstdio>
#include <cstdlib>

inline GLFWwindow* openHiddenGLWindow(int width, int height) {
  if (!glfwInit()) std::abort();
  glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
  glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
  glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
  glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
  GLFWwindow* window = glfwCreateWindow(width, height, "bench", nullptr, nullptr);
  if (!window) {
    std::fprintf(stderr, "no OpenGL 3.3 window (run under xvfb-run)\n");
    std::abort();
  }
  glfwMakeContextCurrent(window);
  return window;
}
