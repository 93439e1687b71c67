// The controller's clocks and sleeps. Every call acts on the calling
// context's machine; the sleeps wait, so they run at PASSIVE_LEVEL.
#pragma once

#include <cstdint>

namespace vxctl {

// Milliseconds of the system tick count: ticks x time increment / 10000,
// in 64-bit arithmetic, truncated to 32 bits.
std::uint32_t time_ms_now();
// Milliseconds of system time since the machine's first call.
std::uint32_t port_ms_clock();
void delay_1ms();
// Sleeps `ms` milliseconds (1 for 0).
void port_sleep_ms(std::uint32_t ms);

}  // namespace vxctl
