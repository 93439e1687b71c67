// What the controller core reads or sets of the link protocols (error
// control, compression, V.80). Until they are built, controller/standin
// defines these entries.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// The break length of the error-control parameters (10 ms ticks), from a
// measured break of the application.
std::atomic<std::uint8_t>& ec_break_length();

// Frees V.44's history (its dictionaries) at the port's close.
void v44_free_history();

}  // namespace vxctl
