// The DspContext's start and stop, run by the driver frame: at start after
// the front end answered and the host interface exists, at stop after the
// block thread ended.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// Start-time initialisation: the two pointers, the Profile and VOVProfile
// registry values (SetProfilePath first), the AfeInfo copy, the key tables,
// the framer's default data format, the three entries, the idle machines
// and the rest of the idle state. The resources wait for the first reset.
void InitDspContext(DspContext& context, AfeAccess* afe, HostInterface* host);

// At stop: writes VOVProfile back, frees the profile path and the mode
// resources (the ready flag becomes 0).
void SaveDspProfile(DspContext& context);

}  // namespace pump
