// Stands in for the command interpreter and the line services until they
// are built; they replace it. The state below is what the entries of
// layer2/corecode/mt/services/command_interpreter.h answer or record, one
// per machine (MachineState<CommandInterpreterStandin>()), for tests to
// set and read.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "layer2/corecode/mt/services/command_interpreter.h"
#include "pump/core/comram.h"

namespace vxctl {

struct CommandInterpreterStandin {
  // What acu_caller_id_enabled answers ("+VCID" is not parsed yet).
  std::atomic<std::uint8_t> caller_id_enabled{0};
  // What acu_pqc_setting and acu_pss_setting answer.
  std::atomic<std::uint8_t> pqc_setting{0};
  std::atomic<std::uint8_t> pss_setting{0};
  // acu_moh_grant's byte.
  std::atomic<std::uint8_t> moh_grant{0};
  // RING_dsp_event: how often it ran and the packet it read last.
  std::atomic<std::uint32_t> ring_events{0};
  pump::DspPacket ring_packet{};

  // acu_escape_detected: how often it ran.
  std::atomic<std::uint32_t> escapes_detected{0};
  // acu_dte_break: its answer, its calls and the arguments of the last.
  std::atomic<std::uint8_t> break_answer{0};
  std::atomic<std::uint32_t> breaks{0};
  std::atomic<std::uint8_t> break_length{0};
  std::atomic<std::uint16_t> break_pending{0};
  // The break-length option (what acu_break_length_option answers).
  std::atomic<std::uint8_t> break_length_option{0};
  std::atomic<std::uint8_t> esc_capture_state{0};
  std::atomic<std::uint8_t> online_flag{0};

  std::atomic<std::uint8_t> fclass{0};
  // acu_response_pending's byte.
  std::atomic<std::uint8_t> response_pending{0};
  // The V.8 receiver's idle 0x00 octets and the option byte it reads.
  std::atomic<std::uint8_t> v8_idle_zeros{0};
  std::atomic<std::uint8_t> v8_option{0};
  // The "+IFC" flow settings (2, 2 as the factory sets them) and the
  // connection's link, which the statistics block reads.
  std::atomic<std::uint8_t> tx_flow{2};
  std::atomic<std::uint8_t> rx_flow{2};
  std::atomic<std::uint8_t> connected_link{0};
  // The selected country's calling code (acu_country_calling_code).
  std::atomic<std::uint16_t> country_calling_code{0};
  // The caller-ID detection: its sub-state and the steps of its control
  // (acu_caller_id_poll), which end a detection asked to end (5 -> 0).
  std::atomic<std::uint8_t> caller_id_substate{0};
  std::atomic<std::uint32_t> caller_id_polls{0};

  // For the modem task: the transmit level bytes of signal kinds 0..5
  // ([kind][selector], acu_tone_level), the "+ES" synchronous-access
  // choice, the disconnect cause and the answering V.8 setting of "+A8E",
  // as tests set them.
  std::array<std::array<std::uint8_t, 2>, 6> tone_levels{};
  std::atomic<std::uint8_t> sync_access{0};
  std::atomic<std::uint8_t> disconnect_cause{0};
  std::atomic<std::uint8_t> v8_answer_setting{0};
  // The caller-ID buffer the modem task fills, the report format setting,
  // and each report asked for: its format and the buffer's bytes then.
  AcuCallerIdBuffer caller_id_buffer;
  std::uint8_t caller_id_format = 0;
  struct CallerIdReport {
    std::uint8_t format = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const CallerIdReport&) const = default;
  };
  std::vector<CallerIdReport> caller_id_reports;
};

}  // namespace vxctl
