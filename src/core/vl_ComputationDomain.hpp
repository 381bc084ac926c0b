#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vl {

class ParameterMeta;
class SynchronousDomain;

// A unit of scheduled work with a uniform life cycle (initialise, start, tick, stop, clean up)
// and an ordered list of sub-domains driven before ("prepend") or after the domain's own work.
class ComputationDomain {
 public:
  using Callback = std::function<void(ComputationDomain*)>;

  struct SubDomain {
    std::shared_ptr<SynchronousDomain> domain;
    bool prepend;
  };

  virtual ~ComputationDomain() = default;

  // Initialises the prepend sub-domains, then the others; every one is visited even after a
  // failure and the result is the AND of all of them.
  virtual bool init(ComputationDomain* parent = nullptr);
  virtual bool cleanup(ComputationDomain* parent = nullptr);

  void addSubDomain(std::shared_ptr<SynchronousDomain> sub, bool prepend = false);
  // Cleans the sub-domain up and removes it, keeping the order of the rest.
  bool removeSubDomain(const std::shared_ptr<SynchronousDomain>& sub);
  const std::vector<SubDomain>& subDomains() const { return mSubDomains; }

  double timeDelta() const { return mTimeDelta; }
  void timeDelta(double seconds) { mTimeDelta = seconds; }

  std::mutex& mutex() { return mDomainMutex; }

  // The domain's own parameters (not owned), for servers and interfaces to expose.
  const std::vector<ParameterMeta*>& parameters() const { return mParameters; }
  void registerParameter(ParameterMeta& p) { mParameters.push_back(&p); }

  void registerInitializeCallback(Callback cb) { mInitializeCallbacks.push_back(std::move(cb)); }
  void registerCleanupCallback(Callback cb) { mCleanupCallbacks.push_back(std::move(cb)); }
  void registerStartCallback(Callback cb) { mStartCallbacks.push_back(std::move(cb)); }
  void registerStopCallback(Callback cb) { mStopCallbacks.push_back(std::move(cb)); }

 protected:
  bool initializeSubdomains(bool prepend);
  bool cleanupSubdomains(bool prepend);
  bool tickSubdomains(bool prepend);
  void runCallbacks(const std::vector<Callback>& list);

  std::mutex mDomainMutex;
  double mTimeDelta = 0.0;
  std::vector<SubDomain> mSubDomains;
  std::vector<ParameterMeta*> mParameters;
  std::vector<Callback> mInitializeCallbacks;
  std::vector<Callback> mCleanupCallbacks;
  std::vector<Callback> mStartCallbacks;
  std::vector<Callback> mStopCallbacks;
};

// A domain driven by its parent: one tick per parent step, with the parent's time step.
class SynchronousDomain : public ComputationDomain {
 public:
  // Ticks the prepend sub-domains, then the others, each with this domain's time step.
  virtual bool tick();
};

// A domain that runs on its own (a thread, a device, the main loop) between start and stop.
class AsynchronousDomain : public ComputationDomain {
 public:
  virtual bool start() = 0;
  virtual bool stop() = 0;
};

}  // namespace vl
