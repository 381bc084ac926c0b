#include "HostProfiles.hpp"

#include <unistd.h>

#include <climits>

#include "core/vl_Console.hpp"

const std::vector<HostProfile>& hostProfiles() {
  static const std::vector<HostProfile> rows{
      {"zentha-stage", HostProfile::kEchoX5},
      {"zentha-studio", HostProfile::kListFirst},
      {"zentha-dome", HostProfile::kAudioFire12},
      {"zentha-lab", HostProfile::kFirst},
  };
  return rows;
}

std::string currentHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

const HostProfile* findHostProfile(const std::string& hostName) {
  for (const HostProfile& row : hostProfiles()) {
    if (row.hostName == hostName) return &row;
  }
  return nullptr;
}

vl::AudioDevice chooseAudioDevice(const HostProfile* profile) {
  if (!profile) return vl::AudioDevice::defaultOutput();
  switch (profile->choice) {
    case HostProfile::kEchoX5:
      return vl::AudioDevice("ECHO X5", vl::AudioDevice::INPUT | vl::AudioDevice::OUTPUT);
    case HostProfile::kListFirst:
      vl::print("Running on %s\n", profile->hostName.c_str());
      vl::AudioDevice::printAll();
      return vl::AudioDevice(0);
    case HostProfile::kAudioFire12:
      return vl::AudioDevice("AudioFire12", vl::AudioDevice::INPUT | vl::AudioDevice::OUTPUT);
    case HostProfile::kFirst:
      return vl::AudioDevice(0);
  }
  return vl::AudioDevice::defaultOutput();
}
