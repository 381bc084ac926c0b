#include "VisualParameters.hpp"

VisualParameters::VisualParameters()
    : thick("thick", "", 1.0f, "", 0.0f, 99.0f),
      howTranslucent("howTranslucent", "", 0.2f, "", 0.0f, 1.0f),
      drawType("drawType", "", 0, "") {
  drawType.setElements(drawTypeNames());
}

const std::vector<std::string>& VisualParameters::drawTypeNames() {
  static const std::vector<std::string> names{"ribbon", "particles", "markers"};
  return names;
}

std::vector<vl::ParameterMeta*> VisualParameters::parameters() {
  return {&thick, &howTranslucent, &drawType};
}
