// The read-out of line measurements from the data pump into the statistics
// block: one data-pump item per step, walked by a cursor while the modem
// task has a V.34 or PCM connection (modulations 17, 18, 22, 23). The
// modem task clears the block's valid flag on connection to start one and
// steps it from its state monitor; the read-out sets the flag again when
// it has gone round.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vxctl {

inline constexpr std::uint32_t kReadoutFirstCursor = 0xE2;
// The items read, in table order, and the words each reply holds.
inline constexpr std::size_t kReadoutItems = 24;
inline constexpr std::size_t kReadoutWords = 8;

struct StatsReadout {
  std::uint32_t cursor = kReadoutFirstCursor;
  // Each item's last reply, by table position (stats_readout_words), for
  // the connection reports.
  std::array<std::array<std::uint16_t, kReadoutWords>, kReadoutItems> words{};
  // The receive level of the 0x3F or 0x4D item that replied last.
  std::int16_t level = 0;
  // Computed at the end of the V.34 part of a PCM read-out: the ratio of
  // the power to the 0x100EA word in 1/256 dB; and the 0x193 word shifted
  // right by the 0xE4 reply's low five bits.
  std::int32_t power_ratio = 0;
  std::uint32_t shifted_value = 0;
};

StatsReadout& stats_readout();
// The words last read for `cursor` (zeros for an item never read or not in
// the table).
const std::array<std::uint16_t, kReadoutWords>& stats_readout_words(std::uint32_t cursor);

// One step of the read-out (the argument is not used).
void stats_poll_dsp(std::uint32_t unused = 0);

}  // namespace vxctl
