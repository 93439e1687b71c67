// The sound-path mirror: each received block goes to the line-to-application
// stream at 8000 Hz while that stream runs and the sound level is not 0.
// After a line-on, the first (mute count + 5) blocks go as 80 samples of
// silence each, so the relay clicks and line settling stay out of the
// speaker.
#pragma once

#include "pump/afe_access/afe_access.h"

namespace pump {

// Mirrors the current input block; called once per fetched block.
void MirrorToSoundPath(AfeAccess& access);

}  // namespace pump
