// The console pauses of `relative`, behind one replaceable function so that tests can
// run every phase without waiting.
#pragma once

namespace relative {

using PauseFunction = void (*)(unsigned seconds);

// Pauses for whole seconds through the current pause function (sleep by default).
void Pause(unsigned seconds);

// Installs another pause function and returns the previous one.
PauseFunction SetPauseFunction(PauseFunction pause);

}  // namespace relative
