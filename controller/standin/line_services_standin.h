// Stands in for the line services not built yet; they replace it. The
// handlers of classes 4 to 8, the ring-cadence and black-list entries
// record what reached them in the machine's log
// (MachineState<LineServicesStandin>()) and act on nothing else.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {

// One handled message or entry call. A handler records its class, code,
// payload and context; an entry call only its name, context and entry.
struct LineServiceEvent {
  std::string_view name;  // the handler's or entry's name
  std::uint8_t msg_class = 0;
  std::uint8_t code = 0;
  std::array<std::uint8_t, kMessagePayload> payload{};
  const void* context = nullptr;
  const BlackListSlot* entry = nullptr;
};

struct LineServicesStandin {
  static constexpr std::size_t kKept = 256;

  // Keeps the newest kKept events, oldest first.
  void Record(const LineServiceEvent& event);
  std::vector<std::string_view> Names() const;
  std::deque<LineServiceEvent> log;

  std::atomic<std::uint8_t> reset_request{0};  // acu_reset_request
  std::atomic<std::uint8_t> upload_state{0};   // CTY_upload_state
  std::atomic<std::uint8_t> daa_step_index{0};        // DAA_step_index
  std::atomic<std::uint8_t> daa_kind{0};              // DAA_kind
  // Whether the modem task answers the DTE directly
  // (ModemTask_DirectResponseMode).
  std::atomic<std::uint8_t> direct_response{0};
  // RING_first_ring's answer, and the detections CPT_get_result hands out
  // (oldest first, then 0).
  std::atomic<std::uint8_t> first_ring{0};
  std::deque<std::uint8_t> cpt_results;
};

}  // namespace vxctl
