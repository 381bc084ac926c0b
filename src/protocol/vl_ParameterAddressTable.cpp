#include "protocol/vl_ParameterAddressTable.hpp"

#include <cmath>
#include <typeinfo>

#include "core/vl_Console.hpp"
#include "sound/vl_SynthRegistry.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

namespace {

// Reads n floats when the tags are exactly n "f"; a non-finite value refuses the message,
// since NaN passes every clamp and would reach the audio and the drawing.
template <std::size_t N>
bool readFloats(osc::Message& m, float (&v)[N]) {
  if (m.typeTags().size() != N || m.typeTags().find_first_not_of('f') != std::string::npos) {
    return false;
  }
  for (float& x : v) {
    m >> x;
    if (!std::isfinite(x)) return false;
  }
  return true;
}

bool readInt(osc::Message& m, int32_t& v) {
  if (m.typeTags() != "i") return false;
  m >> v;
  return true;
}

}  // namespace

ParameterAddressTable::Kind ParameterAddressTable::kindOf(ParameterMeta& p) {
  // Parameter covers ParameterBool and any class derived from the known ones.
  if (dynamic_cast<Parameter*>(&p)) return Kind::FLOAT;
  if (dynamic_cast<ParameterInt*>(&p)) return Kind::INT;
  if (dynamic_cast<ParameterMenu*>(&p)) return Kind::MENU;
  if (dynamic_cast<ParameterChoice*>(&p)) return Kind::CHOICE;
  if (dynamic_cast<ParameterString*>(&p)) return Kind::STRING;
  if (dynamic_cast<ParameterVec3*>(&p)) return Kind::VEC3;
  if (dynamic_cast<ParameterVec4*>(&p)) return Kind::VEC4;
  if (dynamic_cast<ParameterColor*>(&p)) return Kind::COLOR;
  if (dynamic_cast<ParameterPose*>(&p)) return Kind::POSE;
  if (dynamic_cast<Trigger*>(&p)) return Kind::TRIGGER;
  return Kind::UNSUPPORTED;
}

ParameterAddressTable::Kind ParameterAddressTable::add(ParameterMeta& p,
                                                       const std::string& prefix) {
  const Kind kind = kindOf(p);
  const std::string address = prefix + p.getFullAddress();
  mEntries[address].push_back({&p, kind});
  if (kind == Kind::POSE) {
    mEntries[address + "/pos"].push_back({&p, Kind::POSE_POSITION});
    mEntries[address + "/pos/x"].push_back({&p, Kind::POSE_X});
    mEntries[address + "/pos/y"].push_back({&p, Kind::POSE_Y});
    mEntries[address + "/pos/z"].push_back({&p, Kind::POSE_Z});
  }
  return kind;
}

bool ParameterAddressTable::apply(osc::Message& message, ValueSource* source) const {
  auto it = mEntries.find(message.addressPattern());
  if (it == mEntries.end()) return false;
  // Indexed, not iterated: a callback may register further parameters meanwhile.
  const std::vector<Entry>& entries = it->second;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    message.resetStream();
    apply(entries[i], message, source);
  }
  return true;
}

bool ParameterAddressTable::applyAt(ParameterMeta& p, const std::string& address,
                                    osc::Message& message, ValueSource* source) {
  Kind kind = kindOf(p);
  const std::string& own = p.getFullAddress();
  if (address != own) {
    if (kind != Kind::POSE || address.compare(0, own.size(), own) != 0) return false;
    const std::string sub = address.substr(own.size());
    if (sub == "/pos") {
      kind = Kind::POSE_POSITION;
    } else if (sub == "/pos/x") {
      kind = Kind::POSE_X;
    } else if (sub == "/pos/y") {
      kind = Kind::POSE_Y;
    } else if (sub == "/pos/z") {
      kind = Kind::POSE_Z;
    } else {
      return false;
    }
  }
  message.resetStream();
  apply({&p, kind}, message, source);
  return true;
}

void ParameterAddressTable::apply(const Entry& e, osc::Message& m, ValueSource* source) {
  switch (e.kind) {
    case Kind::FLOAT: {
      float v[1];
      if (readFloats(m, v)) static_cast<Parameter*>(e.parameter)->set(v[0], source);
      break;
    }
    case Kind::INT: {
      int32_t v;
      if (readInt(m, v)) static_cast<ParameterInt*>(e.parameter)->set(v, source);
      break;
    }
    case Kind::MENU: {
      // An index outside the menu's texts names nothing.
      auto* menu = static_cast<ParameterMenu*>(e.parameter);
      int32_t v;
      if (!readInt(m, v) || v < 0) break;
      const std::size_t count = menu->getElements().size();
      if (count > 0 && static_cast<std::size_t>(v) >= count) break;
      menu->set(v, source);
      break;
    }
    case Kind::CHOICE: {
      int32_t v;
      if (readInt(m, v) && v >= 0 && v <= 0xffff) {
        static_cast<ParameterChoice*>(e.parameter)->set(static_cast<uint16_t>(v), source);
      }
      break;
    }
    case Kind::STRING: {
      if (m.typeTags() != "s") break;
      std::string v;
      m >> v;
      static_cast<ParameterString*>(e.parameter)->set(v, source);
      break;
    }
    case Kind::VEC3: {
      float v[3];
      if (readFloats(m, v))
        static_cast<ParameterVec3*>(e.parameter)->set(Vec3f(v[0], v[1], v[2]), source);
      break;
    }
    case Kind::VEC4: {
      float v[4];
      if (readFloats(m, v)) {
        static_cast<ParameterVec4*>(e.parameter)->set(Vec4f(v[0], v[1], v[2], v[3]), source);
      }
      break;
    }
    case Kind::COLOR: {
      float v[4];
      if (readFloats(m, v)) {
        static_cast<ParameterColor*>(e.parameter)->set(Color(v[0], v[1], v[2], v[3]), source);
      }
      break;
    }
    case Kind::POSE: {
      float v[7];
      if (readFloats(m, v)) {
        static_cast<ParameterPose*>(e.parameter)
            ->set(Pose({v[0], v[1], v[2]}, Quatd(v[3], v[4], v[5], v[6])), source);
      }
      break;
    }
    case Kind::POSE_POSITION: {
      auto* pose = static_cast<ParameterPose*>(e.parameter);
      float v[3];
      if (!readFloats(m, v)) break;
      Pose p = pose->get();
      p.position = Vec3d(v[0], v[1], v[2]);
      pose->set(p, source);
      break;
    }
    case Kind::POSE_X:
    case Kind::POSE_Y:
    case Kind::POSE_Z: {
      auto* pose = static_cast<ParameterPose*>(e.parameter);
      float v[1];
      if (!readFloats(m, v)) break;
      Pose p = pose->get();
      p.position[static_cast<std::size_t>(e.kind) - static_cast<std::size_t>(Kind::POSE_X)] = v[0];
      pose->set(p, source);
      break;
    }
    case Kind::TRIGGER: {
      float v[1];
      if (readFloats(m, v) && v[0] == 1.0f) static_cast<Trigger*>(e.parameter)->set(true, nullptr);
      break;
    }
    case Kind::UNSUPPORTED:
      print("Unsupported registered Parameter on message %s\n",
            SynthRegistry::demangle(typeid(*e.parameter).name()).c_str());
      break;
  }
}

}  // namespace vl
