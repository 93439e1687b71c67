#include "pump/v32/rate_words.h"

#include <bit>

namespace pump::v32 {

std::uint16_t LocalRateWord(int mode_code, std::uint8_t allowed) {
  std::uint8_t rates = allowed & 0x3E;
  if (rates == 0) rates = 0x3E;
  const bool r4800 = (rates & 0x02) != 0;
  const bool r7200 = (rates & 0x04) != 0;
  const bool r9600 = (rates & 0x08) != 0;
  const bool r12000 = (rates & 0x10) != 0;
  const bool r14400 = (rates & 0x20) != 0;
  const std::uint16_t v32 = (r4800 ? 0x20 : 0) | (r9600 ? 0x40 : 0);
  if (mode_code == 12) return 0x8880 | 0x100 | v32;
  if (mode_code == 13) return 0x8980 | v32;
  return 0x8990 | (r4800 ? 0x20 : 0) | (r7200 ? 0x200 : 0) | (r9600 ? 0x40 : 0) | (r12000 ? 0x400 : 0) |
         (r14400 ? 0x1000 : 0);
}

std::uint16_t QualityRateWord(std::uint32_t error) {
  if (error < 0x3840000) return 0x9FF0;
  if (error < 0x7080000) return 0x8FF0;
  if (error < 0x13880000) return 0x8BF0;
  if (error <= 589823999) return 0x8BB0;
  if (error < 0x3FFF0000) return 0x89B0;
  return 0x8990;
}

std::uint16_t HighestRateWord(std::uint16_t word) {
  std::uint16_t top = 0x8880;
  if ((word & 0x1000) != 0) top = 0x9880;
  else if ((word & 0x400) != 0) top = 0x8C80;
  else if ((word & 0x40) != 0) top = 0x88C0;
  else if ((word & 0x200) != 0) top = 0x8A80;
  else if ((word & 0x20) != 0) top = 0x88A0;
  return static_cast<std::uint16_t>(top | (word & 0x110));
}

bool IsV32bisWord(std::uint16_t w) { return (w & 0x899F) == 0x8990; }
bool IsV32Word(std::uint16_t w) { return (w & 0xFE8F) == 0x8880; }
bool IsEWord(std::uint16_t w) { return (w & 0x888F) == 0x888F && std::popcount(static_cast<unsigned>(w & kRateBits)) == 1; }

std::optional<EMode> ModeOfE(std::uint16_t e) {
  if (!IsEWord(e)) return std::nullopt;
  const int mode_code = (e & 0x10) != 0 ? 16 : 12;
  switch (e & kRateBits) {
    case 0x20: return EMode{DataRate::k4800, mode_code};
    case 0x200: return EMode{DataRate::k7200, mode_code};
    case 0x40: return EMode{(e & 0x100) != 0 ? DataRate::k9600Trellis : DataRate::k9600Uncoded, mode_code};
    case 0x400: return EMode{DataRate::k12000, mode_code};
    default: return EMode{DataRate::k14400, mode_code};
  }
}

std::uint16_t EOf(std::uint16_t word) {
  const std::uint16_t e = word | 0xF;
  return IsClearDownE(e) ? static_cast<std::uint16_t>(e & ~0x10) : e;
}

std::optional<std::uint16_t> RateSequenceE(const RateSequence& sequence, const RateSequenceHeard& heard) {
  switch (sequence.type) {
    case RateSequenceType::kCallerR2:
      if (heard.word == 0) return std::nullopt;
      return EOf(HighestRateWord(heard.word));
    case RateSequenceType::kAnswererR3:
      if (!heard.e) return std::nullopt;
      return EOf(sequence.word);
    case RateSequenceType::kLocalRenegotiation:
    case RateSequenceType::kRemoteRenegotiation:
      if (heard.word == 0) return std::nullopt;
      return EOf(HighestRateWord(heard.word & sequence.requested));
  }
  return std::nullopt;
}

std::optional<std::uint16_t> DetectRateWord(RateWordDetector& d, std::uint32_t pair, bool awaiting_e) {
  d.shift = static_cast<std::uint16_t>(d.shift >> 2 | (pair & 3) << 14);
  const std::uint16_t before = d.past[d.symbols % 8];
  d.past[d.symbols % 8] = d.shift;
  ++d.symbols;
  if (d.symbols < 8) return std::nullopt;
  const std::uint16_t w = d.shift;
  if (awaiting_e) {
    if (IsEWord(w)) return w;
    return std::nullopt;
  }
  if (d.symbols < 16 || w != before) return std::nullopt;
  if (IsV32bisWord(w) || IsV32Word(w)) return w;
  return std::nullopt;
}

}  // namespace pump::v32
