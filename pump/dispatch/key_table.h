// The data pump's memory and parameter keys: 155 memory keys and 96
// parameter keys, each over a buffer of the DspContext. Keys over areas of
// modes that are not built yet point at placeholder storage of the key's
// size in the context.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// Fills both key tables of the context's host interface, in the order the
// controller's debug commands list them. A key registered twice keeps its
// first buffer.
void RegisterDataKeys(DspContext& context);

}  // namespace pump
