// Stands in for the link protocols', the fax services' and the voice
// service's entries that the controller state machine, its start-up and
// its reset call (controller/acu/acu_link_fax_voice.h), until those
// subsystems are built; they replace it. Each entry counts its calls and
// keeps its arguments here, one per machine
// (MachineState<AcuLinkFaxVoiceStandin>()), and answers what tests set.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

struct AcuLinkFaxVoiceStandin {
  // Link protocols.
  std::atomic<std::uint32_t> ec_stops{0};
  std::atomic<std::uint32_t> v80_polls{0};
  std::atomic<std::uint32_t> v80_resets{0};
  std::atomic<std::uint32_t> v80_activations{0};
  std::atomic<std::uint32_t> v44_defaults{0};
  std::atomic<std::uint32_t> v44_parameter_resets{0};
  // Fax: what fax_poll answers (1: no fax class), the ticks, the class set
  // last with its verbose flag and mode, the resets and the last "how".
  std::atomic<std::uint8_t> fax_poll_answer{1};
  std::atomic<std::uint32_t> fax_ticks{0};
  std::atomic<std::uint8_t> fax_class{0};
  std::atomic<std::uint8_t> fax_verbose{0};
  std::atomic<std::uint8_t> fax_mode{0};
  std::atomic<std::uint32_t> fax_resets{0};
  std::atomic<std::uint8_t> fax_reset_how{0};
  // Voice: what voice_run answers, the ticks, the entries.
  std::atomic<std::uint8_t> voice_run_answer{0};
  std::atomic<std::uint32_t> voice_ticks{0};
  std::atomic<std::uint32_t> voice_entries{0};
  std::atomic<std::uint32_t> voice_command_states{0};
};

}  // namespace vxctl
