// The four sound-path entries the frame lends the front end with its
// AfeEventBlock: near-end block, far-end block, 48000 to 8000 Hz and back.
#pragma once

#include "afe/windows/afe_contract.h"

namespace pump {

void InstallSoundPathCallbacks(afe::AfeEventBlock& events);

}  // namespace pump
