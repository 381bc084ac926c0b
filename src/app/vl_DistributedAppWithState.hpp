#pragma once

// A distributed app that keeps one plain record, computed by the primary every frame and shown
// by every other instance. The record lives in the state distribution domain, which takes the
// simulation domain's place: on a replica a receiver applies the newest record before
// onAnimate, on a primary with capability 256 a sender sends it after.

#include <memory>

#include "app/vl_DistributedApp.hpp"
#include "app/vl_StateDistributionDomain.hpp"
#include "core/vl_Console.hpp"

namespace vl {

template <class T>
class DistributedAppWithState : public DistributedApp {
 public:
  static constexpr uint16_t STATE_PORT = 10101;
  static constexpr uint16_t STATE_PACKET_SIZE = 1400;

  DistributedAppWithState() {
    mOpenGLGraphicsDomain->removeSubDomain(mSimulationDomain);
    mStateDomain = std::make_shared<StateDistributionDomain<T>>();
    mOpenGLGraphicsDomain->addSubDomain(mStateDomain, true);
    mSimulationDomain = mStateDomain;
  }

  T& state() { return mStateDomain->state(); }
  std::shared_ptr<StateDistributionDomain<T>> stateDomain() { return mStateDomain; }
  // Empty unless start made this instance a replica, or a primary that sends.
  std::shared_ptr<StateReceiveDomain<T>> stateReceiver() { return mReceiver; }
  std::shared_ptr<StateSendDomain<T>> stateSender() { return mSender; }

  void start() override {
    prepare();
    // Added before the main loop initialises the simulation's sub-domains, so they open their
    // sockets then.
    if (rank != 0) {
      print("Running REPLICA\n");
      mReceiver = mStateDomain->addStateReceiver("state");
      mReceiver->setAddress("0.0.0.0");
      mReceiver->setPort(STATE_PORT);
      mReceiver->setPacketSize(STATE_PACKET_SIZE);
    } else if (!hasCapability(CAP_STATE_SEND)) {
      print("Not enabling state sending for primary.\n");
    } else {
      print("Running primary with state send\n");
      mSender = mStateDomain->addStateSender("state");
      mSender->setAddress(setting("broadcastAddress"));
      mSender->setPort(STATE_PORT);
      mSender->setPacketSize(STATE_PACKET_SIZE);
    }
    DistributedApp::start();
  }

 private:
  std::shared_ptr<StateDistributionDomain<T>> mStateDomain;
  std::shared_ptr<StateReceiveDomain<T>> mReceiver;
  std::shared_ptr<StateSendDomain<T>> mSender;
};

}  // namespace vl
