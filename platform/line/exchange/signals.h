// Signals the exchange renders ahead of sending them: FSK bit streams at 1200
// baud (Bell 202 or V.23), DTMF digit strings and dual tones, as 8000 Hz line
// samples. Phases are exact: every run gives the same samples.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace plat::line::exchange {

struct FskTones {
  std::uint32_t mark_hz;
  std::uint32_t space_hz;
};
inline constexpr FskTones kBell202{1200, 2200};
inline constexpr FskTones kV23Forward{1300, 2100};

// A stream of bits for an FSK transmitter, oldest first.
class BitStream {
 public:
  // `count` alternating bits, 0 first: the channel seizure.
  BitStream& Alternations(int count);
  BitStream& Marks(int count);
  // Start bit, the eight bits least significant first, stop bit.
  BitStream& Byte(std::uint8_t byte);
  BitStream& Bytes(std::span<const std::uint8_t> bytes);
  const std::vector<std::uint8_t>& bits() const { return bits_; }

 private:
  std::vector<std::uint8_t> bits_;
};

// Phase-continuous FSK at 1200 baud, each bit's tone at `dbm0`.
std::vector<std::int16_t> RenderFsk(FskTones tones, const BitStream& bits, double dbm0);

// One or two frequencies (0 Hz: none) for `ms`, each at `dbm0`.
std::vector<std::int16_t> RenderTones(double hz1, double hz2, std::uint32_t ms, double dbm0);
std::vector<std::int16_t> RenderSilence(std::uint32_t ms);

// DTMF digits (0-9, *, #, A-D), each `on_ms` long with `off_ms` between them,
// each frequency at `dbm0`. A character no key sends is skipped.
std::vector<std::int16_t> RenderDtmf(const std::string& digits, std::uint32_t on_ms,
                                     std::uint32_t off_ms, double dbm0);

void Append(std::vector<std::int16_t>& to, const std::vector<std::int16_t>& more);

}  // namespace plat::line::exchange
