#include "sound/vl_SynthVoice.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "sound/vl_SynthRegistry.hpp"
#include "ui/vl_Parameter.hpp"

namespace vl {

void SynthVoice::setFromFloat(ParameterMeta& param, float value, bool quiet) {
  if (auto* p = dynamic_cast<ParameterWrapper<float>*>(&param)) {
    quiet ? p->setQuiet(value) : p->set(value);
  } else if (auto* p = dynamic_cast<ParameterWrapper<int32_t>*>(&param)) {
    quiet ? p->setQuiet(static_cast<int32_t>(value)) : p->set(static_cast<int32_t>(value));
  } else if (auto* p = dynamic_cast<ParameterWrapper<bool>*>(&param)) {
    quiet ? p->setQuiet(value != 0.0f) : p->set(value != 0.0f);
  } else if (auto* p = dynamic_cast<ParameterWrapper<std::string>*>(&param); p && quiet) {
    char text[64];
    std::snprintf(text, sizeof(text), "%f", value);
    p->setQuiet(text);
  } else {
    param.setFromFloat(value);
  }
}

bool SynthVoice::setTriggerParams(const std::vector<ParameterField>& fields) {
  if (fields.size() < mTriggerParams.size()) return false;
  for (std::size_t i = 0; i < mTriggerParams.size(); ++i) {
    if (fields[i].type() == ParameterField::STRING) {
      mTriggerParams[i]->set(std::vector<ParameterField>{fields[i]});
    } else {
      mTriggerParams[i]->setFromFloat(fields[i].get<float>());
    }
  }
  return true;
}

bool SynthVoice::setTriggerParams(const std::vector<float>& values, bool noCalls) {
  if (values.size() < mTriggerParams.size()) return false;
  for (std::size_t i = 0; i < mTriggerParams.size(); ++i) {
    setFromFloat(*mTriggerParams[i], values[i], noCalls);
  }
  return true;
}

bool SynthVoice::setTriggerParams(const float* values, int numValues) {
  if (numValues < static_cast<int>(mTriggerParams.size())) return false;
  for (std::size_t i = 0; i < mTriggerParams.size(); ++i) {
    mTriggerParams[i]->setFromFloat(values[i]);
  }
  return true;
}

std::vector<ParameterField> SynthVoice::getTriggerParams() {
  std::vector<ParameterField> fields;
  for (ParameterMeta* param : mTriggerParams) param->get(fields);
  return fields;
}

int SynthVoice::getTriggerParams(float* values, int capacity) {
  int n = 0;
  for (ParameterMeta* param : mTriggerParams) {
    if (n >= capacity) break;
    try {
      values[n] = param->asFloat();
    } catch (const std::exception&) {
      values[n] = 0.0f;  // a text that is not a number
    }
    ++n;
  }
  return n;
}

SynthVoice& SynthVoice::registerTriggerParameter(ParameterMeta& param) {
  mTriggerParams.push_back(&param);
  return *this;
}

SynthVoice& SynthVoice::registerParameter(ParameterMeta& param) {
  mParameters.push_back(&param);
  return *this;
}

void SynthVoice::triggerOn(int offsetFrames) {
  mOnOffsetFrames.store(offsetFrames, std::memory_order_relaxed);
  mActive.store(true, std::memory_order_release);
}

void SynthVoice::triggerOff(int offsetFrames) {
  mOffOffsetFrames.store(offsetFrames, std::memory_order_relaxed);
  if (offsetFrames == 0) onTriggerOff();
}

namespace {
int consumeOffset(std::atomic<int>& offset, int framesPerBuffer) {
  const int frames = offset.load(std::memory_order_relaxed);
  offset.store(frames > framesPerBuffer ? frames - framesPerBuffer : 0, std::memory_order_relaxed);
  return frames;
}
}  // namespace

int SynthVoice::getStartOffsetFrames(int framesPerBuffer) {
  return consumeOffset(mOnOffsetFrames, framesPerBuffer);
}

int SynthVoice::getEndOffsetFrames(int framesPerBuffer) {
  return consumeOffset(mOffOffsetFrames, framesPerBuffer);
}

std::string SynthVoice::typeName() const {
  return SynthRegistry::demangle(typeid(*this).name());
}

}  // namespace vl
