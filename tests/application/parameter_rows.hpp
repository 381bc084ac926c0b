#pragma once

// Expected parameter rows and a checker that compares a parameter list with them, row by row.

#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "ui/vl_Parameter.hpp"

enum class Kind { Trigger, Float, Bool, Int, Menu, String };

struct Row {
  std::string name;
  Kind kind;
  std::string group;
  double def = 0.0;
  double min = 0.0;
  double max = 0.0;
  std::vector<std::string> elements;
};

inline Row F(std::string name, double def, double min, double max, std::string group = "") {
  return {std::move(name), Kind::Float, std::move(group), def, min, max, {}};
}
inline Row B(std::string name, double def, std::string group = "") {
  return {std::move(name), Kind::Bool, std::move(group), def, 0.0, 1.0, {}};
}
inline Row I(std::string name, double def, double min, double max, std::string group = "") {
  return {std::move(name), Kind::Int, std::move(group), def, min, max, {}};
}
inline Row M(std::string name, int index, std::vector<std::string> elements,
             std::string group = "") {
  return {std::move(name), Kind::Menu, std::move(group), double(index), 0, 0, std::move(elements)};
}
inline Row T(std::string name) {
  return {std::move(name), Kind::Trigger, "", 0, 0, 0, {}};
}
inline Row S(std::string name) {
  return {std::move(name), Kind::String, "", 0, 0, 0, {}};
}

inline const std::type_info& typeFor(Kind kind) {
  switch (kind) {
    case Kind::Trigger:
      return typeid(vl::Trigger);
    case Kind::Float:
      return typeid(vl::Parameter);
    case Kind::Bool:
      return typeid(vl::ParameterBool);
    case Kind::Int:
      return typeid(vl::ParameterInt);
    case Kind::Menu:
      return typeid(vl::ParameterMenu);
    case Kind::String:
      return typeid(vl::ParameterString);
  }
  return typeid(void);
}

// Names, exact classes, groups, empty prefixes, defaults, bounds, the value held at
// construction and menu texts, in order.
inline void expectRows(const std::vector<vl::ParameterMeta*>& params,
                       const std::vector<Row>& rows) {
  ASSERT_EQ(params.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    vl::ParameterMeta* p = params[i];
    SCOPED_TRACE("row " + std::to_string(i) + " \"" + row.name + "\"");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->getName(), row.name);
    EXPECT_EQ(p->getGroup(), row.group);
    EXPECT_EQ(p->getPrefix(), "");
    ASSERT_EQ(std::string(typeid(*p).name()), std::string(typeFor(row.kind).name()));
    switch (row.kind) {
      case Kind::Float:
      case Kind::Bool: {
        auto* f = static_cast<vl::Parameter*>(p);
        EXPECT_EQ(f->getDefault(), static_cast<float>(row.def));
        EXPECT_EQ(f->get(), static_cast<float>(row.def));
        EXPECT_EQ(f->min(), static_cast<float>(row.min));
        EXPECT_EQ(f->max(), static_cast<float>(row.max));
        break;
      }
      case Kind::Int: {
        auto* n = static_cast<vl::ParameterInt*>(p);
        EXPECT_EQ(n->getDefault(), static_cast<int32_t>(row.def));
        EXPECT_EQ(n->get(), static_cast<int32_t>(row.def));
        EXPECT_EQ(n->min(), static_cast<int32_t>(row.min));
        EXPECT_EQ(n->max(), static_cast<int32_t>(row.max));
        break;
      }
      case Kind::Menu: {
        auto* m = static_cast<vl::ParameterMenu*>(p);
        EXPECT_EQ(m->getDefault(), static_cast<int32_t>(row.def));
        EXPECT_EQ(m->get(), static_cast<int32_t>(row.def));
        EXPECT_EQ(m->getElements(), row.elements);
        break;
      }
      case Kind::String:
        EXPECT_EQ(static_cast<vl::ParameterString*>(p)->get(), "");
        EXPECT_EQ(static_cast<vl::ParameterString*>(p)->getDefault(), "");
        break;
      case Kind::Trigger:
        EXPECT_FALSE(static_cast<vl::Trigger*>(p)->get());
        break;
    }
  }
}
