#include "graphics/vl_DefaultShaders.hpp"

namespace vl {

// v is a vertex in eye space, e the signed half eye separation, f the focal length. The
// vertex is moved so that, seen from the centre eye, it appears where the displaced eye at
// (e, 0, 0) would see it on the focal plane; its distance to that eye is kept.
static const char* kPlanarDisplace = R"(
vec4 stereo_displace(vec4 v, float e, float f) {
  float l = sqrt((v.x - e) * (v.x - e) + v.y * v.y + v.z * v.z);
  float z = abs(v.z);
  float t = f * (v.x - e) / z;
  v.x = z * (e + t) / f;
  v.xyz = normalize(v.xyz) * l;
  return v;
}
)";

// Omnidirectional variant: the eye offset is horizontal and orthogonal to the vertex
// direction, and the ray from the eye is cast to a sphere of radius r.
static const char* kSphericalDisplace = R"(
vec4 stereo_displace(vec4 v, float e, float r) {
  vec3 OE = normalize(vec3(-v.z, 0.0, v.x)) * e;
  vec3 EV = v.xyz - OE;
  float ev = length(EV);
  EV /= ev;
  float b = -dot(OE, EV);
  float cc = e * e - r * r;
  float t = -b + sqrt(b * b - cc);
  v.xyz = normalize(OE + t * EV) * ev;
  return v;
}
)";

const char* stereoDisplaceFunction(bool omni) {
  return omni ? kSphericalDisplace : kPlanarDisplace;
}

static const char* kClipPosition = R"(
  if (eye_sep == 0.0) {
    gl_Position = vl_ProjectionMatrix * vl_ModelViewMatrix * vec4(position, 1.0);
  } else {
    gl_Position = vl_ProjectionMatrix * stereo_displace(vl_ModelViewMatrix * vec4(position, 1.0), eye_sep, foc_len);
  }
)";

static std::string unlitVertex(DefaultShaderKind kind) {
  std::string s = R"(
uniform mat4 vl_ModelViewMatrix;
uniform mat4 vl_ProjectionMatrix;
layout (location = 0) in vec3 position;
uniform float eye_sep;
uniform float foc_len;
)";
  if (kind == DefaultShaderKind::MESH)
    s += "layout (location = 1) in vec4 color;\nout vec4 color_;\n";
  if (kind == DefaultShaderKind::TEXTURE)
    s += "layout (location = 2) in vec2 texcoord;\nout vec2 texcoord_;\n";
  s += "void main() {";
  s += kClipPosition;
  if (kind == DefaultShaderKind::MESH) s += "  color_ = color;\n";
  if (kind == DefaultShaderKind::TEXTURE) s += "  texcoord_ = texcoord;\n";
  s += "}\n";
  return s;
}

static std::string litVertex(DefaultShaderKind kind, int numLights) {
  std::string s = R"(
uniform mat4 vl_ModelViewMatrix;
uniform mat4 vl_ProjectionMatrix;
uniform mat4 vl_NormalMatrix;
uniform float eye_sep;
uniform float foc_len;
layout (location = 0) in vec3 position;
layout (location = 3) in vec3 normal;
out vec3 normal_eye;
out vec3 eye_dir;
)";
  if (kind == DefaultShaderKind::MESH)
    s += "layout (location = 1) in vec4 color;\nout vec4 color_;\n";
  if (kind == DefaultShaderKind::TEXTURE)
    s += "layout (location = 2) in vec2 texcoord;\nout vec2 texcoord_;\n";
  for (int i = 0; i < numLights; ++i) {
    std::string n = "light" + std::to_string(i);
    s += "uniform vec4 " + n + "_eye;\nout vec3 " + n + "_dir;\n";
  }
  s += "void main() {\n  vec4 vert_eye = vl_ModelViewMatrix * vec4(position, 1.0);";
  s += kClipPosition;
  s += "  normal_eye = (vl_NormalMatrix * vec4(normalize(normal), 0.0)).xyz;\n";
  s += "  eye_dir = -vert_eye.xyz;\n";
  if (kind == DefaultShaderKind::MESH) s += "  color_ = color;\n";
  if (kind == DefaultShaderKind::TEXTURE) s += "  texcoord_ = texcoord;\n";
  for (int i = 0; i < numLights; ++i) {
    std::string n = "light" + std::to_string(i);
    s += "  " + n + "_dir = " + n + "_eye.xyz - vert_eye.xyz * " + n + "_eye.w;\n";
  }
  s += "}\n";
  return s;
}

