// Runs one atom for a number of frames and prints where some of its particles are and what
// they sampled, for regression checks and for tuning presets:
//
//   atom_probe [--frames N] [NAME=VALUE ...]
//
// NAME is a physics parameter ("polyRadius"), a wave-function parameter with its group
// ("wfs1/n", "wfs2/J") or a resonance ("reson1R"). The values are set in the given order, then
// the atom is triggered as a voice would be (phases from the resonances, fresh ring) and run.
// Every 64th particle prints as "i x y z a b c d": position, then spinor.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "HydrogenAtom.hpp"
#include "ParseNumber.hpp"
#include "VoiceParameters.hpp"
#include "core/vl_Console.hpp"

namespace {

constexpr long kMaxFrames = 10000000;

void usage() {
  vl::printError(
      "usage: atom_probe [--frames N] [NAME=VALUE ...]\n"
      "  NAME: a physics parameter (polyRadius), a wave-function parameter (wfs1/n) or "
      "a resonance (reson1R)\n");
}

}  // namespace

int main(int argc, char** argv) {
  HydrogenAtom atom;
  VoiceParameters voice;
  std::map<std::string, vl::ParameterMeta*> byName;
  for (vl::ParameterMeta* p : atom.parameters().parameters()) {
    const std::string& group = p->getGroup();
    byName[group.empty() ? p->getName() : group + "/" + p->getName()] = p;
  }
  for (vl::ParameterMeta* p : voice.resonanceParameters()) byName[p->getName()] = p;

  atom.init();
  long frames = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames") {
      double n = 0;
      if (i + 1 >= argc || !parseNumber(argv[i + 1], n) || n < 0 || n > kMaxFrames ||
          n != std::floor(n)) {
        vl::printError("ERROR: --frames needs a whole number from 0 to %ld\n", kMaxFrames);
        return 2;
      }
      frames = long(n);
      ++i;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    }
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) {
      vl::printError("ERROR: expected NAME=VALUE, got \"%s\"\n", arg.c_str());
      usage();
      return 2;
    }
    const std::string name = arg.substr(0, eq), text = arg.substr(eq + 1);
    const auto found = byName.find(name);
    if (found == byName.end()) {
      vl::printError("ERROR: unknown parameter \"%s\"\n", name.c_str());
      usage();
      return 2;
    }
    double value = 0;
    if (!parseNumber(text, value)) {
      vl::printError("ERROR: value of %s is not a finite number: \"%s\"\n", name.c_str(),
                     text.c_str());
      return 2;
    }
    // Out-of-range values are refused rather than clamped, so that a typo does not silently
    // become a range end.
    if (auto* p = dynamic_cast<vl::Parameter*>(found->second)) {
      if (value < p->min() || value > p->max()) {
        vl::printError("ERROR: %s = %s is outside its range [%g, %g]\n", name.c_str(), text.c_str(),
                       double(p->min()), double(p->max()));
        return 2;
      }
    }
    found->second->setFromFloat(float(value));
  }

  atom.takeResonances(voice);
  atom.trigger();
  for (long f = 0; f < frames; ++f) atom.step(1.0 / 60.0);

  for (int i = 0; i < HydrogenAtom::kParticles; i += 64) {
    const vl::Vec3d& x = atom.particles()[i].position;
    const Spinor& s = atom[i];
    vl::print("%d %.12g %.12g %.12g %.12g %.12g %.12g %.12g\n", i, x[0], x[1], x[2], s.a, s.b, s.c,
              s.d);
  }
  return 0;
}
