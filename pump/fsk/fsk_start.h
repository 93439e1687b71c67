// StartFsk: selects by start type the channel pair, the framer formats, the
// receiver's kind and carrier rules and the state tables, then resets the
// transmitter and the receiver.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

enum FskStartType : int {
  kFskV21Data = 0,
  kFskFaxTransmit = 2,
  kFskFaxReceive = 3,
  kFskBell103Originate = 4,
  kFskBell103Answer = 5,
  kFskV23SendBackward = 6,
  kFskV23SendForward = 7,
  kFskV23ReceiveOnly = 8,
  kFskV23TransmitOnly = 9,
  kFskV8Originate = 11,
  kFskV8Answer = 12,
  kFskCallerIdReceive = 13,
  kFskV21Loopback = 15,
  kFskV8bisAnswer = 16,
  kFskV8bisOriginate = 17,
};

// An unknown start type changes nothing (a debug line says so).
void StartFsk(DspContext& context, int start_type);

}  // namespace pump
