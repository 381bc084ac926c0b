// The GUI's back ends on a real window and OpenGL 3.3 core context: they start, draw a frame
// with their own shaders and font atlas, and stop without leaving anything behind.
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include <string>

#include "io/vl_Imgui.hpp"
#include "io/vl_Window.hpp"

TEST(Imgui, StartsOnAWindowDrawsAFrameAndStops) {
  vl::initializeWindowManager();
  vl::Window w;
  w.title("vl-imgui");
  ASSERT_TRUE(w.create(false));
  w.makeCurrent();
  testing::internal::CaptureStderr();
  ASSERT_TRUE(vl::imguiInit(w));
  EXPECT_TRUE(vl::imguiInit(w));  // already running
  ImGuiIO& io = ImGui::GetIO();
  EXPECT_EQ(std::string(io.BackendPlatformName), "imgui_impl_glfw");
  EXPECT_EQ(std::string(io.BackendRendererName), "imgui_impl_opengl3");

  for (int frame = 0; frame < 2; ++frame) {  // a new window shows from its second frame
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    ImGui::Begin("probe");
    ImGui::Text("ZENTHA");
    ImGui::End();
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
  }
  EXPECT_GT(ImGui::GetDrawData()->TotalVtxCount, 0);
  EXPECT_NE(io.Fonts->TexID, ImTextureID{});  // the renderer made its font texture
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // its shaders compiled under 3.3 core

  vl::imguiShutdown();
  EXPECT_FALSE(vl::imguiActive());
  EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);
  vl::imguiShutdown();  // harmless when stopped
  w.destroy();
  vl::terminateWindowManager();
}
