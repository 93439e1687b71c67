// The rate words of the rate sequences (R1, R2, R3) and E: building them
// from the allowed rates and the line quality, recognising them, and the
// operating mode an E word selects.
//
// Word bits (the first bit sent in bit 0): 0x1000 14400, 0x0400 12000,
// 0x0200 7200, 0x0100 trellis at 9600 (always set in V.32bis words), 0x0040
// 9600, 0x0020 4800, 0x0010 a V.32bis word, 0x000F all set in E; bits 15,
// 11 and 7 frame the word.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "pump/v32/signal_sets.h"

namespace pump::v32 {

inline constexpr std::uint16_t kRateBits = 0x1660;

// The controller's allowed-rate byte: 0x02 4800, 0x04 7200, 0x08 9600,
// 0x10 12000, 0x20 14400; other bits do not count, and none means all.
std::uint16_t LocalRateWord(int mode_code, std::uint8_t allowed);
// From the receiver's averaged equaliser error.
std::uint16_t QualityRateWord(std::uint32_t error);
// The word offering only the highest rate of `word` (keeps its bits 0x110).
std::uint16_t HighestRateWord(std::uint16_t word);

bool IsV32bisWord(std::uint16_t w);
bool IsV32Word(std::uint16_t w);
bool IsEWord(std::uint16_t w);

struct EMode {
  DataRate rate;
  int mode_code;  // 16 after V.32bis words, else 12
};
// The mode of an E word; none for an E without exactly one rate bit.
std::optional<EMode> ModeOfE(std::uint16_t e);

// E: the word with its four low bits set. An E that offers no rate is the
// clear-down E, with the V.32bis bit (0x10) cleared as well.
std::uint16_t EOf(std::uint16_t word);
inline bool IsClearDownE(std::uint16_t e) { return (e & kRateBits) == 0; }
// Whole words of E sent: one before data, eight before a clear-down.
inline int EWords(std::uint16_t e) { return IsClearDownE(e) ? 8 : 1; }

// What a rate sequence waits for before it ends in E.
enum class RateSequenceType : std::uint8_t {
  kCallerR2 = 2,             // the far answer's R3 confirmed (in loopback our own R2)
  kAnswererR3 = 3,           // the caller's E received
  kLocalRenegotiation = 4,   // the far modem's renegotiation word confirmed
  kRemoteRenegotiation = 5,  // the same; it starts once that word is already in
};

struct RateSequence {
  RateSequenceType type = RateSequenceType::kCallerR2;
  std::uint16_t word = 0;       // the word being sent
  std::uint16_t requested = 0;  // the rates asked for in a renegotiation
};

// What the receiver has taken in so far.
struct RateSequenceHeard {
  std::uint16_t word = 0;  // the confirmed rate word, 0 while none
  bool e = false;          // the far E has been received
};

// The E a sequence ends with, once its wait is over; none while it waits.
std::optional<std::uint16_t> RateSequenceE(const RateSequence& sequence, const RateSequenceHeard& heard);

// Two received bits per symbol (the first in bit 0) into a 16-bit register;
// a rate word counts once the same word is seen again eight symbols later,
// an E (when awaited) at once, as only one E word is sent before data.
struct RateWordDetector {
  std::uint16_t shift = 0;
  std::array<std::uint16_t, 8> past{};  // the register of the last eight symbols
  std::uint32_t symbols = 0;
};

std::optional<std::uint16_t> DetectRateWord(RateWordDetector& d, std::uint32_t pair, bool awaiting_e);

}  // namespace pump::v32
