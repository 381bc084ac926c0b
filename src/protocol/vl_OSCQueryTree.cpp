#include "protocol/vl_OSCQueryTree.hpp"

#include <cmath>
#include <limits>

#include "protocol/vl_ParameterAddressTable.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl::oscquery {

namespace {

using Kind = ParameterAddressTable::Kind;
using json = nlohmann::json;

constexpr int kReadWrite = 3;
constexpr int kWriteOnly = 2;

// JSON has no NaN or infinity; an unbounded range end is left out instead.
json number(float v) {
  return std::isfinite(v) ? json(v) : json(nullptr);
}

json range(float lo, float hi) {
  json r = json::object();
  if (std::isfinite(lo) && lo > std::numeric_limits<float>::lowest()) r["MIN"] = lo;
  if (std::isfinite(hi) && hi < std::numeric_limits<float>::max()) r["MAX"] = hi;
  return r;
}

json rangeInt(int32_t lo, int32_t hi) {
  json r = json::object();
  if (lo > std::numeric_limits<int32_t>::min()) r["MIN"] = lo;
  if (hi < std::numeric_limits<int32_t>::max()) r["MAX"] = hi;
  return r;
}

std::string description(ParameterMeta& p) {
  auto& meta = p.metadata();
  for (const char* key : {"description", "hint"}) {
    auto it = meta.find(key);
    if (it != meta.end()) return it->second.get<std::string>();
  }
  return p.displayName().empty() ? p.getName() : p.displayName();
}

std::vector<std::string> segments(const std::string& path) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < path.size()) {
    const std::size_t slash = path.find('/', i);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > i) out.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  return out;
}

}  // namespace

std::string typeTags(ParameterMeta& p) {
  switch (ParameterAddressTable::kindOf(p)) {
    case Kind::FLOAT:
    case Kind::TRIGGER:
      return "f";
    case Kind::INT:
    case Kind::MENU:
    case Kind::CHOICE:
      return "i";
    case Kind::STRING:
      return "s";
    case Kind::VEC3:
      return "fff";
    case Kind::VEC4:
    case Kind::COLOR:
      return "ffff";
    case Kind::POSE:
      return "fffffff";
    default:
      return "";
  }
}

json parameterNode(ParameterMeta& p) {
  json node;
  node["FULL_PATH"] = p.getFullAddress();
  node["TYPE"] = typeTags(p);
  node["DESCRIPTION"] = description(p);
  node["ACCESS"] = kReadWrite;
  json value = json::array();
  json ranges = json::array();
  switch (ParameterAddressTable::kindOf(p)) {
    case Kind::FLOAT: {
      auto& f = static_cast<Parameter&>(p);
      value.push_back(number(f.get()));
      ranges.push_back(range(f.min(), f.max()));
      break;
    }
    case Kind::INT: {
      auto& i = static_cast<ParameterInt&>(p);
      value.push_back(i.get());
      ranges.push_back(rangeInt(i.min(), i.max()));
      break;
    }
    case Kind::MENU: {
      auto& m = static_cast<ParameterMenu&>(p);
      value.push_back(m.get());
      json vals = json::array();
      const std::vector<std::string> elements = m.getElements();
      for (std::size_t k = 0; k < elements.size(); ++k) vals.push_back(static_cast<int32_t>(k));
      ranges.push_back({{"VALS", vals}});
      // The texts the indices stand for, for a client that shows them.
      node["MENU_ITEMS"] = elements;
      break;
    }
    case Kind::CHOICE:
      value.push_back(static_cast<int32_t>(static_cast<ParameterChoice&>(p).get()));
      ranges.push_back({{"MIN", 0}, {"MAX", 0xffff}});
      break;
    case Kind::STRING:
      value.push_back(static_cast<ParameterString&>(p).get());
      ranges.push_back(nullptr);
      break;
    case Kind::VEC3: {
      auto& v = static_cast<ParameterVec3&>(p);
      const Vec3f x = v.get(), lo = v.min(), hi = v.max();
      for (int k = 0; k < 3; ++k) {
        value.push_back(number(x[k]));
        ranges.push_back(lo == hi ? json::object() : range(lo[k], hi[k]));
      }
      break;
    }
    case Kind::VEC4: {
      auto& v = static_cast<ParameterVec4&>(p);
      const Vec4f x = v.get(), lo = v.min(), hi = v.max();
      for (int k = 0; k < 4; ++k) {
        value.push_back(number(x[k]));
        ranges.push_back(lo == hi ? json::object() : range(lo[k], hi[k]));
      }
      break;
    }
    case Kind::COLOR: {
      const Color c = static_cast<ParameterColor&>(p).get();
      for (float x : {c.r, c.g, c.b, c.a}) {
        value.push_back(number(x));
        ranges.push_back(range(0.0f, 1.0f));
      }
      break;
    }
    case Kind::POSE: {
      const Pose pose = static_cast<ParameterPose&>(p).get();
      const Vec3d pos = pose.pos();
      const Quatd q = pose.quat();
      for (double x : {pos[0], pos[1], pos[2], q.w, q.x, q.y, q.z}) {
        value.push_back(number(static_cast<float>(x)));
        ranges.push_back(json::object());
      }
      break;
    }
    case Kind::TRIGGER:
      // A trigger fires on 1 and has no state to read.
      node["ACCESS"] = kWriteOnly;
      ranges.push_back({{"MIN", 0.0f}, {"MAX", 1.0f}});
      node["RANGE"] = ranges;
      return node;
    default:
      node["ACCESS"] = 0;
      return node;
  }
  node["VALUE"] = value;
  node["RANGE"] = ranges;
  return node;
}

json tree(const std::vector<ParameterMeta*>& parameters) {
  json root = {{"FULL_PATH", "/"},
               {"ACCESS", 0},
               {"DESCRIPTION", "root node"},
               {"CONTENTS", json::object()}};
  for (ParameterMeta* p : parameters) {
    if (typeTags(*p).empty()) continue;
    json* node = &root;
    std::string path;
    const std::vector<std::string> parts = segments(p->getFullAddress());
    for (const std::string& part : parts) {
      path += "/" + part;
      json& contents = (*node)["CONTENTS"];
      if (!contents.is_object()) contents = json::object();
      if (!contents.contains(part)) {
        contents[part] = {{"FULL_PATH", path}, {"ACCESS", 0}};
      }
      node = &contents[part];
    }
    json own = parameterNode(*p);
    for (auto& [key, v] : own.items()) (*node)[key] = v;
  }
  return root;
}

const json* find(const json& tree, const std::string& path) {
  const json* node = &tree;
  for (const std::string& part : segments(path)) {
    auto contents = node->find("CONTENTS");
    if (contents == node->end() || !contents->is_object()) return nullptr;
    auto child = contents->find(part);
    if (child == contents->end()) return nullptr;
    node = &*child;
  }
  return node;
}

bool valueMessage(ParameterMeta& p, osc::Packet& packet) {
  const json node = parameterNode(p);
  auto value = node.find("VALUE");
  if (value == node.end()) return false;
  const std::string tags = typeTags(p);
  packet.clear();
  packet.beginMessage(p.getFullAddress());
  for (std::size_t k = 0; k < tags.size() && k < value->size(); ++k) {
    const json& v = (*value)[k];
    if (tags[k] == 'f') packet.add(v.is_number() ? v.get<float>() : 0.0f);
    if (tags[k] == 'i') packet.add(v.get<int32_t>());
    if (tags[k] == 's') packet.add(v.get<std::string>());
  }
  packet.endMessage();
  return packet.ready();
}

}  // namespace vl::oscquery
