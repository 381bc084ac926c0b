#pragma once

// One program on several machines: a primary that owns the simulation and the controls, and
// renderers, audio machines and replicas that follow it. Before anything starts, the instance
// decides what it is: from the node table "distributed_app.toml" in the working directory (its
// host's entry), from the facility's host profiles when there is no table, or from finding its
// OSC port taken on this machine (a second copy follows the first as a local replica). It then
// opens only the windows and domains its capabilities call for, and the primary sends its
// parameter changes to every other node of the table.

#include <map>
#include <memory>
#include <string>

#include "app/vl_App.hpp"
#include "app/vl_NodeConfiguration.hpp"
#include "app/vl_OmniRendererDomain.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

class DistributedApp : public App, public NodeConfiguration {
 public:
  static constexpr const char* NODE_TABLE_FILE = "distributed_app.toml";

  DistributedApp();
  ~DistributedApp() override;

  // Decides rank, group, data root and capabilities, keeps or removes the audio domain,
  // registers the gain with the parameter server, then connects and initialises the domains.
  // Runs once; start calls it first. A malformed node table throws the loader's exception.
  virtual void prepare();
  void start() override;

  // The renderer window of a node with capability 8, empty otherwise (and before start).
  std::shared_ptr<OmniRendererDomain> omniRendererDomain() { return mOmniRendererDomain; }

  // Where calibration data lives: the facility's calibration directory on one of its renderer
  // hosts, else the default given.
  std::string calibrationDataRoot(const std::string& defaultPath) const;

  bool isPrimary() const { return rank == 0; }
  const std::string& hostName() const { return mHostName; }
  bool foundInNodeTable() const { return mFoundInNodeTable; }
  bool hasNodeTable() const { return mHasNodeTable; }
  // Named settings; "broadcastAddress" is where the state record goes.
  const std::map<std::string, std::string>& settings() const { return mSettings; }
  std::string setting(const std::string& name) const;
  // The host names of the node table, each with its role.
  const std::map<std::string, std::string>& nodes() const { return mNodes; }

  // The output gain ("/vantapp/sound/gain", 0 to 2), on the network and into the audio I/O.
  Parameter gain{"gain", "sound", 1.0f, "vantapp", 0.0f, 2.0f};
  // Whether the renderer window shows the whole sphere ("/vantapp/graphics/panorama"), offered
  // only by an instance that has one: an engineer may look at a renderer's flat view from afar.
  ParameterBool panorama{"panorama", "graphics", 1.0f, "vantapp"};

 protected:
  // The window accessors answer from the omnidirectional renderer when this instance has one.
  GLFWOpenGLWindowDomain* windowDomain() const override;
  void releaseWindowDomains() override;

 private:
  void readNodeTable();
  void takeRole(const std::string& role);
  void decideRoleByPort();

  std::shared_ptr<OmniRendererDomain> mOmniRendererDomain;
  std::map<std::string, std::string> mSettings;
  std::map<std::string, std::string> mNodes;
  std::string mHostName;
  bool mFoundInNodeTable = false;
  bool mHasNodeTable = false;
  bool mPrepared = false;
};

}  // namespace vl
