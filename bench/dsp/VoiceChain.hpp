#pragma once

#include <cmath>
#include <random>

#include "dsp/BlockDC.hpp"
#include "dsp/CombChorus.hpp"
#include "dsp/FunctionTable.hpp"
#include "dsp/LFO.hpp"
#include "dsp/PlateReverb.hpp"
#include "dsp/Spinor.hpp"

// The per-sample work of one atom voice: three reads of a 512-entry spinor wavetable at related
// frequencies, a comb chorus, a DC blocker and a plate reverberator per side.
struct VoiceChain {
  snl::FunctionTable<snl::Spinor<double>> table{512};
  snl::LFO<> low{440.0f}, base{440.0f}, high{440.0f};
  snl::CombChorus chorusA{0.31f, 0.002f, 0.71f, 0.9f, 0.1f};
  snl::CombChorus chorusB{0.27f, 0.002f, 0.73f, 0.9f, 0.1f};
  snl::BlockDC<float> dcA{35.0f}, dcB{35.0f};
  snl::PlateReverb reverbA, reverbB;

  explicit VoiceChain(float freq = 220.0f) {
    low.freq(freq * std::exp2(-1.01f));
    base.freq(freq);
    high.freq(freq * std::exp2(1.01f));
  }

  void randomTable(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-0.05, 0.05);
    for (auto& s : table) s = {u(rng), u(rng), u(rng), u(rng)};
  }

  // Renders n frames; `impulse` is added to both inputs of the first frame.
  void render(float* left, float* right, int n, float impulse = 0.0f) {
    for (int i = 0; i < n; ++i) {
      const auto sl = table.read(low.nextPhase());
      const auto sb = table.read(base.nextPhase());
      const auto sh = table.read(high.nextPhase());
      float inL = float(8 * (2 * (sl.a + sl.c) + (sb.a + sb.c) + 0.5 * (sh.a + sh.c)));
      float inR = float(8 * (2 * (sl.b + sl.d) + (sb.b + sb.d) + 0.5 * (sh.b + sh.d)));
      if (i == 0) inL += impulse, inR += impulse;
      const float dL = dcA(0.3f * chorusA(inL) + inL);
      const float dR = dcB(0.3f * chorusB(inR) + inR);
      const auto a = reverbA(dL, 0.6f);
      const auto b = reverbB(dR, 0.6f);
      left[i] = dL + 0.6f * (a.left + 0.5f * b.right);
      right[i] = dR + 0.6f * (b.left + 0.5f * a.right);
    }
  }
};
