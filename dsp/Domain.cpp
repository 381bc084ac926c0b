#include "dsp/Domain.hpp"

#include <cmath>

namespace snl {

DomainObserver::DomainObserver() {
  attach(Domain::master());
}

DomainObserver::DomainObserver(const DomainObserver& other) : Node2<DomainObserver>() {
  attach(other.mDomain ? *other.mDomain : Domain::master());
}

DomainObserver& DomainObserver::operator=(const DomainObserver& other) {
  // The links belong to this object; only the choice of domain is copied.
  if (this != &other && other.mDomain) attach(*other.mDomain);
  return *this;
}

DomainObserver::~DomainObserver() {
  if (mDomain) mDomain->unlink(*this);
}

void DomainObserver::attach(Domain& d) {
  if (mDomain == &d) return;
  double oldRate = 1.0;
  if (mDomain) {
    oldRate = mDomain->sampleRate();
    mDomain->unlink(*this);
  }
  d.link(*this);
  onDomainChange(d.sampleRate() / oldRate);
}

double DomainObserver::sampleRate() const {
  return mDomain ? mDomain->sampleRate() : 1.0;
}
double DomainObserver::samplePeriod() const {
  return mDomain ? mDomain->samplePeriod() : 1.0;
}
bool DomainObserver::domainHasBeenSet() const {
  return mDomain && mDomain->hasBeenSet();
}

Domain::~Domain() {
  if (this == &master()) return;
  std::lock_guard lock(mListMutex);
  while (mHead) mHead->attach(master());
}

Domain& Domain::master() {
  static Domain* const d = new Domain;
  return *d;
}

void Domain::setSampleRate(double rate) {
  // A rate that is not a positive finite number would poison every coefficient: ignore it.
  if (!(rate > 0.0) || !std::isfinite(rate)) return;
  std::lock_guard lock(mListMutex);
  mHasBeenSet = true;
  if (rate == mRate) return;
  const double ratio = rate / mRate;
  mRate = rate;
  mPeriod = 1.0 / rate;
  for (DomainObserver* o = mHead; o; o = o->next()) o->onDomainChange(ratio);
}

int Domain::observerCount() const {
  std::lock_guard lock(mListMutex);
  int n = 0;
  for (DomainObserver* o = mHead; o; o = o->next()) ++n;
  return n;
}

void Domain::link(DomainObserver& o) {
  std::lock_guard lock(mListMutex);
  o.mPrev = nullptr;
  o.mNext = mHead;
  if (mHead) mHead->mPrev = &o;
  mHead = &o;
  o.mDomain = this;
}

void Domain::unlink(DomainObserver& o) {
  std::lock_guard lock(mListMutex);
  if (o.mPrev) o.mPrev->mNext = o.mNext;
  if (o.mNext) o.mNext->mPrev = o.mPrev;
  if (mHead == &o) mHead = o.mNext;
  o.mPrev = o.mNext = nullptr;
  o.mDomain = nullptr;
}

}  // namespace snl
