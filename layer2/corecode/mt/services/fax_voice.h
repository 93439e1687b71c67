// What the controller core reads or sets of the fax and voice services.
// Until they are built, controller/standin defines these entries.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vxctl {

// Set to 9 when the data pump reports the fax carrier done.
std::atomic<std::uint16_t>& fax_carrier_event();
// The payload of the data pump's V.21-on-fax report.
std::atomic<std::uint8_t>& fax_v21_detected();
// A tone result of the data pump outside the V.8bis range.
std::atomic<std::uint8_t>& voice_detected_tone();

// The class 1 fax state (the task thread's tuning reads it).
std::atomic<std::uint8_t>& fax1_state();

// The fax class (2, or 20 for 2.0: the fax layer polls the data channel
// itself) and the direction of the fax data phase (1 transmit, 0 receive),
// which datamode_fax_start keeps for the fax layer.
std::atomic<std::uint8_t>& fax_class();
std::atomic<std::uint8_t>& fax_direction();

// Three flags of the voice layer, which the voice start-up clears.
using VoiceFlags = std::array<std::atomic<std::uint8_t>, 3>;
VoiceFlags& voice_flags();
// What the line services ask of the voice service: whether ring reports
// go to the application, whether a voice call is active (+FCLASS=8 with
// voice on), whether ring cadence reporting is selected, and the clearing
// of its tone-wait and flash-wait flags when a dial step ends.
bool voice_ring_report_allowed();
bool voice_call_active();
bool voice_cadence_reporting();
void voice_clear_line_flags();

// The fax HDLC frames (the MNP layout): the next to send and the next
// receive buffer, given the status of the frame that ended.
std::uint8_t* fax_next_tx_frame();
std::uint8_t* fax_next_rx_frame(std::uint8_t status);

}  // namespace vxctl
