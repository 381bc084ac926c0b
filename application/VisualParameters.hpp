#pragma once

// The drawing group of a voice, held by its visual.

#include <string>
#include <vector>

#include "ui/vl_Parameter.hpp"

class VisualParameters {
 public:
  VisualParameters();
  VisualParameters(const VisualParameters&) = delete;
  VisualParameters& operator=(const VisualParameters&) = delete;

  vl::Parameter thick;           // needle length factor
  vl::Parameter howTranslucent;  // ribbon opacity factor
  // "ribbon", "particles", "markers"; filled at construction so that the index always names
  // a style, even before the visual is initialised.
  vl::ParameterMenu drawType;

  static const std::vector<std::string>& drawTypeNames();

  // In table order.
  std::vector<vl::ParameterMeta*> parameters();
};
