#pragma once

#include <string>

namespace vl {

// GLSL text of the default programs. Attribute locations: position 0, colour 1, texture
// coordinate 2, normal 3.
enum class DefaultShaderKind { UNIFORM_COLOR = 0, MESH = 1, TEXTURE = 2, MATERIAL = 3 };

// numLights 0 gives the unlit program (not available for MATERIAL, which then draws with the
// uniform colour); 1 to 8 the lit ones. omni selects the spherical stereo displacement.
std::string defaultVertexShader(DefaultShaderKind kind, bool omni, int numLights);
std::string defaultFragmentShader(DefaultShaderKind kind, int numLights);

// The stereo displacement function alone (planar or spherical).
const char* stereoDisplaceFunction(bool omni);

}  // namespace vl
