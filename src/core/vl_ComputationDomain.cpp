#include "core/vl_ComputationDomain.hpp"

#include <algorithm>

namespace vl {

bool ComputationDomain::initializeSubdomains(bool prepend) {
  bool ok = true;
  for (auto& s : mSubDomains) {
    if (s.prepend == prepend) ok = s.domain->init(this) && ok;
  }
  return ok;
}

bool ComputationDomain::cleanupSubdomains(bool prepend) {
  bool ok = true;
  for (auto& s : mSubDomains) {
    if (s.prepend == prepend) ok = s.domain->cleanup(this) && ok;
  }
  return ok;
}

bool ComputationDomain::tickSubdomains(bool prepend) {
  bool ok = true;
  for (auto& s : mSubDomains) {
    if (s.prepend == prepend) {
      s.domain->timeDelta(mTimeDelta);
      ok = s.domain->tick() && ok;
    }
  }
  return ok;
}

void ComputationDomain::runCallbacks(const std::vector<Callback>& list) {
  for (auto& cb : list) cb(this);
}

bool ComputationDomain::init(ComputationDomain*) {
  bool ok = initializeSubdomains(true);
  return initializeSubdomains(false) && ok;
}

bool ComputationDomain::cleanup(ComputationDomain*) {
  bool ok = cleanupSubdomains(true);
  return cleanupSubdomains(false) && ok;
}

void ComputationDomain::addSubDomain(std::shared_ptr<SynchronousDomain> sub, bool prepend) {
  mSubDomains.push_back({std::move(sub), prepend});
}

bool ComputationDomain::removeSubDomain(const std::shared_ptr<SynchronousDomain>& sub) {
  auto it = std::find_if(mSubDomains.begin(), mSubDomains.end(),
                         [&](const SubDomain& s) { return s.domain == sub; });
  if (it == mSubDomains.end()) return false;
  auto keep = it->domain;  // the entry may be the last owner
  bool ok = keep->cleanup(this);
  mSubDomains.erase(it);
  return ok;
}

bool SynchronousDomain::tick() {
  bool ok = tickSubdomains(true);
  return tickSubdomains(false) && ok;
}

}  // namespace vl
