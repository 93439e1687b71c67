// A test driver that dials through the simulated controller the way a modem
// does. It claims the controller and starts its DMA rings at the power-on
// rate (7200 Hz) like the line tests' impulse driver, then, in the DPCs of a
// timer: goes off hook at kOffHookMs, dials from kFirstDigitMs by hook
// pulses (60 ms breaks, 40 ms makes, 700 ms between digits) or by DTMF
// (70 ms tones and pauses at -10 dBm0, written into the transmit ring ahead
// of its DMA), and hangs up a second later. Its rings run on, so the on-hook
// ADC keeps sampling the line. The unload stops them and gives everything back.
#pragma once

#include <string>

#include "platform/io/io.h"

namespace plat::line::exchange::testing {

enum class DialMethod { kPulses, kDtmf };

// In the machine's slots; set before boot.
struct DialChoice {
  DialMethod method = DialMethod::kPulses;
  std::string number;
};

inline constexpr int kOffHookMs = 100;
inline constexpr int kFirstDigitMs = 600;

NTSTATUS DialDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

}  // namespace plat::line::exchange::testing
