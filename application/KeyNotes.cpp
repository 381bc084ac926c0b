#include "KeyNotes.hpp"

namespace {
struct KeyNote {
  char key;
  int number;
};
constexpr KeyNote kKeyNotes[] = {
    {'z', 60}, {'s', 61}, {'x', 62}, {'d', 63}, {'c', 64}, {'v', 65}, {'g', 66},
    {'b', 67}, {'h', 68}, {'n', 69}, {'j', 70}, {'m', 71}, {',', 72}, {'q', 72},
    {'2', 73}, {'l', 73}, {'.', 74}, {'w', 74}, {'3', 75}, {';', 75}, {'/', 76},
    {'e', 76}, {'r', 77}, {'5', 78}, {'t', 79}, {'6', 80}, {'y', 81}, {'7', 82},
    {'u', 83}, {'i', 84}, {'9', 85}, {'o', 86}, {'0', 87}, {'p', 88},
};
}  // namespace

int presetNumberForKey(int key) {
  for (const KeyNote& k : kKeyNotes) {
    if (k.key == key) return k.number;
  }
  return 0;
}