std::string defaultVertexShader(DefaultShaderKind kind, bool omni, int numLights) {
  std::string s = "#version 330\n";
  s += stereoDisplaceFunction(omni);
  s += numLights > 0 ? litVertex(kind, numLights) : unlitVertex(kind);
  return s;
}

static std::string unlitFragment(DefaultShaderKind kind) {
  std::string s = "#version 330\nout vec4 frag_color;\nuniform vec4 tint;\n";
  switch (kind) {
    case DefaultShaderKind::MESH:
      s += "in vec4 color_;\nvoid main() {\n  frag_color = color_ * tint;\n}\n";
      break;
    case DefaultShaderKind::TEXTURE:
      s += "uniform sampler2D tex0;\nin vec2 texcoord_;\n"
           "void main() {\n  frag_color = texture(tex0, texcoord_) * tint;\n}\n";
      break;
    default:
      s += "uniform vec4 col0;\nvoid main() {\n  frag_color = col0 * tint;\n}\n";
      break;
  }
  return s;
}

static std::string litFragment(DefaultShaderKind kind, int numLights) {
  std::string s =
      "#version 330\nin vec3 normal_eye;\nin vec3 eye_dir;\nout vec4 frag_color;\n"
      "uniform vec4 light_global_ambient;\nuniform vec4 tint;\n";
  switch (kind) {
    case DefaultShaderKind::UNIFORM_COLOR:
      s += "uniform vec4 col0;\n";
      break;
    case DefaultShaderKind::MESH:
      s += "in vec4 color_;\n";
      break;
    case DefaultShaderKind::TEXTURE:
      s += "in vec2 texcoord_;\nuniform sampler2D tex0;\n";
      break;
    case DefaultShaderKind::MATERIAL:
      s += "uniform vec4 material_ambient;\nuniform vec4 material_diffuse;\n"
           "uniform vec4 material_specular;\nuniform float material_shininess;\n";
      break;
  }
  for (int i = 0; i < numLights; ++i) {
    std::string n = "light" + std::to_string(i);
    s += "uniform vec4 " + n + "_ambient;\nuniform vec4 " + n + "_diffuse;\nuniform vec4 " + n +
         "_specular;\nuniform float " + n + "_enabled;\nin vec3 " + n + "_dir;\n";
  }
  s += "void main() {\n  vec3 n = normalize(normal_eye);\n  vec3 e = normalize(eye_dir);\n"
       "  vec3 lighting = vec3(0.0);\n";
  switch (kind) {
    case DefaultShaderKind::UNIFORM_COLOR:
      s += "  vec3 ambient = col0.rgb * col0.a;\n";
      break;
    case DefaultShaderKind::MESH:
      s += "  vec3 ambient = color_.rgb * color_.a;\n";
      break;
    case DefaultShaderKind::TEXTURE:
      s += "  vec4 texel = texture(tex0, texcoord_);\n  vec3 ambient = texel.rgb * texel.a;\n";
      break;
    case DefaultShaderKind::MATERIAL:
      s += "  vec3 ambient = material_ambient.rgb * material_ambient.a;\n"
           "  vec3 diffuse = material_diffuse.rgb * material_diffuse.a;\n"
           "  vec3 specular = material_specular.rgb * material_specular.a;\n"
           "  float shininess = material_shininess;\n";
      break;
  }
  if (kind != DefaultShaderKind::MATERIAL)
    s += "  vec3 diffuse = ambient;\n  vec3 specular = ambient;\n  float shininess = 5.0;\n";
  for (int i = 0; i < numLights; ++i) {
    std::string n = "light" + std::to_string(i);
    s += "  {\n    vec3 d = normalize(" + n + "_dir);\n    vec3 r = -reflect(d, n);\n" +
         "    float n_d = max(dot(n, d), 0.0);\n    float e_r = max(dot(e, r), 0.0);\n" +
         "    lighting += " + n + "_enabled * (ambient * " + n + "_ambient.rgb + diffuse * " + n +
         "_diffuse.rgb * n_d + specular * " + n + "_specular.rgb * pow(e_r, shininess));\n  }\n";
  }
  s += "  lighting += ambient * light_global_ambient.rgb;\n"
       "  frag_color = tint * vec4(lighting, 1.0);\n}\n";
  return s;
}

std::string defaultFragmentShader(DefaultShaderKind kind, int numLights) {
  return numLights > 0 ? litFragment(kind, numLights) : unlitFragment(kind);
}

}  // namespace vl
