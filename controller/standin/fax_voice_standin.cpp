#include "controller/standin/fax_voice_standin.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {
namespace {

FaxVoiceStandin& Standin() { return MachineState<FaxVoiceStandin>(); }

}  // namespace

std::atomic<std::uint16_t>& fax_carrier_event() { return Standin().carrier_event; }
std::atomic<std::uint8_t>& fax_v21_detected() { return Standin().v21_detected; }
std::atomic<std::uint8_t>& voice_detected_tone() { return Standin().detected_tone; }
std::atomic<std::uint8_t>& fax1_state() { return Standin().fax1_state; }
std::atomic<std::uint8_t>& fax_class() { return Standin().fax_class; }
std::atomic<std::uint8_t>& fax_direction() { return Standin().fax_direction; }
VoiceFlags& voice_flags() { return Standin().voice_flags; }
bool voice_ring_report_allowed() { return Standin().ring_reports_allowed.load() != 0; }
bool voice_call_active() { return Standin().voice_call.load() != 0; }
bool voice_cadence_reporting() { return Standin().cadence_reporting.load() != 0; }
void voice_clear_line_flags() { Standin().line_flag_clears.fetch_add(1); }

}  // namespace vxctl
