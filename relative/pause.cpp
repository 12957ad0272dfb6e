#include "relative/pause.h"

#include <unistd.h>

namespace relative {

namespace {

void SleepSeconds(unsigned seconds) {
    // sleep returns early when a signal arrives; finish the pause anyway.
    while (seconds > 0) seconds = sleep(seconds);
}

PauseFunction current_pause = SleepSeconds;

}  // namespace

void Pause(unsigned seconds) { current_pause(seconds); }

PauseFunction SetPauseFunction(PauseFunction pause) {
    const PauseFunction previous = current_pause;
    current_pause = pause;
    return previous;
}

}  // namespace relative
