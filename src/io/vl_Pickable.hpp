#pragma once

#include <string>
#include <vector>

#include "io/vl_PickableEvent.hpp"
#include "ui/vl_Parameter.hpp"
#include "ui/vl_ParameterBundle.hpp"

namespace vl {

class Graphics;

// An object in the world that a pointer ray can hover, press and release. Its pose, scale
// and state are parameters, grouped under its name and bundled as "pickable", so that they
// can be stored and sent like any other. Children are tested in the item's own frame.
// Pick events come from the window's input callbacks: main thread only.
class Pickable {
 public:
  explicit Pickable(std::string name = "pickable");
  virtual ~Pickable() = default;
  Pickable(const Pickable&) = delete;
  Pickable& operator=(const Pickable&) = delete;

  const std::string& name() const { return mName; }

  ParameterBool hover;     // the pointer is over the item
  ParameterBool selected;  // the item was pressed
  ParameterPose pose;
  ParameterVec3 scaleVec;
  Parameter scale;  // sets scaleVec uniformly
  ParameterBundle bundle{"pickable"};

  // Tests a ray from the point along the framework's forward direction (−z).
  virtual Hit intersectPoint(const Vec3d& point);
  // Tests a ray given in the parent's frame (the world for top-level items).
  virtual Hit intersect(const Rayd& ray) = 0;
  // Reacts to an event; true when it was used.
  virtual bool onEvent(PickEvent&, Hit&) { return false; }
  // Offers the event to the children first (their ray in this item's frame); when none
  // used it, tests the ray and hands the result to onEvent.
  virtual bool event(PickEvent& e);

  // Not owned.
  void addChild(Pickable& child) { mChildren.push_back(&child); }
  const std::vector<Pickable*>& children() const { return mChildren; }
  // With the flag clear the children see the event's ray unchanged.
  void testChildren(bool on) { mTestChildren = on; }
  bool testChildren() const { return mTestChildren; }

  // The ray carried from the parent's frame into this item's own: the inverse of its pose
  // and scale, with the direction made unit length again.
  Rayd toLocal(const Rayd& ray);

  // Grabbing: remembers the item's pose and where the pointer took hold of it, then moves
  // the item so that the point held follows the pointer.
  void grab(const Vec3d& point, const Pose& pointer = {});
  void dragTo(const Vec3d& point);

  // Applies (and removes) the item's pose and scale on the model stack, for drawing.
  void pushMatrix(Graphics& g);
  void popMatrix(Graphics& g);

 private:
  std::string mName;
  std::vector<Pickable*> mChildren;
  bool mTestChildren = true;
  Pose mPrevPose;      // the item's pose when grabbed
  Pose mSelectPose;    // the pointer when it grabbed: the point held, the device's turn
  Pose mSelectOffset;  // the item's position relative to the point held
};

}  // namespace vl
