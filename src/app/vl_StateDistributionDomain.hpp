#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/vl_StateReceiveDomain.hpp"
#include "app/vl_StateSendDomain.hpp"
#include "app/vl_StateSimulationDomain.hpp"

namespace vl {

// The state's simulation domain together with the senders and receivers that carry the record
// between hosts: receivers apply the newest record before the simulation function runs, senders
// send it after. They are added before the domain is initialised.
template <class T>
class StateDistributionDomain : public StateSimulationDomain<T> {
 public:
  // A receiver of records with this id, applied to state (this domain's record when null).
  std::shared_ptr<StateReceiveDomain<T>> addStateReceiver(const std::string& id = "state",
                                                          std::shared_ptr<T> state = nullptr) {
    auto receiver = std::make_shared<StateReceiveDomain<T>>();
    receiver->setId(id);
    receiver->setState(state ? std::move(state) : this->mState);
    this->addSubDomain(receiver, true);
    mDistributionDomains.push_back(receiver);
    return receiver;
  }

  // A sender of state (this domain's record when null) under this id.
  std::shared_ptr<StateSendDomain<T>> addStateSender(const std::string& id = "state",
                                                     std::shared_ptr<T> state = nullptr) {
    auto sender = std::make_shared<StateSendDomain<T>>();
    sender->setId(id);
    sender->setState(state ? std::move(state) : this->mState);
    this->addSubDomain(sender, false);
    mDistributionDomains.push_back(sender);
    return sender;
  }

  const std::vector<std::shared_ptr<SynchronousDomain>>& distributionDomains() const {
    return mDistributionDomains;
  }

 private:
  std::vector<std::shared_ptr<SynchronousDomain>> mDistributionDomains;
};

}  // namespace vl
