// Stands in for the fax and voice services until they are built; they
// replace it. The state below is what the entries of
// layer2/corecode/mt/services/fax_voice.h refer to, one per machine
// (MachineState<FaxVoiceStandin>()), for tests to set and read.
#pragma once

#include <atomic>
#include <cstdint>

#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {

struct FaxVoiceStandin {
  std::atomic<std::uint16_t> carrier_event{0};
  std::atomic<std::uint8_t> v21_detected{0};
  std::atomic<std::uint8_t> detected_tone{0};
  std::atomic<std::uint8_t> fax1_state{0};
  std::atomic<std::uint8_t> fax_class{0};
  std::atomic<std::uint8_t> fax_direction{0};
  VoiceFlags voice_flags{};
  // What the line services' questions are answered: ring reports allowed,
  // no voice call and no cadence reporting until tests set them; the
  // clearings of the line flags counted.
  std::atomic<std::uint8_t> ring_reports_allowed{1};
  std::atomic<std::uint8_t> voice_call{0};
  std::atomic<std::uint8_t> cadence_reporting{0};
  std::atomic<std::uint32_t> line_flag_clears{0};
};

}  // namespace vxctl
