// ConfigureFax: the fax modems set up from the context's FaxConfig (mode
// word and options, left by command 0x73 or 0x76).
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// Kinds without a high-speed modulation (1, 3 and any other): both
// machines idle, except that kind 1 receiving runs FaxRxSilence (the
// line level in status bit 0x10). High-speed receive (options bit 2): the
// transmitter idles and the fax receiver starts. Transmit: the fax transmit machine on the modulation's table at
// WaitForRTS, the TX machine on its block handler, the receiver idle, the
// framer on raw octets both ways. Either way the encoders and the shaping
// start cleared, the output gain follows the transmit level, status code
// 0 with the carrier bit cleared is reported with an interrupt, and the
// transmit request is raised.
void ConfigureFax(DspContext& context);

inline constexpr std::uint8_t kFaxReceive = 0x04;  // options: receive, else transmit

}  // namespace pump
