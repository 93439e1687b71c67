// The x87 control word of the calling thread, for kernels that run under a
// rounding or precision of their own and put the caller's setting back.
// Only the low 16 bits of the words are meaningful.
#pragma once

#include <cstdint>

// Loads (old AND NOT mask) OR (value AND mask), always, and returns the old word.
std::uint32_t qvlsSetFpuControl(std::uint32_t value, std::uint32_t mask);
// Loads (old AND NOT mask) OR value unless (old AND mask) already equals
// value, and returns the old word. value must lie within mask.
std::uint32_t qvlsChangeFpuControl(std::uint32_t value, std::uint32_t mask);
// Loads the word, typically one that qvlsChangeFpuControl returned.
void qvlsLoadFpuControl(std::uint32_t word);

namespace qvls::fpu {

inline constexpr std::uint32_t kRoundingMask = 0xC00;           // bits 10 and 11
inline constexpr std::uint32_t kRoundingPrecisionMask = 0xF00;  // bits 8 to 11

// The rules of the three operations over any control word: `Port` reads the
// word with Read() and loads it with Load(word).
template <class Port>
std::uint32_t SetControl(Port& port, std::uint32_t value, std::uint32_t mask) {
  const std::uint16_t old = port.Read();
  port.Load(static_cast<std::uint16_t>((old & ~mask) | (value & mask)));
  return old;
}

template <class Port>
std::uint32_t ChangeControl(Port& port, std::uint32_t value, std::uint32_t mask) {
  const std::uint16_t old = port.Read();
  if ((old & mask) != value) port.Load(static_cast<std::uint16_t>((old & ~mask) | value));
  return old;
}

// The calling thread's x87 control word.
struct X87ControlWord {
  std::uint16_t Read();
  void Load(std::uint16_t word);
};

}  // namespace qvls::fpu
