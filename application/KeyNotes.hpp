#pragma once

// The piano layout of the keyboard that recalls presets in static-atom mode: the lower rows
// from z (60) and the upper rows from q (72), sharps on the row above. Keys outside it give 0.
int presetNumberForKey(int key);
