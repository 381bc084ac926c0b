#include "io/vl_Nav.hpp"

#include <cmath>

namespace vl {

void Nav::step(double s) {
  mStep = s;
  const double a = 1.0 - mSmooth;
  for (int i = 0; i < 3; ++i) {
    mMove1[i] += a * (mMove0[i] * s + mNudge[i] - mMove1[i]);
    mSpin1[i] += a * (mSpin0[i] * s + mTurn[i] - mSpin1[i]);
  }
  mTurn = Vec3d{0.0, 0.0, 0.0};
  mNudge = Vec3d{0.0, 0.0, 0.0};

  // Turn about y, pitch about x, roll about z, in the pose's own frame.
  const double cT = std::cos(mSpin1[0] / 2), sT = std::sin(mSpin1[0] / 2);
  const double cP = std::cos(mSpin1[1] / 2), sP = std::sin(mSpin1[1] / 2);
  const double cR = std::cos(mSpin1[2] / 2), sR = std::sin(mSpin1[2] / 2);
  const Quatd q{cT * cP * cR + sT * sP * sR, sT * cP * sR + cT * sP * cR,
                sT * cP * cR - cT * sP * sR, cT * cP * sR - sT * sP * cR};
  orientation = (orientation * q).normalized();

  position += ux() * mMove1[0] + uy() * mMove1[1] + uz() * mMove1[2];
  mPullBack1 += a * (mPullBack0 - mPullBack1);
  updateTransformed();
}

void Nav::halt() {
  const Vec3d zero{0.0, 0.0, 0.0};
  mMove0 = mMove1 = mSpin0 = mSpin1 = mTurn = mNudge = zero;
  orientation.normalize();
  updateTransformed();
}

void Nav::home() {
  halt();
  Pose::operator=(mHome);
  updateTransformed();
}

void Nav::set(const Pose& p) {
  Pose::operator=(p);
  updateTransformed();
}

void Nav::updateTransformed() {
  mTransformed = *this;
  if (mPullBack1 > 1e-16) mTransformed.position -= uz() * mPullBack1;
}

}  // namespace vl
