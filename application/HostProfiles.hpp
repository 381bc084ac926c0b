#pragma once

// Which audio device the piece plays on, by the machine it runs on. The performance machines
// are known by name; every other machine plays on its default output.

#include <string>
#include <vector>

#include "sound/vl_AudioDevice.hpp"

struct HostProfile {
  enum Choice {
    kEchoX5,       // the device named "ECHO X5", for input and output
    kListFirst,    // say where we run, list the devices, take device 0
    kAudioFire12,  // the device named "AudioFire12", for input and output
    kFirst,        // device 0
  };
  std::string hostName;  // compared exactly, case included
  Choice choice;
};

// The rows in the order they are tried.
const std::vector<HostProfile>& hostProfiles();

// The machine's host name as the system reports it ("" when it cannot be had).
std::string currentHostName();

// The first row whose host name equals hostName; null when none does.
const HostProfile* findHostProfile(const std::string& hostName);

// The device the row (or, for null, the default output) picks; prints what the row says to.
vl::AudioDevice chooseAudioDevice(const HostProfile* profile);
