#pragma once

#include <mutex>

namespace snl {

class Domain;

// Links threaded through the objects themselves, so joining a list never allocates.
template <class T>
class Node2 {
 public:
  T* prev() const { return mPrev; }
  T* next() const { return mNext; }

 protected:
  T* mPrev = nullptr;
  T* mNext = nullptr;
};

// A unit whose coefficients depend on the sample rate. It joins the master domain when built and
// leaves its domain when destroyed. Copies join the domain of their source.
class DomainObserver : public Node2<DomainObserver> {
 public:
  DomainObserver();
  DomainObserver(const DomainObserver& other);
  DomainObserver& operator=(const DomainObserver& other);
  virtual ~DomainObserver();

  // Called after the domain's rate changed; ratio = new rate / old rate.
  virtual void onDomainChange(double ratio) { (void)ratio; }

  // Moves to domain d (nothing happens if already there) and reports the rate ratio.
  void attach(Domain& d);
  Domain* domain() const { return mDomain; }

  double sampleRate() const;
  double samplePeriod() const;
  bool domainHasBeenSet() const;

 private:
  friend class Domain;
  Domain* mDomain = nullptr;
};

// A sample-rate context. Setting its rate tells every attached observer, the most recently
// attached first.
class Domain {
 public:
  Domain() = default;
  Domain(const Domain&) = delete;
  Domain& operator=(const Domain&) = delete;
  // Observers still attached move to the master domain, so none is left pointing here.
  virtual ~Domain();

  // The process-wide domain every unit joins when built. Created once, safely under concurrent
  // first use, and never destroyed, so units with static storage may outlive everything else.
  static Domain& master();

  void setSampleRate(double rate);
  void setSamplePeriod(double period) { setSampleRate(1.0 / period); }
  double sampleRate() const { return mRate; }
  double samplePeriod() const { return mPeriod; }
  bool hasBeenSet() const { return mHasBeenSet; }

  DomainObserver* head() const { return mHead; }
  int observerCount() const;

 private:
  friend class DomainObserver;
  void link(DomainObserver& o);
  void unlink(DomainObserver& o);

  double mRate = 1.0;
  double mPeriod = 1.0;
  DomainObserver* mHead = nullptr;
  bool mHasBeenSet = false;
  // Guards the list: units are built and destroyed on several threads (voices, tests).
  mutable std::recursive_mutex mListMutex;
};

}  // namespace snl
