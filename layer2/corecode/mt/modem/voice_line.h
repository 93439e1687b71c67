// The voice line selection: which way the telephone line, the handset and
// the speaker are connected, as rows of hook, relays and channel settings.
#pragma once

#include <array>
#include <cstdint>

namespace vxctl {

struct VoiceRouteRow {
  std::uint8_t hook;  // 1: off hook
  std::uint8_t voice_relay;
  std::uint8_t cid_relay;
  std::uint8_t channel0_enable;  // 1: enabled
  std::uint8_t channel0_route;
  std::uint8_t channel1_enable;
  std::uint8_t channel1_route;
  std::uint8_t spk_hs_relay;
};

// Rows 0-11. The voice services name rows up to 21; those beyond the table
// are refused until their values are known.
inline constexpr std::array<VoiceRouteRow, 12> kVoiceRouteRows = {{
    {0, 0, 0, 0, 0, 0, 0, 0},
    {1, 0, 0, 2, 3, 0, 0, 0},
    {0, 1, 0, 2, 3, 0, 0, 1},
    {0, 1, 0, 2, 3, 0, 0, 1},
    {1, 1, 0, 0, 0, 0, 0, 0},
    {1, 1, 0, 2, 3, 0, 0, 0},
    {0, 1, 0, 1, 0, 0, 0, 0},
    {0, 1, 0, 0, 1, 0, 0, 0},
    {0, 0, 0, 0, 1, 0, 0, 1},
    {1, 1, 0, 1, 2, 0, 0, 1},
    {0, 0, 1, 2, 0, 0, 0, 0},
    {0, 0, 1, 2, 0, 0, 0, 0},
}};

// Row 0 also sets these gains on both channels.
inline constexpr std::uint8_t kVoiceLine0SpeakerGain = 2;
inline constexpr std::uint8_t kVoiceLine0MicGain = 3;

// Unless the line is already off hook, asks for the row's hook; then the
// relays, the channels' enables and route modes (and row 0's gains), and
// remembers the row. A row beyond the table is refused with a trace line
// and changes nothing (false).
bool ModemTask_SelectVoiceLine(std::uint8_t row);
bool ModemTask_SelectVoiceLine0();
// The local phone is off hook (daa_local_phone_off_hook).
bool ModemTask_LocalPhoneOffHook();

}  // namespace vxctl
